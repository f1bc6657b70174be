#include "platform/PathMap.h"

#include <gtest/gtest.h>

namespace orvex {
namespace {

TEST(PathMap, BackslashesBecomeSlashesAndRelativePathsResolveAgainstWorkDir) {
    EXPECT_EQ(MapPath("/home/u/run", ".\\samples\\online.htm"), "/home/u/run/./samples/online.htm");
    EXPECT_EQ(MapPath("/home/u/run", "Orvex.log"), "/home/u/run/Orvex.log");
    EXPECT_EQ(MapPath("/home/u/run/", "a\\b.txt"), "/home/u/run/a/b.txt");
    EXPECT_EQ(MapPath("/home/u/run", "/var/www/index.html"), "/var/www/index.html");
    EXPECT_EQ(MapPath("/home/u/run", "\\var\\x.htm"), "/var/x.htm");
    EXPECT_EQ(MapPath("", "x.htm"), "x.htm");
}

}  // namespace
}  // namespace orvex
