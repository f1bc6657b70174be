#include <dlfcn.h>
#include <gtest/gtest.h>

#include <cstring>
#include <string>

#include "platform/SharedLibrary.h"

namespace orvex::test {
namespace {

TEST(SharedLibraryTest, KeptOnlyWhenItOpensWithEveryFunction) {
    struct Case {
        const char* library;
        const char* second;  // asked after "strlen"
        const char* why;     // empty: kept
    };
    const Case cases[] = {
        {"libc.so.6", "strchr", ""},
        {"libc.so.6", "no_such_function_here", "libc.so.6 has no no_such_function_here"},
        {"libno-such-library.so.9", "strchr", "cannot load libno-such-library.so.9: "},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.library + std::string(" ") + c.second);
        decltype(&::strlen) length = nullptr;
        const char* (*find)(const char*, int) = nullptr;
        SharedLibrary library(c.library);
        library.Find("strlen", length).Find(c.second, find);
        std::string why;
        void* handle = library.Finish(&why);
        if (*c.why == '\0') {
            ASSERT_NE(handle, nullptr) << why;
            EXPECT_EQ(length("four"), 4u);
            ::dlclose(handle);
        } else {
            EXPECT_EQ(handle, nullptr);
            EXPECT_EQ(why.rfind(c.why, 0), 0u) << why;
        }
    }
}

}  // namespace
}  // namespace orvex::test
