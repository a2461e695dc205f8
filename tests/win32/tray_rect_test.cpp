// Where the caption animation ends when the window hides in the notification area: each of
// the four rules, first match wins.

#include "app/win32/tray_rect.h"

#include <gtest/gtest.h>

#include <shellapi.h>

namespace tarvu::win32 {
namespace {

void ExpectRect(const RECT& actual, LONG left, LONG top, LONG right, LONG bottom) {
    EXPECT_EQ(actual.left, left);
    EXPECT_EQ(actual.top, top);
    EXPECT_EQ(actual.right, right);
    EXPECT_EQ(actual.bottom, bottom);
}

TEST(TrayRect, TheNotificationAreaWinsOverEverythingElse) {
    TraySurroundings around;
    around.notifyArea = RECT{1700, 1040, 1900, 1080};
    around.taskbarAnswered = true;
    around.taskbar = {0, 1040, 1920, 1080};
    around.taskbarEdge = ABE_BOTTOM;
    around.trayWindow = RECT{0, 1040, 1920, 1080};
    ExpectRect(ChooseTrayRect(around), 1700, 1040, 1900, 1080);
}

TEST(TrayRect, NearTheEndOfATaskbarTheShellDescribes) {
    TraySurroundings around;
    around.taskbarAnswered = true;
    around.taskbar = {0, 0, 60, 1080};  // vertical, on the left
    around.taskbarEdge = ABE_LEFT;
    ExpectRect(ChooseTrayRect(around), 0, 980, 60, 1064);
    around.taskbarEdge = ABE_RIGHT;
    ExpectRect(ChooseTrayRect(around), 0, 980, 60, 1064);

    around.taskbar = {0, 1040, 1920, 1080};  // horizontal
    around.taskbarEdge = ABE_BOTTOM;
    ExpectRect(ChooseTrayRect(around), 1820, 1040, 1904, 1080);
    around.taskbarEdge = ABE_TOP;
    ExpectRect(ChooseTrayRect(around), 1820, 1040, 1904, 1080);

    around.taskbarEdge = 7;  // an edge the shell does not name
    around.trayWindow = RECT{0, 1040, 1920, 1080};
    ExpectRect(ChooseTrayRect(around), 0, 0, 0, 0);
}

TEST(TrayRect, TheTaskbarWindowsLastCornerOrTheWorkArea) {
    TraySurroundings around;
    around.trayWindow = RECT{0, 1000, 1920, 1080};
    ExpectRect(ChooseTrayRect(around), 1770, 1050, 1920, 1080);
    around.trayWindow = RECT{10, 20, 110, 40};  // small: kept as it is
    ExpectRect(ChooseTrayRect(around), 10, 20, 110, 40);

    TraySurroundings bare;
    bare.workArea = {0, 0, 1280, 770};
    ExpectRect(ChooseTrayRect(bare), 1130, 740, 1280, 770);
}

}  // namespace
}  // namespace tarvu::win32
