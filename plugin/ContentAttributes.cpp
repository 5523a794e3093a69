#include "plugin/ContentAttributes.h"

#include "plugin/ProductName.h"
#include "plugin/Settings.h"

namespace ombrel {

void SetContentAttributes(LiveEncoder& encoder) {
    const ExtraSettings& extra = _settings.extra;
    encoder.SetStringAttribute(L"Title", extra._cTitle.c_str());
    encoder.SetStringAttribute(L"Author", extra._cAuthor.c_str());
    encoder.SetStringAttribute(L"Description", extra._cDescription.c_str());
    encoder.SetStringAttribute(L"Copyright", extra._cCopyright.c_str());
    encoder.SetStringAttribute(L"WM/Genre", extra._cGenre.c_str());
    encoder.SetStringAttribute(L"WM/AlbumTitle", extra._cAlbum.c_str());
    encoder.SetStringAttribute(L"WM/Composer", extra._cComposer.c_str());

    WCHAR product[sizeof(kProductName)] = {};
    ::MultiByteToWideChar(CP_ACP, 0, kProductName, -1, product, static_cast<int>(sizeof(kProductName)));
    encoder.SetStringAttribute(L"WM/EncodedBy", product);
    encoder.SetStringAttribute(L"WM/Publisher", product);
}

}  // namespace ombrel
