#include "ui/KeyringStore.h"

#include <stdlib.h>

#include <fstream>
#include <string>

#include <gtest/gtest.h>

#include "TempDir.h"

namespace orvex::test {
namespace {

bool Mapped(const std::string& library) {
    std::ifstream maps("/proc/self/maps");
    std::string line;
    while (std::getline(maps, line)) {
        if (line.find(library) != std::string::npos) {
            return true;
        }
    }
    return false;
}

// Without a session bus no keyring can answer: nothing is asked and libsecret (with the
// libraries it brings) is never loaded.
TEST(KeyringStoreTest, WithoutASessionBusNothingIsAskedNorLoaded) {
    TempDir runtime;
    const char* bus = std::getenv("DBUS_SESSION_BUS_ADDRESS");
    const char* dir = std::getenv("XDG_RUNTIME_DIR");
    const std::string busWas = bus != nullptr ? bus : "";
    const std::string dirWas = dir != nullptr ? dir : "";
    ::unsetenv("DBUS_SESSION_BUS_ADDRESS");
    ::setenv("XDG_RUNTIME_DIR", runtime.Path().c_str(), 1);
    KeyringStore keyring;
    EXPECT_EQ(keyring.Lookup("/home/u/Orvex.ini", "FTPPassword"), std::nullopt);
    EXPECT_FALSE(keyring.Store("/home/u/Orvex.ini", "FTPPassword", "secret"));
    EXPECT_FALSE(Mapped("libsecret"));
    if (bus != nullptr) {
        ::setenv("DBUS_SESSION_BUS_ADDRESS", busWas.c_str(), 1);
    }
    if (dir != nullptr) {
        ::setenv("XDG_RUNTIME_DIR", dirWas.c_str(), 1);
    } else {
        ::unsetenv("XDG_RUNTIME_DIR");
    }
}

}  // namespace
}  // namespace orvex::test
