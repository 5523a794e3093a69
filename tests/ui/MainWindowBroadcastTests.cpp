// The main window over a broadcast: the monitor reading a scripted encoder's figures, the
// commands while broadcasting, a failed start, closing and reopening during a broadcast, and
// one real broadcast through the runtime stand-in with a listener on loopback.
#include <gtest/gtest.h>

#include <memory>
#include <string>

#include "encoder/Catalogue.h"
#include "plugin/PortMapping.h"
#include "tests/common/Loopback.h"
#include "tests/common/StreamListener.h"
#include "tests/ui/MainWindowTestSupport.h"
#include "win/ComApartment.h"

namespace ombrel::test {
namespace {

// An encoder whose monitor figures a test sets; it counts the monitor's queries. Lives in
// static storage, so Release only counts.
class ScriptedEncoder final : public ombrel::LiveEncoder {
public:
    DWORD clients = 0;
    WM_WRITER_STATISTICS statistics{};
    DWORD seconds = 0;
    HRESULT clientsResult = S_OK;
    HRESULT statisticsResult = S_OK;
    HRESULT secondsResult = S_OK;
    HRESULT startResult = S_OK;
    int statisticsQueries = 0;
    int releases = 0;

    HRESULT STDMETHODCALLTYPE Initialize() override { return S_OK; }
    HRESULT STDMETHODCALLTYPE Configure(const InputFormat*, const EncoderSettings*) override {
        return S_OK;
    }
    HRESULT STDMETHODCALLTYPE ChangeInputFormat(const InputFormat*) override { return S_OK; }
    HRESULT STDMETHODCALLTYPE SetArchiveFile(const WCHAR*) override { return S_OK; }
    HRESULT STDMETHODCALLTYPE SetBroadcastPort(DWORD) override { return S_OK; }
    HRESULT STDMETHODCALLTYPE SetMaxClients(DWORD) override { return S_OK; }
    HRESULT STDMETHODCALLTYPE Start() override { return startResult; }
    HRESULT STDMETHODCALLTYPE Stop() override { return S_OK; }
    HRESULT STDMETHODCALLTYPE WriteVideo(const BYTE*) override { return S_OK; }
    HRESULT STDMETHODCALLTYPE WriteAudio(const BYTE*, INT32) override { return S_OK; }
    HRESULT STDMETHODCALLTYPE WriteScript(const WCHAR*, const WCHAR*) override { return S_OK; }
    HRESULT STDMETHODCALLTYPE SetBinaryAttribute(const WCHAR*, const BYTE*, DWORD) override { return S_OK; }
    HRESULT STDMETHODCALLTYPE SetStringAttribute(const WCHAR*, const WCHAR*) override { return S_OK; }
    HRESULT STDMETHODCALLTYPE GetErrorText(char* buffer, DWORD size) override {
        if (buffer && size) lstrcpynA(buffer, "Could not Start (hr=0x80004005).\n", int(size));
        return S_OK;
    }
    HRESULT STDMETHODCALLTYPE GetStatistics(WM_WRITER_STATISTICS* out) override {
        ++statisticsQueries;
        if (SUCCEEDED(statisticsResult)) *out = statistics;
        return statisticsResult;
    }
    HRESULT STDMETHODCALLTYPE GetClientCount(DWORD* out) override {
        if (SUCCEEDED(clientsResult)) *out = clients;
        return clientsResult;
    }
    HRESULT STDMETHODCALLTYPE GetElapsedSeconds(DWORD* out) override {
        if (SUCCEEDED(secondsResult)) *out = seconds;
        return secondsResult;
    }
    void STDMETHODCALLTYPE Release() override { ++releases; }
    HRESULT STDMETHODCALLTYPE Uninitialize() override { return S_OK; }
    HRESULT STDMETHODCALLTYPE GetArchiveState(HRESULT*) override { return E_FAIL; }
};

ScriptedEncoder* g_scripted = nullptr;

HRESULT CreateScripted(ombrel::LiveEncoder** encoder) {
    *encoder = g_scripted;
    return S_OK;
}

// The monitor fields as one line, for readable failures.
std::string Fields(HWND dialog) {
    return ItemTextA(dialog, IDC_CLIENT_COUNT) + " | " + ItemTextA(dialog, IDC_BYTES_SENT) + " | " +
           ItemTextA(dialog, IDC_BIT_RATE) + " | " + ItemTextA(dialog, IDC_RUNNING_TIME);
}

class MainWindowBroadcastTest : public MainWindowTest {
protected:
    void SetUp() override {
        MainWindowTest::SetUp();
        g_scripted = &encoder_;
        savedFactory_ = ombrel::SetEncoderFactory(CreateScripted);
    }
    void TearDown() override {
        MainWindowTest::TearDown();
        ombrel::SetEncoderFactory(savedFactory_);
        g_scripted = nullptr;
    }

