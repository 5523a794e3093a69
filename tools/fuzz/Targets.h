// The fuzzer's targets, one file each.
#pragma once

#include "tools/fuzz/Runner.h"

namespace ombrel::fuzz {

Target UrlEncodeTarget();
Target ResponseHeadTarget();
Target EscapeTarget();
Target FormatSongInfoTarget();
Target HttpRequestTarget();

}  // namespace ombrel::fuzz
