#include <string>

#include <gtest/gtest.h>

#include "mail/engine/codec/Base64.h"
#include "mail/engine/codec/CramMd5.h"
#include "mail/engine/codec/HmacMd5.h"
#include "mail/engine/codec/Md5.h"
#include "mail/engine/codec/QuotedPrintable.h"

namespace orvex {
namespace {

std::string Hex(const Md5::Digest& d) {
    return ToHex(d.data(), d.size());
}

TEST(Md5, MatchesTheTestSuiteOfItsRfc) {
    const std::pair<std::string, std::string> kCases[] = {
        {"", "d41d8cd98f00b204e9800998ecf8427e"},
        {"a", "0cc175b9c0f1b6a831c399e269772661"},
        {"abc", "900150983cd24fb0d6963f7d28e17f72"},
        {"message digest", "f96b697d7cb7938d525a2f31aaf161d0"},
        {"abcdefghijklmnopqrstuvwxyz", "c3fcd3d76192e4007dfb496cca67e13b"},
        {"ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789",
         "d174ab98d277d9f5a5611c2c9f419d9f"},
        {"1234567890123456789012345678901234567890"
         "1234567890123456789012345678901234567890",
         "57edf4a22be3c955ac49da2e2107b67a"},
    };
    for (const auto& [input, digest] : kCases) {
        EXPECT_EQ(Hex(Md5Of(input)), digest) << input;
    }
}

TEST(Md5, GivesTheSameDigestWhateverThePiecesAcrossBlockEnds) {
    std::string data;
    for (int i = 0; i < 1000; ++i) {
        data += static_cast<char>(i * 7);
    }
    for (size_t piece : {1u, 55u, 56u, 63u, 64u, 65u, 999u}) {
        Md5 md5;
        for (size_t at = 0; at < data.size(); at += piece) {
            md5.Update(std::string_view(data).substr(at, piece));
        }
        EXPECT_EQ(Hex(md5.Final()), Hex(Md5Of(data))) << piece;
    }
}

TEST(HmacMd5, MatchesTheTestCasesOfRfc2202) {
    std::string key4;
    for (int i = 1; i <= 25; ++i) {
        key4 += static_cast<char>(i);
    }
    const struct {
        std::string key, data, mac;
    } kCases[] = {
        {std::string(16, '\x0b'), "Hi There", "9294727a3638bb1c13f48ef8158bfc9d"},
        {"Jefe", "what do ya want for nothing?", "750c783e6ab0b503eaa86e310a5db738"},
        {std::string(16, '\xaa'), std::string(50, '\xdd'), "56be34521d144c88dbb8c733f0e8b3f6"},
        {key4, std::string(50, '\xcd'), "697eaf0aca3a3aea3a75164746ffaa79"},
        {std::string(16, '\x0c'), "Test With Truncation", "56461ef2342edc00f9bab995690efd4c"},
        {std::string(80, '\xaa'), "Test Using Larger Than Block-Size Key - Hash Key First",
         "6b1ab7fe4bd7bf8f0b62e6ce61b9d0cd"},
        {std::string(80, '\xaa'),
         "Test Using Larger Than Block-Size Key and Larger Than One Block-Size Data",
         "6f630fad67cda0ee1fb1f562db3aa53e"},
    };
    for (const auto& c : kCases) {
        EXPECT_EQ(Hex(HmacMd5(c.key, c.data)), c.mac) << c.data;
    }
}

TEST(Base64, EncodesAndDecodesTheRfcVectors) {
    const std::pair<std::string, std::string> kCases[] = {
        {"", ""},
        {"f", "Zg=="},
        {"fo", "Zm8="},
        {"foo", "Zm9v"},
        {"foob", "Zm9vYg=="},
        {"fooba", "Zm9vYmE="},
        {"foobar", "Zm9vYmFy"},
        {std::string("\x00\xff\xfe", 3), "AP/+"},
    };
    for (const auto& [plain, encoded] : kCases) {
        EXPECT_EQ(Base64Encode(plain), encoded);
        EXPECT_EQ(Base64Decode(encoded), plain);
    }
    EXPECT_EQ(Base64Decode("Zm9v\r\nYmFy"), "foobar");
}

TEST(Base64, AttachmentLineTakesAtMost57BytesAndEndsWithCrLf) {
    unsigned char bytes[60];
    for (int i = 0; i < 60; ++i) {
        bytes[i] = static_cast<unsigned char>(i * 13);
    }
    std::string line;
    EXPECT_EQ(Base64EncodeLine(bytes, 57, line), 76u);
    EXPECT_EQ(line.size(), 78u);
    EXPECT_EQ(line.substr(76), "\r\n");
    EXPECT_EQ(Base64Decode(line), std::string(reinterpret_cast<char*>(bytes), 57));

    std::string shortLine;
    EXPECT_EQ(Base64EncodeLine(bytes, 4, shortLine), 8u);
    EXPECT_EQ(shortLine, Base64Encode(std::string(reinterpret_cast<char*>(bytes), 4)) + "\r\n");
    EXPECT_EQ(shortLine.substr(6, 2), "==");
}

TEST(CramMd5, AnswersTheExampleOfRfc2195) {
    std::string challenge =
        CramMd5Challenge("334 PDE4OTYuNjk3MTcwOTUyQHBvc3RvZmZpY2UucmVzdG9uLm1jaS5uZXQ+\r\n");
    EXPECT_EQ(challenge, "<1896.697170952@postoffice.reston.mci.net>");
    std::string response = CramMd5Response("tim", "tanstaaftanstaaf", challenge);
    EXPECT_EQ(response, "tim b913a602c7eda7a495b4e6e7334d3890");
    EXPECT_EQ(Base64Encode(response), "dGltIGI5MTNhNjAyYzdlZGE3YTQ5NWI0ZTZlNzMzNGQzODkw");
}

TEST(QuotedPrintable, PassesPrintableBytesAndEscapesTheRestInUpperHex) {
    std::string out;
    for (unsigned char c : std::string("a=\t\xe9~ ")) {
        AppendQuotedPrintable(c, out);
    }
    EXPECT_EQ(out, "a=3D=09=E9~ ");
}

}  // namespace
}  // namespace orvex
