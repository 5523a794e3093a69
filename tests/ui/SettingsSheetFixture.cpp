#include "tests/ui/SettingsSheetFixture.h"

#include <cstdio>
#include <sstream>

#include "encoder/RuntimeEntryPoints.h"
#include "plugin/DspModule.h"
#include "plugin/PluginState.h"
#include "plugin/ProductName.h"
#include "plugin/Settings.h"
#include "tests/common/Files.h"
#include "tests/common/PlayerWindow.h"
#include "ui/SettingsSheet.h"

namespace ombrel::test {
namespace {

HMODULE g_standIn = nullptr;
RuntimeEntryPoints g_savedRuntime{};

HRESULT StandInProfileManager(IWMProfileManager** manager) {
    auto create = reinterpret_cast<WMCreateProfileManagerProc>(
        reinterpret_cast<void*>(::GetProcAddress(g_standIn, "WMCreateProfileManager")));
    return create ? create(manager) : E_FAIL;
}

// Line breaks and non-ASCII text made visible in a comparison.
std::string Visible(const std::string& text) {
    std::string shown;
    for (unsigned char c : text) {
        if (c == '\r')
            shown += "\\r";
        else if (c == '\n')
            shown += "\\n";
        else if (c == '\t')
            shown += "\\t";
        else
            shown += static_cast<char>(c);
    }
    return shown;
}

BOOL CALLBACK FindOwned(HWND window, LPARAM context) {
    auto* search = reinterpret_cast<std::pair<HWND, HWND>*>(context);
    if (::GetWindow(window, GW_OWNER) == search->first && ::FindWindowExA(window, nullptr, WC_TABCONTROLA, nullptr)) {
        search->second = window;
        return FALSE;
    }
    return TRUE;
}

// The property sheet owned by owner: a top-level window of this thread with a tab control.
HWND FindSheet(HWND owner) {
    std::pair<HWND, HWND> search{owner, nullptr};
    ::EnumThreadWindows(::GetCurrentThreadId(), FindOwned, reinterpret_cast<LPARAM>(&search));
    return search.second;
}

}  // namespace

std::string DescribeSettings(bool withUnsavedFields) {
    const AudioStreamSettings& audio = _encoderSettings.audio;
    const ScriptStreamSettings& script = _encoderSettings.script;
    const ExtraSettings& extra = _settings.extra;
    const PeerCastSettings& peerCast = _settings.peerCast;
    std::ostringstream out;
    out << "audio.bufferWindow=" << audio.bufferWindow << "\naudio.codecIndex=" << audio.codecIndex
        << "\naudio.formatIndex=" << audio.formatIndex << "\naudio.language=" << audio.language << "\n";
    if (withUnsavedFields) out << "audio.vbrEnabled=" << audio.vbrEnabled << "\naudio.passes=" << audio.passes << "\n";
    out << "extra._dwPort=" << extra._dwPort << "\nextra._dwMaxClient=" << extra._dwMaxClient
        << "\nextra._fPlayLog=" << extra._fPlayLog << "\nextra._cPlayLog=" << Visible(extra._cPlayLog)
        << "\nextra._cTitle=" << Visible(Utf8(extra._cTitle)) << "\nextra._cAuthor=" << Visible(Utf8(extra._cAuthor))
        << "\nextra._cDescription=" << Visible(Utf8(extra._cDescription))
        << "\nextra._cCopyright=" << Visible(Utf8(extra._cCopyright)) << "\nextra._cGenre=" << Visible(Utf8(extra._cGenre))
        << "\nextra._cAlbum=" << Visible(Utf8(extra._cAlbum)) << "\nextra._cComposer=" << Visible(Utf8(extra._cComposer))
        << "\nextra._fPortMapping=" << extra._fPortMapping
        << "\npeerCast._fEnable=" << peerCast._fEnable << "\npeerCast._dwPort=" << peerCast._dwPort
        << "\npeerCast._cChannel=" << Visible(peerCast._cChannel)
        << "\npeerCast._cFormatArtist=" << Visible(peerCast._cFormatArtist)
        << "\npeerCast._cFormatTitle=" << Visible(peerCast._cFormatTitle)
        << "\npeerCast._cFormatAlbum=" << Visible(peerCast._cFormatAlbum)
        << "\npeerCast._fRelayChannel=" << peerCast._fRelayChannel << "\npeerCast._cContact=" << Visible(peerCast._cContact)
        << "\npeerCast._fRelayIPv6=" << peerCast._fRelayIPv6
        << "\nscript._fEnable=" << _inputFormat.scriptEnabled << "\nscript._dwBitrate=" << script.bitrate
        << "\nscript._dwBufferWindow=" << script.bufferWindow << "\nscript._dwLanguage=" << script.language
        << "\nscript._cFormat=" << Visible(_settings.script._cFormat) << "\n";
    return out.str();
}

std::string DescribeSettingsFile(const std::string& path) {
    const Settings settings = _settings;
    const InputFormat format = _inputFormat;
    const EncoderSettings encoder = _encoderSettings;
    _settings = Settings{};
    SetDefaultSettings();
    LoadSettingsFile(path.c_str(), "(default log)");
    std::string text = FileExists(path) ? DescribeSettings(false) : "(no file)";
    _settings = settings;
    _inputFormat = format;
    _encoderSettings = encoder;
    return text;
}

std::string DescribeSettingsChangedBy(const std::function<void()>& change) {
    const Settings settings = _settings;
    const InputFormat format = _inputFormat;
    const EncoderSettings encoder = _encoderSettings;
    change();
    std::string text = DescribeSettings();
    _settings = settings;
    _inputFormat = format;
    _encoderSettings = encoder;
    return text;
}

void StoreKnownSettings() {
    _settings = Settings{};
    _inputFormat = InputFormat{};
    _encoderSettings = EncoderSettings{};
    SetDefaultSettings();

    AudioStreamSettings& audio = _encoderSettings.audio;
    audio.bufferWindow = 4000;
    audio.codecIndex = kCodecWma92;
    audio.formatIndex = 2;
    audio.vbrEnabled = FALSE;
    audio.passes = 1;
    audio.language = kJapanese;

    ScriptStreamSettings& script = _encoderSettings.script;
    script.bitrate = 5000;
    script.bufferWindow = 3000;
    script.language = kEnglishUs;
    _inputFormat.scriptEnabled = TRUE;
    _settings.script._cFormat = "%TITLE% (%LENGTH%)";

    ExtraSettings& extra = _settings.extra;
    extra._dwPort = 8010;
    extra._dwMaxClient = 5;
    extra._fPlayLog = FALSE;
    extra._cPlayLog = "C:\\logs\\play.txt";
    extra._cTitle = L"Title T";
    extra._cAuthor = L"Author A";
    extra._cDescription = L"line one\r\nline two";
    extra._cCopyright = L"(c) Copyright C";
    extra._cGenre = L"Ambient";
    extra._cAlbum = L"Album B";
    extra._cComposer = L"Composer D";

    PeerCastSettings& peerCast = _settings.peerCast;
    peerCast._fEnable = TRUE;
    peerCast._dwPort = 7150;
    peerCast._cChannel = "channel-one";
    peerCast._cFormatArtist = "%ARTIST%/a";
    peerCast._cFormatTitle = "%TITLE%/t";
    peerCast._cFormatAlbum = "%ALBUM%/b";
    peerCast._fRelayChannel = FALSE;
    peerCast._cContact = "http://example.jp/1";
}

SheetTest::SheetTest() : driver_(kProductName) {}

void SheetTest::SetUp() {
    ASSERT_TRUE(RunsUnderTheExpectedCodePage()) << "system code page " << ::GetACP();
    ASSERT_TRUE(SUCCEEDED(com_.Result()));
    ASSERT_TRUE(folder_.Created());
    const std::string exeFolder = ExeFolder();

    // The codec lists come from the runtime stand-in built beside this executable.
    standIn_.reset(::LoadLibraryA((exeFolder + "\\wmvcore.dll").c_str()));
    ASSERT_TRUE(standIn_) << "wmvcore.dll beside the tests, error " << ::GetLastError();
    g_standIn = standIn_.get();
    g_savedRuntime = ActiveRuntimeEntryPoints();
    ActiveRuntimeEntryPoints().createProfileManager = StandInProfileManager;

    // The sheet saves beside the plug-in's DLL: a copy of it in the temp folder.
    const std::string built = exeFolder + "\\dsp_ombrel.dll";
    const std::string copy = folder_.File("dsp_ombrel.dll");
    ASSERT_TRUE(::CopyFileA(built.c_str(), copy.c_str(), FALSE)) << built << " error " << ::GetLastError();
    plugin_.reset(::LoadLibraryA(copy.c_str()));
    ASSERT_TRUE(plugin_) << copy << " error " << ::GetLastError();
    savedInstance_ = PluginModule().hDllInstance;
    PluginModule().hDllInstance = plugin_.get();
    ASSERT_EQ(IniPath(), PathBesidePlugin(kSettingsFileName));

    owner_ = CreateOwnerWindow();
    ASSERT_TRUE(owner_);

    StoreKnownSettings();
}

void SheetTest::TearDown() {
    owner_.reset();
    PluginModule().hDllInstance = savedInstance_;
    plugin_.reset();
    ActiveRuntimeEntryPoints() = g_savedRuntime;
    standIn_.reset();
    g_standIn = nullptr;
    _settings = Settings{};
    _inputFormat = InputFormat{};
    _encoderSettings = EncoderSettings{};
}

void SheetTest::Do(std::function<void()> action) { DoWhen(nullptr, std::move(action)); }

void SheetTest::DoWhen(std::function<bool()> ready, std::function<void()> action) {
    driver_.When(
        [this, ready] {
            if (!sheet_) sheet_ = FindSheet(owner_.get());
            return sheet_ && (!ready || ready());
        },
        std::move(action));
}

void SheetTest::RunSheet() {
    sheet_ = nullptr;
    driver_.Run([this] { ombrel::RunSettingsSheet(::GetModuleHandleA(nullptr), owner_.get()); });
    EXPECT_FALSE(driver_.TimedOut()) << "the sheet had to be cancelled by the watchdog";
    EXPECT_TRUE(driver_.AllStepsRan());
    EXPECT_FALSE(sheet_ && ::IsWindow(sheet_)) << "the sheet is still open";
}

HWND SheetTest::Page(int index) const {
    return reinterpret_cast<HWND>(::SendMessageA(sheet_, PSM_INDEXTOHWND, index, 0));
}

int SheetTest::CurrentPage() const {
    HWND page = reinterpret_cast<HWND>(::SendMessageA(sheet_, PSM_GETCURRENTPAGEHWND, 0, 0));
    return static_cast<int>(::SendMessageA(sheet_, PSM_HWNDTOINDEX, reinterpret_cast<WPARAM>(page), 0));
}

bool SheetTest::Select(int page) { return ::SendMessageA(sheet_, PSM_SETCURSEL, page, 0) != 0; }

void SheetTest::PressOk() { ::SendMessageA(sheet_, PSM_PRESSBUTTON, PSBTN_OK, 0); }

void SheetTest::PressCancel() { ::SendMessageA(sheet_, PSM_PRESSBUTTON, PSBTN_CANCEL, 0); }

std::string SheetTest::Text(int page, int id) const { return WindowTextA(Control(page, id)); }

std::wstring SheetTest::WideText(int page, int id) const { return WindowTextW(Control(page, id)); }

void SheetTest::Type(int page, int id, const std::string& text) { ::SetWindowTextA(Control(page, id), text.c_str()); }

void SheetTest::TypeWide(int page, int id, const std::wstring& text) {
    ::SetWindowTextW(Control(page, id), text.c_str());
}

bool SheetTest::Checked(int page, int id) const {
    return ::SendMessageA(Control(page, id), BM_GETCHECK, 0, 0) == BST_CHECKED;
}

void SheetTest::Click(int page, int id) { ::SendMessageA(Control(page, id), BM_CLICK, 0, 0); }

LRESULT SheetTest::SelectedData(int page, int id) const {
    HWND list = Control(page, id);
    LRESULT item = ::SendMessageA(list, CB_GETCURSEL, 0, 0);
    return item == CB_ERR ? -1 : ::SendMessageA(list, CB_GETITEMDATA, item, 0);
}

void SheetTest::ChooseWithArrowKey(int page, int id, UINT key) {
    HWND list = Control(page, id);
    ::SetFocus(list);
    ::SendMessageA(list, WM_KEYDOWN, key, 0);
    ::SendMessageA(list, WM_KEYUP, key, 0);
}

bool SheetTest::ChooseData(int page, int id, DWORD data) {
    HWND list = Control(page, id);
    const LRESULT count = ::SendMessageA(list, CB_GETCOUNT, 0, 0);
    for (LRESULT item = 0; item < count; ++item) {
        if (static_cast<DWORD>(::SendMessageA(list, CB_GETITEMDATA, item, 0)) != data) continue;
        ::SendMessageA(list, CB_SETCURSEL, item, 0);
        ::SendMessageA(Page(page), WM_COMMAND, MAKEWPARAM(id, CBN_SELCHANGE), reinterpret_cast<LPARAM>(list));
        return true;
    }
    return false;
}

LRESULT SheetTest::ItemCount(int page, int id) const { return ::SendMessageA(Control(page, id), CB_GETCOUNT, 0, 0); }

void SheetTest::Spin(int page, int id, UINT key, int times) {
    HWND field = Control(page, id);
    ::SetFocus(field);
    for (int i = 0; i < times; ++i) {
        ::SendMessageA(field, WM_KEYDOWN, key, 0);
        ::SendMessageA(field, WM_KEYUP, key, 0);
    }
}

}  // namespace ombrel::test
