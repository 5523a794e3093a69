// The nine string attributes every broadcast carries.
#pragma once

#include "encoder/LiveEncoder.h"

namespace ombrel {

// Sets, in this order, "Title", "Author", "Description", "Copyright", "WM/Genre",
// "WM/AlbumTitle", "WM/Composer" from the Extra settings, then "WM/EncodedBy" and
// "WM/Publisher" with the plug-in's name. Empty values are set like any other; the results
// are ignored.
void SetContentAttributes(LiveEncoder& encoder);

}  // namespace ombrel
