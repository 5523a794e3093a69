#include "ui/LogFileChooser.h"

#include <commdlg.h>

#include "ui/TextField.h"

namespace ombrel {
namespace {

// Pairs of shown name and pattern, ended by an empty name.
constexpr char kFilters[] = "ログファイル (*.txt)\0*.txt\0すべてのファイル (*.*)\0*.*\0";
constexpr char kTitle[] = "ログファイル";
constexpr char kDefaultExtension[] = "bin";

}  // namespace

void ChooseLogFile(HWND page, int fieldId) {
    // The dialog reads and writes the whole buffer: room for 1023 characters of path.
    char path[kTextFieldUnits] = "";
    ::GetDlgItemTextA(page, fieldId, path, kTextFieldUnits);

    OPENFILENAMEA chooser{};
    chooser.lStructSize = sizeof chooser;
    chooser.hwndOwner = page;
    chooser.lpstrFilter = kFilters;
    chooser.nFilterIndex = 1;
    chooser.lpstrFile = path;
    chooser.nMaxFile = kTextFieldUnits;
    chooser.lpstrTitle = kTitle;
    chooser.lpstrDefExt = kDefaultExtension;
    // The dialog would otherwise leave the player's current folder in the log's folder: the
    // player resolves its relative paths against it, and the folder stays in use.
    chooser.Flags = OFN_OVERWRITEPROMPT | OFN_PATHMUSTEXIST | OFN_NONETWORKBUTTON | OFN_NOCHANGEDIR;
    if (::GetSaveFileNameA(&chooser)) ::SetDlgItemTextA(page, fieldId, path);
}

}  // namespace ombrel