    // Waits for the monitor to show fields, at most a few ticks.
    bool MonitorShows(HWND dialog, const std::string& fields) {
        return PumpMainWindowUntil(2000, [&] { return Fields(dialog) == fields; });
    }

    ScriptedEncoder encoder_;

private:
    ombrel::EncoderFactory savedFactory_ = nullptr;
};

TEST_F(MainWindowBroadcastTest, MonitorShowsTheEncodersFiguresInItsFormats) {
    HWND dialog = Open();
    ASSERT_NE(nullptr, dialog);
    encoder_.clients = 3;
    encoder_.statistics.qwByteCount = 1023;
    encoder_.statistics.dwCurrentBitrate = 128000;
    encoder_.seconds = 86400 + 3600 + 60 + 1;
    Command(dialog, IDM_START_BROADCAST);
    ASSERT_EQ(1, ombrel::IsBroadcasting());
    EXPECT_TRUE(MonitorShows(dialog, "3 | 0 (KB) | 128.0 (kbps) | 01:01:01:01")) << Fields(dialog);

    encoder_.statistics.qwByteCount = 1024;
    encoder_.seconds = 100 * 86400;
    EXPECT_TRUE(MonitorShows(dialog, "3 | 1 (KB) | 128.0 (kbps) | 100:00:00:00")) << Fields(dialog);
}

TEST_F(MainWindowBroadcastTest, AFailedQueryKeepsItsFieldsPreviousText) {
    HWND dialog = Open();
    ASSERT_NE(nullptr, dialog);
    encoder_.clients = 2;
    encoder_.statistics.qwByteCount = 5 * 1024;
    encoder_.statistics.dwCurrentBitrate = 64000;
    encoder_.seconds = 61;
    Command(dialog, IDM_START_BROADCAST);
    ASSERT_TRUE(MonitorShows(dialog, "2 | 5 (KB) | 64.0 (kbps) | 00:00:01:01")) << Fields(dialog);

    // Each query fails in turn while the others' figures move on.
    encoder_.statisticsResult = E_FAIL;
    encoder_.clients = 4;
    encoder_.statistics.qwByteCount = 9 * 1024;
    encoder_.statistics.dwCurrentBitrate = 32000;
    EXPECT_TRUE(MonitorShows(dialog, "4 | 5 (KB) | 64.0 (kbps) | 00:00:01:01")) << Fields(dialog);
    encoder_.statisticsResult = S_OK;
    encoder_.secondsResult = E_FAIL;
    encoder_.clientsResult = E_FAIL;
    encoder_.seconds = 62;
    EXPECT_TRUE(MonitorShows(dialog, "4 | 9 (KB) | 32.0 (kbps) | 00:00:01:01")) << Fields(dialog);
    encoder_.secondsResult = S_OK;
    EXPECT_TRUE(MonitorShows(dialog, "4 | 9 (KB) | 32.0 (kbps) | 00:00:01:02")) << Fields(dialog);
}

TEST_F(MainWindowBroadcastTest, StartAndStopSwitchTheCommandsAndTheMonitorBackToIdle) {
    HWND dialog = Open();
    ASSERT_NE(nullptr, dialog);
    encoder_.clients = 1;
    encoder_.seconds = 5;
    ::SetDlgItemTextA(dialog, IDC_SCRIPT_TEXT, "before the start");
    Command(dialog, IDM_START_BROADCAST);
    ASSERT_EQ(1, ombrel::IsBroadcasting());
    ExpectCommandState(dialog, true);
    EXPECT_EQ("", ItemTextA(dialog, IDC_SCRIPT_TEXT));
    ASSERT_TRUE(MonitorShows(dialog, "1 | 0 (KB) | 0.0 (kbps) | 00:00:00:05")) << Fields(dialog);

    // A second start while broadcasting makes no second encoder.
    Command(dialog, IDM_START_BROADCAST);
    EXPECT_EQ(0, encoder_.releases);

    ::SetDlgItemTextA(dialog, IDC_SCRIPT_TEXT, "before the stop");
    Command(dialog, IDM_STOP_BROADCAST);
    EXPECT_EQ(0, ombrel::IsBroadcasting());
    EXPECT_EQ(1, encoder_.releases);
    ExpectCommandState(dialog, false);
    EXPECT_EQ("", ItemTextA(dialog, IDC_SCRIPT_TEXT));
    EXPECT_TRUE(MonitorShows(dialog, "0 | 0 (KB) | 0.0 (kbps) | 00:00:00:00")) << Fields(dialog);
}

// A router that is never found, after a while.
struct AbsentRouter : ombrel::Router {
    bool Find(int) override {
        ::Sleep(300);
        return false;
    }
    std::string LanAddress() const override { return ""; }
    bool IsVersion2() const override { return false; }
    std::string ExternalAddress() override { return ""; }
    int AddMapping(int, int, int) override { return -1; }
    int AddAnyMapping(int, int, int, int*) override { return -1; }
    int DeleteMapping(int) override { return -1; }
};
std::unique_ptr<ombrel::Router> MakeAbsentRouter() { return std::make_unique<AbsentRouter>(); }

// The router's line belongs to the broadcast from the command on: the search shows at once and
// the stop takes the line away at once, so nothing of the last broadcast is read as this one's.
TEST_F(MainWindowBroadcastTest, TheRoutersLineFollowsTheStartAndTheStopAtOnce) {
    HWND dialog = Open();
    ASSERT_NE(nullptr, dialog);
    const ombrel::RouterFactory previous = ombrel::SetRouterFactory(MakeAbsentRouter);
    ombrel::_settings.extra._fPortMapping = TRUE;
    Command(dialog, IDM_START_BROADCAST);
    ASSERT_EQ(1, ombrel::IsBroadcasting());
    EXPECT_EQ(L"UPnP: ルーターを探しています…", ItemText(dialog, IDC_PORT_MAPPING_STATE));
    EXPECT_EQ(L"", ItemText(dialog, IDC_LISTEN_ADDRESS)) << "no address is known during the search";
    Command(dialog, IDM_STOP_BROADCAST);
    EXPECT_EQ(L"", ItemText(dialog, IDC_PORT_MAPPING_STATE));
    EXPECT_EQ(L"", ItemText(dialog, IDC_LISTEN_ADDRESS));
    ombrel::AwaitPortMappingEnd(3000);
    ombrel::_settings.extra._fPortMapping = FALSE;
    ombrel::SetRouterFactory(previous);
}

TEST_F(MainWindowBroadcastTest, ClosingDuringABroadcastKeepsItAndStopsTheMonitor) {
    HWND dialog = Open();
    ASSERT_NE(nullptr, dialog);
    encoder_.clients = 2;
    encoder_.seconds = 7;
    Command(dialog, IDM_START_BROADCAST);
    ASSERT_TRUE(MonitorShows(dialog, "2 | 0 (KB) | 0.0 (kbps) | 00:00:00:07")) << Fields(dialog);

    Command(dialog, IDM_CLOSE);
    ASSERT_EQ(nullptr, ombrel::MainWindowHandle());
    EXPECT_EQ(1, ombrel::IsBroadcasting());
    EXPECT_EQ(0, encoder_.releases);
    // Nobody asks the encoder for figures while no window exists.
    const int queries = encoder_.statisticsQueries;
    PumpMainWindow(1300);
    EXPECT_EQ(queries, encoder_.statisticsQueries);

    // Reopened, the window shows the figures of the moment without waiting for a tick.
    encoder_.clients = 4;
    encoder_.statistics.qwByteCount = 3 * 1024;
    encoder_.statistics.dwCurrentBitrate = 48000;
    encoder_.seconds = 3600;
    HWND again = Open();
    ASSERT_NE(nullptr, again);
    EXPECT_EQ("4 | 3 (KB) | 48.0 (kbps) | 00:01:00:00", Fields(again));
    ExpectCommandState(again, true);
}

// Finds the start's error box among this thread's windows, keeps its text and presses OK.
std::string g_boxText;
int g_boxes = 0;

BOOL CALLBACK DismissErrorBox(HWND window, LPARAM) {
    char title[64] = {};
    ::GetWindowTextA(window, title, sizeof(title));
    if (lstrcmpA(title, "Ombrel DSP plugin v1.05") != 0 || !::IsWindowVisible(window)) return TRUE;
    char text[512] = {};
    // The message box's text is its static control 0xFFFF.
    ::GetDlgItemTextA(window, 0xFFFF, text, sizeof(text));
    g_boxText = text;
    ++g_boxes;
    ::PostMessageA(window, WM_COMMAND, IDOK, 0);
    return FALSE;
}

void CALLBACK LookForErrorBox(HWND, UINT, UINT_PTR, DWORD) {
    ::EnumThreadWindows(::GetCurrentThreadId(), DismissErrorBox, 0);
}

TEST_F(MainWindowBroadcastTest, AFailedStartIsShownAndLeavesTheIdleState) {
    HWND dialog = Open();
    ASSERT_NE(nullptr, dialog);
    encoder_.startResult = E_FAIL;
    g_boxText.clear();
    g_boxes = 0;
    ::SetDlgItemTextA(dialog, IDC_SCRIPT_TEXT, "before the start");
    win::UniqueThreadTimer watcher(::SetTimer(nullptr, 0, 50, LookForErrorBox));
    ASSERT_TRUE(watcher);
    Command(dialog, IDM_START_BROADCAST);
    watcher.reset();
    EXPECT_EQ(1, g_boxes);
    EXPECT_EQ("Could not Start (hr=0x80004005).", g_boxText.substr(0, g_boxText.find_last_not_of("\r\n") + 1));
    EXPECT_EQ(0, ombrel::IsBroadcasting());
    ExpectCommandState(dialog, false);
    EXPECT_EQ("", ItemTextA(dialog, IDC_SCRIPT_TEXT));
}

// What Init prepares for a broadcast: COM, sockets, the default format, encoder settings and
// settings; put back afterwards.
class RealBroadcastTest : public MainWindowTest {
protected:
    void SetUp() override {
        savedSettings_ = ombrel::_settings;
        savedFormat_ = ombrel::_inputFormat;
        savedEncoderSettings_ = ombrel::_encoderSettings;
        WSADATA data{};
        ASSERT_EQ(0, ::WSAStartup(MAKEWORD(1, 1), &data));
        socketsStarted_ = true;
        ombrel::SetDefaultSettings();
        ombrel::_inputFormat = {};
        ombrel::_inputFormat.audioEnabled = TRUE;
        ombrel::_inputFormat.sampleRate = 44100;
        ombrel::_inputFormat.channels = 2;
        ombrel::_inputFormat.bitsPerSample = 16;
        ASSERT_EQ(S_OK, ombrel::FillDefaultEncoderSettings(&ombrel::_inputFormat, &ombrel::_encoderSettings));
        MainWindowTest::SetUp();
    }
    void TearDown() override {
        MainWindowTest::TearDown();
        if (socketsStarted_) ::WSACleanup();
        ombrel::_settings = savedSettings_;
        ombrel::_inputFormat = savedFormat_;
        ombrel::_encoderSettings = savedEncoderSettings_;
    }

private:
    win::ComApartment com_;
    bool socketsStarted_ = false;
    ombrel::Settings savedSettings_;
    InputFormat savedFormat_{};
    EncoderSettings savedEncoderSettings_{};
};

TEST_F(RealBroadcastTest, RealBroadcastThroughTheRuntimeShowsItsListenerAndRunningTime) {
    const int port = ombrel::test::FreeLoopbackPort();
    ASSERT_NE(0, port);
    ombrel::_settings.extra._dwPort = static_cast<DWORD>(port);
    HWND dialog = Open();
    ASSERT_NE(nullptr, dialog);
    g_boxText.clear();
    g_boxes = 0;
    win::UniqueThreadTimer watcher(::SetTimer(nullptr, 0, 50, LookForErrorBox));
    Command(dialog, IDM_START_BROADCAST);
    watcher.reset();
    ASSERT_EQ(0, g_boxes) << g_boxText;
    ASSERT_EQ(1, ombrel::IsBroadcasting());
    EXPECT_EQ(std::to_string(port), ItemTextA(dialog, IDC_OUTPUT_PORT));

    ombrel::test::StreamListener listener(port);
    ASSERT_TRUE(listener.Start());
    EXPECT_TRUE(PumpMainWindowUntil(5000, [&] {
        return ItemTextA(dialog, IDC_CLIENT_COUNT) == "1" && ItemTextA(dialog, IDC_RUNNING_TIME) != "00:00:00:00";
    })) << Fields(dialog);
    EXPECT_EQ("00:00:00:0", ItemTextA(dialog, IDC_RUNNING_TIME).substr(0, 10)) << Fields(dialog);
    const std::string bytes = ItemTextA(dialog, IDC_BYTES_SENT);
    EXPECT_EQ(" (KB)", bytes.substr(bytes.size() < 5 ? 0 : bytes.size() - 5)) << bytes;
    const std::string rate = ItemTextA(dialog, IDC_BIT_RATE);
    EXPECT_EQ(" (kbps)", rate.substr(rate.size() < 7 ? 0 : rate.size() - 7)) << rate;

    // Closed and reopened during the broadcast: the same broadcast, its figures at once.
    Command(dialog, IDM_CLOSE);
    PumpMainWindow(1100);
    EXPECT_EQ(1, ombrel::IsBroadcasting());
    HWND again = Open();
    ASSERT_NE(nullptr, again);
    EXPECT_EQ("1", ItemTextA(again, IDC_CLIENT_COUNT));
    EXPECT_NE("00:00:00:00", ItemTextA(again, IDC_RUNNING_TIME));
    EXPECT_NE("00:00:00:01", ItemTextA(again, IDC_RUNNING_TIME));

    Command(again, IDM_STOP_BROADCAST);
    EXPECT_EQ(0, ombrel::IsBroadcasting());
    EXPECT_TRUE(PumpMainWindowUntil(2000, [&] { return Fields(again) == "0 | 0 (KB) | 0.0 (kbps) | 00:00:00:00"; }))
        << Fields(again);
}

}  // namespace
}  // namespace ombrel::test
