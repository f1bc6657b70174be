#include "page/TemplateExpansion.h"

#include <sys/stat.h>
#include <unistd.h>

#include <cctype>
#include <filesystem>
#include <set>

#include <gtest/gtest.h>

#include "ManualClock.h"
#include "RecordingHost.h"
#include "TempDir.h"

namespace orvex {
namespace {

using test::FileExists;
using test::LocalTimeOf;
using test::ReadFile;
using test::WriteFile;

class ExpandTemplateTest : public ::testing::Test {
protected:
    ExpandTemplateTest() : clock_(LocalTimeOf(2004, 4, 27, 13, 5, 9)) {
        values_.currentLanIp = "10.0.0.5";
        values_.currentWanIp = "203.0.113.7";
        values_.siteName = "My FTP Site";
        values_.connectionState = "Online";
        values_.statusIndicators = "ON/OFF";
        values_.workDir = dir_.Path();
    }

    // Expands `text` (written to "in.htm") into "Online.txt" and returns the output.
    std::string Expand(const std::string& text) {
        WriteFile(dir_.File("in.htm"), text);
        EXPECT_EQ(Run("in.htm", "Online.txt"), 1);
        return ReadFile(dir_.File("Online.txt"));
    }

    int Run(const std::string& in, const std::string& out) {
        return ExpandTemplate(in, out, values_, host_, clock_, [this](const std::string& title) {
            return openWindows_.count(title) > 0;
        });
    }

    void AddPrograms(int count) {
        for (int n = 0; n < count; ++n) {
            values_.programs.push_back(
                {n, "%P" + std::to_string(n), "Program " + std::to_string(n), ""});
        }
    }

