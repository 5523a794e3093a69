// The meter's entry points as the main window and the meter thread call them, and the guard
// that keeps a drawing pass and the destruction of the gradient image apart.
#include <gtest/gtest.h>

#include <atomic>
#include <optional>

#include "MeterTestSupport.h"
#include "ui/GradientImage.h"
#include "ui/LevelMeter.h"
#include "ui/MainWindow.h"
#include "ui/MeterDrawing.h"

namespace ombrel::test {
namespace {

DWORD WINAPI DestroyOnThread(LPVOID) {
    DestroyGradientImage();
    return 0;
}

DWORD WINAPI RebuildOnThread(LPVOID) {
    BuildGradientImageForSize(41, 100);
    return 0;
}

TEST(LevelMeterGuard, DestructionWaitsForThePassHoldingTheImage) {
    BuildGradientImageForSize(21, 186);
    std::optional<GradientLease> pass;
    pass.emplace();
    ASSERT_NE(nullptr, pass->Bitmap());
    win::UniqueThread destroyer(::CreateThread(nullptr, 0, DestroyOnThread, nullptr, 0, nullptr));
    ASSERT_TRUE(destroyer);
    EXPECT_EQ(static_cast<DWORD>(WAIT_TIMEOUT), ::WaitForSingleObject(destroyer.get(), 300))
        << "the image was destroyed during a pass";
    EXPECT_EQ(static_cast<DWORD>(OBJ_BITMAP), ::GetObjectType(pass->Bitmap())) << "the pass's image is alive";
    pass.reset();  // the pass ends; the destruction goes ahead
    ASSERT_EQ(WAIT_OBJECT_0, ::WaitForSingleObject(destroyer.get(), 10000));
    GradientLease after;
    EXPECT_EQ(nullptr, after.Bitmap()) << "a pass after the destruction finds no image";
}

TEST(LevelMeterGuard, RebuildWaitsForThePassHoldingTheImage) {
    BuildGradientImageForSize(21, 186);
    win::UniqueThread rebuilder;
    {
        GradientLease pass;
        const HBITMAP image = pass.Bitmap();
        ASSERT_NE(nullptr, image);
        rebuilder.reset(::CreateThread(nullptr, 0, RebuildOnThread, nullptr, 0, nullptr));
        ASSERT_TRUE(rebuilder);
        EXPECT_EQ(static_cast<DWORD>(WAIT_TIMEOUT), ::WaitForSingleObject(rebuilder.get(), 300));
        EXPECT_EQ(image, pass.Bitmap());
        EXPECT_EQ(9, pass.Width());
    }
    ASSERT_EQ(WAIT_OBJECT_0, ::WaitForSingleObject(rebuilder.get(), 10000));
    GradientLease after;
    EXPECT_EQ(19, after.Width());
    EXPECT_EQ(98, after.Height());
    DestroyGradientImage();
}

struct StressState {
    std::atomic<bool> stop{false};
    std::atomic<long> passes{0};
    std::atomic<long> torn{0};  // frames that were neither empty nor whole
};

DWORD WINAPI PassesUntilStopped(LPVOID parameter) {
    auto* state = static_cast<StressState*>(parameter);
    PixelCanvas canvas(21, 186);
    while (!state->stop) {
        canvas.Fill(kPoison);
        RenderMeter(canvas.Dc(), 21, 186, 0.0, 0.0);
        const uint32_t top = canvas.At(5, 2);
        const uint32_t bottom = canvas.At(5, 183);
        const bool empty = top == kBlack && bottom == kBlack;
        const bool whole = top == kRed && bottom == Segment(130);
        if (!empty && !whole) ++state->torn;
        ++state->passes;
    }
    return 0;
}

// Drawing passes on one thread while this thread builds and destroys the image over and over:
// every frame shows either no bars or whole ones, and no image is left behind.
TEST(LevelMeterGuard, PassesAndDestructionsInterleaveSafely) {
    const long gdiObjects = win::UniqueGdiObject::LiveCount();
    const long memoryDcs = win::UniqueMemoryDc::LiveCount();
    StressState state;
    win::UniqueThread drawer(::CreateThread(nullptr, 0, PassesUntilStopped, &state, 0, nullptr));
    ASSERT_TRUE(drawer);
    const DWORD start = ::GetTickCount();
    for (int i = 0; i < 400 || state.passes < 300; ++i) {
        BuildGradientImageForSize(21, 186);
        ::Sleep(0);
        DestroyGradientImage();
        if (::GetTickCount() - start > 20000) break;
    }
    state.stop = true;
    ASSERT_EQ(WAIT_OBJECT_0, ::WaitForSingleObject(drawer.get(), 30000));
    EXPECT_GE(state.passes.load(), 300);
    EXPECT_EQ(0, state.torn.load());
    // The drawer's own canvas went with its thread.
    EXPECT_EQ(gdiObjects, win::UniqueGdiObject::LiveCount());
    EXPECT_EQ(memoryDcs, win::UniqueMemoryDc::LiveCount());
}

TEST(LevelMeterEntry, DrawMeterWithoutAMainWindowDrawsNothing) {
    ASSERT_EQ(nullptr, MainWindowHandle()) << "this test needs the main window closed";
    MeterWindow window(21, 186);
    BuildGradientImage(window.Parent());
    // A pass straight into the control proves it can be drawn...
    DrawMeterInto(window.Control(), 0.0, 0.0);
    PixelCanvas canvas(21, 186);
    ReadWindow(window.Control(), canvas);
    ASSERT_EQ(kRed, canvas.At(1, 2));
    // ...then paint it over and let the entry point find no main window.
    {
        win::WindowDc dc(window.Control());
        ::PatBlt(dc.get(), 0, 0, 21, 186, WHITENESS);
    }
    const long windowDcs = win::WindowDc::LiveCount();
    DrawMeter(0.0, 0.0);
    EXPECT_EQ(windowDcs, win::WindowDc::LiveCount());
    ReadWindow(window.Control(), canvas);
    EXPECT_EQ(0xFFFFFFu, canvas.At(1, 2));
    EXPECT_EQ(0xFFFFFFu, canvas.At(0, 0));
    DestroyGradientImage();
}

}  // namespace
}  // namespace ombrel::test
