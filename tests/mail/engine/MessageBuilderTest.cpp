#include <cstdlib>
#include <ctime>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "TempDir.h"
#include "mail/engine/MessageBuilder.h"

namespace orvex {
namespace {

std::vector<std::string> Lines(const std::string& body, int mode = 0, bool passAll = false) {
    BodyReader reader;
    reader.FromText(body);
    BodyLineRules rules;
    rules.contentMode = mode;
    rules.passAllBytes = passAll;
    std::vector<std::string> lines;
    std::string line;
    while (GetMsgLine(reader, rules, line) >= 0) {
        lines.push_back(line);
        if (lines.size() > 10000) {
            break;
        }
    }
    return lines;
}

TEST(BodyLines, PlainTextBreaksAt78OrAfterABlankFrom61) {
    std::vector<std::string> hard = Lines(std::string(100, 'x'));
    ASSERT_EQ(hard.size(), 2u);
    EXPECT_EQ(hard[0], std::string(78, 'x'));
    EXPECT_EQ(hard[1], std::string(22, 'x'));

    // The blank that brings the line to 61 ends it and stays at its end; nothing is lost.
    std::string text = std::string(60, 'a') + " " + std::string(30, 'b');
    std::vector<std::string> soft = Lines(text);
    ASSERT_EQ(soft.size(), 2u);
    EXPECT_EQ(soft[0], std::string(60, 'a') + " ");
    EXPECT_EQ(soft[1], std::string(30, 'b'));

    // A blank before 61 does not break.
    std::vector<std::string> early = Lines(std::string(10, 'a') + " " + std::string(20, 'b'));
    EXPECT_EQ(early.size(), 1u);
}

TEST(BodyLines, LineEndsAndOtherBytesFollowTheBodyRules) {
    EXPECT_EQ(Lines("one\r\ntwo\n\nfour"), (std::vector<std::string>{"one", "two", "", "four"}));
    EXPECT_EQ(Lines("caf\xe9\tbar"), (std::vector<std::string>{"caf~~bar"}));
    EXPECT_EQ(Lines("caf\xe9\tbar", 0, true), (std::vector<std::string>{"caf\xe9\tbar"}));
    EXPECT_EQ(Lines("caf\xe9", 2), (std::vector<std::string>{"caf~"}));
    EXPECT_TRUE(Lines("").empty());
    // A NUL ends the body for good.
    EXPECT_EQ(Lines(std::string("a\nb\0c\nd", 7)), (std::vector<std::string>{"a", "b"}));
    // A CR after the last LF was read, so it makes a last, empty line, in either encoding.
    EXPECT_EQ(Lines("a\n\r"), (std::vector<std::string>{"a", ""}));
    EXPECT_EQ(Lines("a\xe9\n\r", 1), (std::vector<std::string>{"a=E9", ""}));
    EXPECT_EQ(Lines("a\xe9\r\n", 1), (std::vector<std::string>{"a=E9"}));
}

TEST(BodyLines, ALeadingDotIsDoubled) {
    EXPECT_EQ(Lines(".x\n.\nx.\n"), (std::vector<std::string>{"..x", "..", "x."}));
    EXPECT_EQ(Lines(".x", 2), (std::vector<std::string>{"..x"}));
}

TEST(BodyLines, HtmlLinesStayWholeUpToTheSmtpLimitAndBreakBelowIt) {
    EXPECT_EQ(Lines(std::string(300, 'h'), 2), (std::vector<std::string>{std::string(300, 'h')}));

    // No blank: broken at the limit.
    std::vector<std::string> solid = Lines(std::string(2000, 'h'), 2);
    ASSERT_EQ(solid.size(), 3u);
    EXPECT_EQ(solid[0].size(), kMaxSmtpLine);
    EXPECT_EQ(solid[0].size() + solid[1].size() + solid[2].size(), 2000u);

    // With blanks: broken after the last blank before the limit; the words survive intact.
    std::string words;
    while (words.size() < 2000) {
        words += "<td>cell</td> ";
    }
    std::vector<std::string> broken = Lines(words, 2);
    std::string joined;
    for (const std::string& line : broken) {
        EXPECT_LE(line.size(), kMaxSmtpLine);
        EXPECT_EQ(line.back(), ' ');
        joined += line;
    }
    EXPECT_EQ(joined, words);

    // A dot-stuffed line still fits.
    std::vector<std::string> dotted = Lines("." + std::string(1500, 'h'), 2);
    EXPECT_LE(dotted[0].size(), kMaxSmtpLine);
    EXPECT_EQ(dotted[0].substr(0, 2), "..");
}

TEST(BodyLines, QuotedPrintableEscapesAndBreaksSoftly) {
    std::vector<std::string> lines = Lines("a=b\xe9\n" + std::string(100, 'q'), 1);
    ASSERT_EQ(lines.size(), 3u);
    EXPECT_EQ(lines[0], "a=3Db=E9");
    EXPECT_EQ(lines[1], std::string(77, 'q') + "=");
    EXPECT_EQ(lines[2], std::string(23, 'q'));
}

TEST(BodyReader, StreamsAFileLargerThanItsBufferWithoutLosingBytes) {
    test::TempDir dir;
    std::string body;
    for (int i = 0; i < 500; ++i) {
        body += "line " + std::to_string(i) + "\n";
    }
    test::WriteFile(dir.File("body.txt"), body);
    BodyReader reader;
    ASSERT_TRUE(reader.FromFile(dir.File("body.txt")));
    std::string line;
    BodyLineRules rules;
    for (int i = 0; i < 500; ++i) {
        ASSERT_GE(GetMsgLine(reader, rules, line), 0);
        ASSERT_EQ(line, "line " + std::to_string(i));
    }
    EXPECT_EQ(GetMsgLine(reader, rules, line), -1);
    EXPECT_FALSE(reader.FromFile(dir.File("missing.txt")));
}

TEST(DateLine, WritesTheLocalTimeAndItsZone) {
    std::tm t{};
    t.tm_year = 2026 - 1900;
    t.tm_mon = 11;
    t.tm_mday = 6;
    t.tm_wday = 0;
    t.tm_hour = 5;
    t.tm_min = 7;
    t.tm_sec = 9;
    t.tm_gmtoff = 3600;
    EXPECT_EQ(FormatDateLine(t), "Date: Sun, 6 Dec 2026 5:07:09 +0100");
    t.tm_gmtoff = 5 * 3600 + 30 * 60;  // no daylight time
    EXPECT_EQ(FormatDateLine(t), "Date: Sun, 6 Dec 2026 5:07:09 +0530");
    t.tm_gmtoff = -4 * 3600;  // five hours west, daylight time in force
    t.tm_isdst = 1;
    EXPECT_EQ(FormatDateLine(t), "Date: Sun, 6 Dec 2026 5:07:09 -0400");
    t.tm_gmtoff = -(3 * 3600 + 30 * 60);
    EXPECT_EQ(FormatDateLine(t), "Date: Sun, 6 Dec 2026 5:07:09 -0330");
}

TEST(DateLine, FollowsTheProcessTimeZoneThroughLocalTime) {
    // This unit-test program is single-threaded here, so switching TZ is safe.
    std::string saved = std::getenv("TZ") ? std::getenv("TZ") : "";
    auto lineIn = [](const char* zone, std::time_t when) {
        ::setenv("TZ", zone, 1);
        ::tzset();
        std::tm local{};
        ::localtime_r(&when, &local);
        return FormatDateLine(local);
    };
    const std::time_t summer = 1783000000;  // 2026-07-02 13:46:40 UTC
    EXPECT_EQ(lineIn("America/New_York", summer), "Date: Thu, 2 Jul 2026 9:46:40 -0400");
    EXPECT_EQ(lineIn("Asia/Kolkata", summer), "Date: Thu, 2 Jul 2026 19:16:40 +0530");
    if (saved.empty()) {
        ::unsetenv("TZ");
    } else {
        ::setenv("TZ", saved.c_str(), 1);
    }
    ::tzset();
}

TEST(Attachments, NamesTypesAndHeaders) {
    AttachmentEntry photo = DescribeAttachment("C:\\pics\\PHOTO.JPG", '|', true);
    EXPECT_EQ(photo.path, "C:\\pics\\PHOTO.JPG");
    EXPECT_EQ(photo.name, "PHOTO.JPG");
    EXPECT_EQ(photo.imageType, "Image/JPEG");
    EXPECT_EQ(AttachmentHeader(photo, 2, false, false),
              "Content-Type: Image/JPEG; name=\"PHOTO.JPG\"\r\n"
              "Content-ID: <message-root.2>\r\n"
              "Content-Transfer-Encoding: base64\r\n"
              "Content-Disposition: inline; filename=\"PHOTO.JPG\"\r\n\r\n");

    AttachmentEntry renamed = DescribeAttachment("C:\\out\\a.bin|report.txt", '|', true);
    EXPECT_EQ(renamed.path, "C:\\out\\a.bin");
    EXPECT_EQ(renamed.name, "report.txt");
    EXPECT_EQ(AttachmentHeader(renamed, 0, false, false),
              "Content-Type: application/octet-stream; name=\"report.txt\"\r\n"
              "Content-Transfer-Encoding: base64\r\n"
              "Content-Disposition: attachment; filename=\"report.txt\"\r\n\r\n");
    EXPECT_EQ(AttachmentHeader(renamed, 0, true, false),
              "Content-Type: text/plain\r\n"
              "Content-Transfer-Encoding: 7bit\r\n"
              "Content-Disposition: inline; filename=\"report.txt\"\r\n\r\n");

    EXPECT_EQ(DescribeAttachment("d:x.gif", '|', true).imageType, "Image/GIF");
    EXPECT_EQ(DescribeAttachment("d:x.gif", '|', true).name, "x.gif");
    EXPECT_EQ(DescribeAttachment("scan.Tif", '|', true).imageType, "Image/TIFF");
    EXPECT_EQ(DescribeAttachment("a.bmp", '|', true).imageType, "Image/BMP");
    EXPECT_EQ(DescribeAttachment(".jpg", '|', true).imageType, "");  // name not over 4
    EXPECT_EQ(DescribeAttachment("a.jpg", '|', false).imageType, "");
    EXPECT_EQ(DescribeAttachment("./out/page.htm", '|', true).name, "page.htm");
}

}  // namespace
}  // namespace orvex