    test::TempDir dir_;
    test::ManualClock clock_;
    test::RecordingHost host_;
    PageValues values_;
    std::set<std::string> openWindows_;
};

TEST_F(ExpandTemplateTest, AddressTokensAndTextWithoutTokens) {
    // "%WI" goes first, so neither its "%W" nor its "%I" is taken for another token.
    EXPECT_EQ(Expand("%I %WI"), "10.0.0.5 203.0.113.7");
    const std::string plain = "<p>100% sure</p>\r\n%\n%%x\r\nend";
    EXPECT_EQ(Expand(plain), plain);
    EXPECT_TRUE(host_.Events().empty());
}

TEST_F(ExpandTemplateTest, Ipv6TokensOnlyWhenEnabledAndBeforeTheIpv4Ones) {
    values_.currentWanIp6 = "2001:db8::7";
    values_.currentLanIp6 = "N/A";
    const std::string text = "%WI6|%I6|%WI|%I";
    EXPECT_EQ(Expand(text), "203.0.113.76|10.0.0.56|203.0.113.7|10.0.0.5");
    values_.ipv6Tokens = true;
    EXPECT_EQ(Expand(text), "2001:db8::7|N/A|203.0.113.7|10.0.0.5");
}

TEST_F(ExpandTemplateTest, LineTokensStartWithNAndLeaveOlderTokensAlone) {
    values_.natState = "carrier-grade NAT";
    values_.wanVia = "web";
    // Replaced first: a site name or state holding "%NAT" stays as it is.
    values_.siteName = "%NAT";
    EXPECT_EQ(Expand("%NAT via %NVIA: %WI %H %N %NA %NVI"),
              "carrier-grade NAT via web: 203.0.113.7 %NAT %N %NA %NVI");
}

TEST_F(ExpandTemplateTest, TimeTokensShowOneLocalInstant) {
    EXPECT_EQ(Expand("%24T|%T|%D|%W"), "13:05:09|1:05:09 PM|04/27/2004|Tuesday");

    const struct {
        int hour, minute, second;
        const char* twelveHour;
    } cases[] = {{0, 5, 9, "12:05:09 AM"},
                 {9, 5, 9, "9:05:09 AM"},
                 {12, 0, 0, "12:00:00 PM"},
                 {23, 59, 59, "11:59:59 PM"}};
    for (const auto& c : cases) {
        clock_.Set(LocalTimeOf(2004, 4, 27, c.hour, c.minute, c.second));
        EXPECT_EQ(Expand("%T"), c.twelveHour) << c.hour;
    }
    clock_.Set(LocalTimeOf(2005, 1, 1, 0, 0, 0));
    EXPECT_EQ(Expand("%D %W"), "01/01/2005 Saturday");
}

TEST_F(ExpandTemplateTest, LaterTokensSearchInsertedValues) {
    values_.siteName = "Site %S %I";
    // "%I" was replaced before the site name went in; "%S" comes after it.
    EXPECT_EQ(Expand("%H"), "Site Online %I");
    values_.connectionState = "";
    EXPECT_EQ(Expand("[%S]"), "[]");
}

TEST_F(ExpandTemplateTest, TemplateIsCutAt32000BytesAndAtNul) {
    std::string big(40000, 'a');
    big[31999] = 'z';
    std::string out = Expand(big);
    EXPECT_EQ(out.size(), 32000u);
    EXPECT_EQ(out.back(), 'z');
    EXPECT_EQ(Expand(std::string("head %I\0tail %I", 15)), "head 10.0.0.5");
}

TEST_F(ExpandTemplateTest, ProgramTokensTestWindowsNow) {
    AddPrograms(3);
    openWindows_ = {"Program 0", "Program 2"};
    values_.programs[1].status = "ON";  // the stored status is not what counts
    EXPECT_EQ(Expand("%P0 %P1 %P2 %P3"), "ON OFF ON %P3");

    values_.statusIndicators = "UP";
    EXPECT_EQ(Expand("[%P0] [%P1]"), "[] [UP]");
}

TEST_F(ExpandTemplateTest, TwoDigitTagsAreNotEatenByOneDigitTags) {
    AddPrograms(12);
    openWindows_ = {"Program 10"};
    values_.statusIndicators = "RUNNING/NOT RUNNING";
    EXPECT_EQ(Expand("%P10,%P11,%P1"), "RUNNING,NOT RUNNING,NOT RUNNING");
}

TEST_F(ExpandTemplateTest, ProgramAfterSkippedEntryKeepsItsHigherTag) {
    // Section entries "a", "" and "b": the list holds indices 0 and 2.
    values_.programs = {{0, "%P0", "a", ""}, {2, "%P2", "b", ""}};
    openWindows_ = {"b"};
    EXPECT_EQ(Expand("%P0 %P1 %P2"), "OFF OFF ON");
}

TEST_F(ExpandTemplateTest, ShippedSamplesReadWellWithNoProgramWatched) {
    for (const char* sample : {"online.htm", "offline.htm", "email.htm"}) {
        const std::string text = ReadFile(std::string(ORVEX_SOURCE_DIR) + "/samples/" + sample);
        ASSERT_FALSE(text.empty()) << sample;
        const std::string page = Expand(text);
        // A token left as it was would show as such: a "%" before a letter or a digit.
        for (size_t at = page.find('%'); at != std::string::npos; at = page.find('%', at + 1)) {
            const char next = at + 1 < page.size() ? page[at + 1] : ' ';
            EXPECT_FALSE(std::isalnum(static_cast<unsigned char>(next)))
                << sample << ": " << page.substr(at, 8);
        }
        EXPECT_NE(page.find("203.0.113.7"), std::string::npos) << sample;
    }
}

TEST_F(ExpandTemplateTest, WritesOutputAndBothLocalCopies) {
    values_.saveFileHtml = ".\\copies\\Orvex.html";
    values_.saveFileAscii = "Orvex.txt";
    std::filesystem::create_directory(dir_.File("copies"));
    WriteFile(dir_.File("Orvex.txt"), "old address, longer than the new one");

    EXPECT_EQ(Expand("<b>%WI</b>\r\n"), "<b>203.0.113.7</b>\r\n");
    EXPECT_EQ(ReadFile(dir_.File("copies/Orvex.html")), "<b>203.0.113.7</b>\r\n");
    EXPECT_EQ(ReadFile(dir_.File("Orvex.txt")), "203.0.113.7");

    values_.saveFileHtml.clear();
    values_.saveFileAscii.clear();
    std::filesystem::remove(dir_.File("Orvex.txt"));
    Expand("x");
    EXPECT_FALSE(FileExists(dir_.File("Orvex.txt")));
}

TEST_F(ExpandTemplateTest, MissingTemplateWritesNothingAndReportsTheFile) {
    values_.saveFileHtml = "Orvex.html";
    values_.saveFileAscii = "Orvex.txt";
    WriteFile(dir_.File("Online.txt"), "previous page");
    WriteFile(dir_.File("Orvex.html"), "previous copy");

    EXPECT_EQ(Run("samples\\missing.htm", "Online.txt"), -1);
    EXPECT_EQ(ReadFile(dir_.File("Online.txt")), "previous page");
    EXPECT_EQ(ReadFile(dir_.File("Orvex.html")), "previous copy");
    EXPECT_FALSE(FileExists(dir_.File("Orvex.txt")));
    ASSERT_EQ(host_.Statuses().size(), 1u);
    EXPECT_EQ(host_.Statuses()[0].rfind("P10007 ", 0), 0u);
    EXPECT_NE(host_.Statuses()[0].find("samples/missing.htm"), std::string::npos);
    EXPECT_TRUE(host_.MessageBoxTexts().empty());
}

TEST_F(ExpandTemplateTest, OutputThatCannotBeOpenedIsSkippedWithOrWithoutABox) {
    values_.saveFileHtml = "Orvex.html";
    WriteFile(dir_.File("in.htm"), "%I");

    EXPECT_EQ(Run("in.htm", "no-such-folder/Online.txt"), 1);
    EXPECT_EQ(ReadFile(dir_.File("Orvex.html")), "10.0.0.5");
    ASSERT_EQ(host_.MessageBoxTexts().size(), 1u);
    EXPECT_NE(host_.MessageBoxTexts()[0].find("no-such-folder/Online.txt"), std::string::npos);

    values_.suppressError = true;
    std::filesystem::remove(dir_.File("Orvex.html"));
    EXPECT_EQ(Run("in.htm", "no-such-folder/Online.txt"), 1);
    EXPECT_EQ(ReadFile(dir_.File("Orvex.html")), "10.0.0.5");
    EXPECT_EQ(host_.MessageBoxTexts().size(), 1u);
}

TEST_F(ExpandTemplateTest, FailingWriteStopsWritingAndAlwaysShowsTheDiskError) {
    values_.suppressError = true;
    values_.saveFileHtml = "/dev/full";
    values_.saveFileAscii = "Orvex.txt";
    WriteFile(dir_.File("in.htm"), "%I");

    EXPECT_EQ(Run("in.htm", "Online.txt"), 1);
    EXPECT_EQ(ReadFile(dir_.File("Online.txt")), "10.0.0.5");
    EXPECT_FALSE(FileExists(dir_.File("Orvex.txt")));
    auto events = host_.Events();
    ASSERT_EQ(events.size(), 1u);
    EXPECT_EQ(events[0].box.text, kDiskWriteErrorText);
    EXPECT_EQ(events[0].box.icon, MsgIcon::Error);
}

// The local copies are the user's files: a link into a web root keeps feeding it, a read-only
// copy is skipped with its box, and neither failure spoils the page that is published.
TEST_F(ExpandTemplateTest, LocalCopiesAreWrittenTheWayTheUserSetThemUp) {
    ASSERT_TRUE(std::filesystem::create_directory(dir_.File("webroot")));
    WriteFile(dir_.File("webroot/index.html"), "old page");
    ASSERT_EQ(::symlink("webroot/index.html", dir_.File("Orvex.html").c_str()), 0);
    WriteFile(dir_.File("Orvex.txt"), "192.0.2.1");
    ASSERT_EQ(::chmod(dir_.File("Orvex.txt").c_str(), 0444), 0);
    values_.saveFileHtml = "Orvex.html";
    values_.saveFileAscii = "Orvex.txt";
    WriteFile(dir_.File("in.htm"), "%I");

    std::string outputError = "not cleared";
    EXPECT_EQ(ExpandTemplate("in.htm", "Online.txt", values_, host_, clock_, FindProgramWindow,
                             &outputError),
              1);
    EXPECT_EQ(outputError, "");
    EXPECT_EQ(ReadFile(dir_.File("Online.txt")), "10.0.0.5");
    EXPECT_EQ(ReadFile(dir_.File("webroot/index.html")), "10.0.0.5");
    EXPECT_TRUE(std::filesystem::is_symlink(dir_.File("Orvex.html")));
    EXPECT_EQ(ReadFile(dir_.File("Orvex.txt")), "192.0.2.1");
    EXPECT_EQ(host_.MessageBoxTexts(),
              std::vector<std::string>{"Access to " + dir_.File("Orvex.txt") + " was denied."});

    // A copy whose write fails is reported, but the output was written whole.
    values_.saveFileHtml = "/dev/full";
    EXPECT_EQ(ExpandTemplate("in.htm", "Online.txt", values_, host_, clock_, FindProgramWindow,
                             &outputError),
              1);
    EXPECT_EQ(outputError, "");
    EXPECT_EQ(host_.MessageBoxTexts().back(), kDiskWriteErrorText);
}

}  // namespace
}  // namespace orvex
