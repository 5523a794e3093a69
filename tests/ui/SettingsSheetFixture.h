// What the settings sheet tests share: the runtime stand-in's codec catalogue, the plug-in DLL
// copied into a temp folder so the settings file is written there, an owner window standing
// for the main window, known settings, and a driver that works the real sheet from inside
// its modal loop.
#pragma once

#include <windows.h>
#include <commctrl.h>
#include <prsht.h>

#include <gtest/gtest.h>

#include <functional>
#include <string>

#include "tests/common/SettingsFixture.h"
#include "tests/ui/SettingsSheetDriver.h"
#include "win/ComApartment.h"
#include "win/UniqueAny.h"

namespace ombrel::test {

// Page order of the sheet.
enum PageIndex { kCodecPage = 0, kOutputPage, kAttributesPage, kScriptPage, kPeerCastPage, kPageCount };

// The stand-in's codec indexes (index 0, a voice codec, is not offered).
constexpr DWORD kCodecWma92 = 1;          // 20 CBR formats of WMA v2, no VBR format
constexpr DWORD kCodecWma92Lossless = 2;  // 4 CBR and 3 VBR formats
constexpr DWORD kCodecWma10Pro = 3;       // 4 CBR and 4 VBR formats
constexpr LCID kJapanese = 0x0411;
constexpr LCID kEnglishUs = 0x0409;
constexpr LCID kGerman = 0x0407;

// Every setting the sheet edits, as text, so a comparison shows what differs.
std::string DescribeSettings(bool withUnsavedFields = true);

// The settings as they read back from a file, the current ones left as they were.
std::string DescribeSettingsFile(const std::string& path);

// Gives every edited setting a known value that differs from its default.
void StoreKnownSettings();

// DescribeSettings() of the current settings with change applied, the settings left as they were.
std::string DescribeSettingsChangedBy(const std::function<void()>& change);

class SheetTest : public ::testing::Test {
protected:
    void SetUp() override;
    void TearDown() override;

    // Queues a step run once the sheet is open and the steps before it have run.
    void Do(std::function<void()> action);
    // The same, once ready also holds.
    void DoWhen(std::function<bool()> ready, std::function<void()> action);
    // Runs the sheet over the owner window until it closes; the queued steps drive it.
    void RunSheet();

    HWND Sheet() const { return sheet_; }
    HWND Owner() const { return owner_.get(); }
    HWND Page(int index) const;
    HWND Control(int page, int id) const { return ::GetDlgItem(Page(page), id); }
    int CurrentPage() const;
    // Shows another page as a click on its tab would; false when the current page refused.
    bool Select(int page);
    void PressOk();
    void PressCancel();

    std::string Text(int page, int id) const;
    std::wstring WideText(int page, int id) const;
    void Type(int page, int id, const std::string& text);
    void TypeWide(int page, int id, const std::wstring& text);
    bool Checked(int page, int id) const;
    void Click(int page, int id);
    // The selected entry's item data of a combo box, or -1.
    LRESULT SelectedData(int page, int id) const;
    // The user picks another entry of a drop-down list with the keyboard.
    void ChooseWithArrowKey(int page, int id, UINT key);
    // The user picks the entry with this item data from the drop-down list; false if none has it.
    bool ChooseData(int page, int id, DWORD data);
    LRESULT ItemCount(int page, int id) const;
    // Presses an arrow key in a number field: its up-down spins.
    void Spin(int page, int id, UINT key, int times);

    std::string IniPath() const { return folder_.File("dsp_ombrel.ini"); }
    std::string LogPath() const { return folder_.File("dsp_ombrel_log.txt"); }
    const ombrel::test::TempFolder& Folder() const { return folder_; }

    ModalDriver driver_;

public:
    SheetTest();

private:
    win::ComApartment com_;
    ombrel::test::TempFolder folder_;
    win::UniqueModule standIn_;
    win::UniqueModule plugin_;
    HINSTANCE savedInstance_ = nullptr;
    win::UniqueWindow owner_;
    HWND sheet_ = nullptr;
};

}  // namespace ombrel::test
