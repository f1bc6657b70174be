// Window tests that need a real X server with a window manager and a notification area. The
// private desktop comes up before the QApplication, which then connects to it.

#include <stdlib.h>

#include <QApplication>

#include <cstring>
#include <memory>

#include <gtest/gtest.h>

#include "DesktopTest.h"

namespace orvex::test {

TestDesktop* g_desktop = nullptr;

}  // namespace orvex::test

int main(int argc, char** argv) {
    bool listing = false;
    for (int i = 1; i < argc; ++i) {
        listing = listing || std::strcmp(argv[i], "--gtest_list_tests") == 0;
    }
    // Listing the tests must not start a desktop.
    std::unique_ptr<orvex::test::TestDesktop> desktop;
    if (!listing) {
        desktop = std::make_unique<orvex::test::TestDesktop>();
        orvex::test::g_desktop = desktop.get();
    }
    if (desktop && desktop->Ready()) {
        ::setenv("DISPLAY", desktop->Display().c_str(), 1);
        ::setenv("QT_QPA_PLATFORM", "xcb", 1);
    } else {
        ::setenv("QT_QPA_PLATFORM", "offscreen", 1);
    }
    int result = 0;
    {
        QApplication app(argc, argv);
        QApplication::setQuitOnLastWindowClosed(false);
        ::testing::InitGoogleTest(&argc, argv);
        result = RUN_ALL_TESTS();
    }
    return result;
}
