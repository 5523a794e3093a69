#include "ui/SettingsSheetWindow.h"

namespace ombrel {
namespace {

HWND g_sheet = nullptr;

}  // namespace

void RememberSheetWindow(HWND sheet) noexcept { g_sheet = sheet; }

void ForgetSheetWindow() noexcept { g_sheet = nullptr; }

HWND RememberedSheetWindow() noexcept { return g_sheet; }

}  // namespace ombrel
