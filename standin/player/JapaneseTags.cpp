#include "standin/player/JapaneseTags.h"

namespace standin {

const char* JapaneseArtist() { return "日本語のアーティスト"; }
const char* JapaneseTitle() { return "桜"; }
const char* JapaneseAlbum() { return "春の歌"; }
const char* JapaneseComment() { return "テスト用の音"; }

}  // namespace standin
