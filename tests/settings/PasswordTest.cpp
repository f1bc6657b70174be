#include <gtest/gtest.h>

#include "settings/SettingsFile.h"

namespace orvex {
namespace {

TEST(Password, KeyIsTwoNameCharactersAndTheConstant) {
    const std::string key = PasswordKey("WORKSTATION");
    ASSERT_EQ(key.size(), 9u);
    EXPECT_EQ(key.substr(0, 2), "WO");
    EXPECT_EQ(PasswordKey("X").size(), 8u);
    EXPECT_EQ(PasswordKey("").size(), 7u);
    EXPECT_EQ(PasswordKey("ABCD").substr(2), PasswordKey("ZZ").substr(2));
}

TEST(Password, EachByteIsTextPlusKeyPlusOneModulo256AndDecodesBack) {
    const std::string key = "ABc";
    std::string text = "kvtrnw";
    EncodePassword(text, key);
    ASSERT_EQ(text.size(), 6u);
    const std::string plain = "kvtrnw";
    for (size_t i = 0; i < plain.size(); ++i) {
        unsigned expected = (static_cast<unsigned char>(plain[i]) +
                             static_cast<unsigned char>(key[i % key.size()]) + 1) %
                            256;
        EXPECT_EQ(static_cast<unsigned char>(text[i]), expected) << i;
    }
    DecodePassword(text, key);
    EXPECT_EQ(text, "kvtrnw");
}

TEST(Password, PrintableTextAndKeyGiveBytesBetween65And253) {
    std::string all;
    for (int c = 32; c <= 126; ++c) {
        all.push_back(static_cast<char>(c));
    }
    for (size_t start = 0; start < all.size(); start += 24) {
        std::string text = all.substr(start, 24);
        std::string original = text;
        EncodePassword(text, "~~" + std::string("~~~~~~~"));
        for (char c : text) {
            EXPECT_GE(static_cast<unsigned char>(c), 65);
            EXPECT_LE(static_cast<unsigned char>(c), 253);
        }
        DecodePassword(text, "~~~~~~~~~");
        EXPECT_EQ(text, original);
    }
}

TEST(Password, OtherComputerDecodesToOtherCharacters) {
    std::string text = "secret";
    EncodePassword(text, PasswordKey("HOMEPC"));
    DecodePassword(text, PasswordKey("WORKPC"));
    EXPECT_NE(text, "secret");
}

TEST(Password, EmptyKeyEmptiesZeroByteEndsAndLengthIsCapped) {
    std::string text = "abc";
    EncodePassword(text, "");
    EXPECT_EQ(text, "");

    // 'a' (97) + key 158 + 1 = 256 -> 0: the result ends there.
    std::string wraps = "xa";
    EncodePassword(wraps, std::string(1, static_cast<char>(158)));
    EXPECT_EQ(wraps.size(), 1u);

    std::string longer(30, 'p');
    EncodePassword(longer, "key");
    EXPECT_EQ(longer.size(), kMaxPasswordLength);
}

}  // namespace
}  // namespace orvex
