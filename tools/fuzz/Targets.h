// The fuzzer's targets, one file each.
#pragma once

#include "tools/fuzz/Runner.h"

namespace ombrel::test::fuzz {

Target UrlEncodeTarget();
Target ResponseHeadTarget();
Target EscapeTarget();
Target FormatSongInfoTarget();
Target HttpRequestTarget();

}  // namespace ombrel::test::fuzz
