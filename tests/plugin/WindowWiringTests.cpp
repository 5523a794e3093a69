// Init, Config and Quit with the real main window: opened once, brought back by Config,
// destroyed by Quit.
#include <gtest/gtest.h>

#include "plugin/DspModule.h"
#include "plugin/Lifecycle.h"
#include "tests/plugin/BroadcastFixture.h"
#include "ui/MainWindow.h"

namespace ombrel::test {
namespace {

class WindowWiring : public BroadcastFixture {};

TEST_F(WindowWiring, InitOpensTheMainWindowConfigBringsItBackAndQuitDestroysIt) {
    StartPlayer({});
    HWND window = MainWindowHandle();
    ASSERT_NE(nullptr, window) << "Init opens the main window";
    EXPECT_TRUE(::IsWindowVisible(window));
    EXPECT_EQ(player_->Window(), ::GetWindow(window, GW_OWNER)) << "owned by the player's window";

    player_->ConfigPlugin();
    EXPECT_EQ(window, MainWindowHandle()) << "an open window is only brought to the front";

    CloseMainWindow();
    EXPECT_FALSE(::IsWindow(window));
    player_->ConfigPlugin();
    HWND reopened = MainWindowHandle();
    ASSERT_NE(nullptr, reopened) << "Config opens a closed window again";
    EXPECT_TRUE(::IsWindowVisible(reopened));

    player_->UnloadPlugin();
    EXPECT_EQ(nullptr, MainWindowHandle());
    EXPECT_FALSE(::IsWindow(reopened)) << "Quit destroys the window";
}

}  // namespace
}  // namespace ombrel::test
