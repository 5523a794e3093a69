// Page 105 "属性": the seven content attributes of the stream, edited as UTF-16 text.
#include <windows.h>
#include <commctrl.h>

#include <string>

#include "plugin/Settings.h"
#include "ui/PageAnswer.h"
#include "ui/SettingsPageIds.h"
#include "ui/SettingsPages.h"
#include "ui/TextField.h"
#include "win/ExceptionFirewall.h"

namespace ombrel {
namespace {

struct AttributeField {
    int id;
    std::wstring ExtraSettings::*text;
};

const AttributeField kFields[] = {
    {IDC_ATTRIBUTE_TITLE, &ExtraSettings::_cTitle},
    {IDC_ATTRIBUTE_AUTHOR, &ExtraSettings::_cAuthor},
    {IDC_ATTRIBUTE_COPYRIGHT, &ExtraSettings::_cCopyright},
    {IDC_ATTRIBUTE_DESCRIPTION, &ExtraSettings::_cDescription},
    {IDC_ATTRIBUTE_GENRE, &ExtraSettings::_cGenre},
    {IDC_ATTRIBUTE_ALBUM, &ExtraSettings::_cAlbum},
    {IDC_ATTRIBUTE_COMPOSER, &ExtraSettings::_cComposer},
};

INT_PTR OnInitDialog(HWND page) {
    for (const AttributeField& field : kFields)
        ::SetDlgItemTextW(page, field.id, (_settings.extra.*field.text).c_str());
    return TRUE;
}

void WriteBack(HWND page) {
    for (const AttributeField& field : kFields) {
        std::wstring& text = _settings.extra.*field.text;
        text = ReadWideTextField(page, field.id, text);
    }
}

INT_PTR OnNotify(HWND page, const NMHDR* header) {
    if (header->code != PSN_APPLY) return FALSE;
    WriteBack(page);
    return AnswerApplied(page);
}

}  // namespace

INT_PTR CALLBACK AttributesPageProc(HWND page, UINT message, WPARAM, LPARAM lParam) {
    return win::Firewall(static_cast<INT_PTR>(FALSE), [&]() -> INT_PTR {
        switch (message) {
        case WM_INITDIALOG:
            return OnInitDialog(page);
        case WM_NOTIFY:
            return OnNotify(page, reinterpret_cast<const NMHDR*>(lParam));
        }
        return FALSE;
    });
}

}  // namespace ombrel
