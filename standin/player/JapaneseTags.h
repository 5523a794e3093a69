// Japanese tag text for the built-in playlist, as code page 932 bytes (the player's ANSI text
// on a Japanese system). The source file is UTF-8 and is compiled to code page 932.
#pragma once

namespace standin {

const char* JapaneseArtist();
const char* JapaneseTitle();
const char* JapaneseAlbum();
const char* JapaneseComment();

}  // namespace standin
