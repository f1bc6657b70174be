#pragma once

#include <gtest/gtest.h>

#include "TestDesktop.h"

namespace orvex::test {

// The private desktop of this test program; null while tests are only listed.
extern TestDesktop* g_desktop;

}  // namespace orvex::test

// Skips the test, saying why, when the private desktop could not be started.
#define REQUIRE_DESKTOP()                                                                 \
    do {                                                                                  \
        if (::orvex::test::g_desktop == nullptr || !::orvex::test::g_desktop->Ready()) {  \
            GTEST_SKIP() << "needs Xvfb, openbox and trayer: "                            \
                         << (::orvex::test::g_desktop ? ::orvex::test::g_desktop->Error() \
                                                      : std::string("no desktop"));       \
        }                                                                                 \
    } while (false)
