// Every settings key has one home: only src/settings/ names a key, a section, or reads and writes
// the file by name. This scans the sources, so a key named anywhere else fails the build's tests.

#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <regex>
#include <sstream>
#include <string>
#include <vector>

#include "TempDir.h"
#include "settings/SettingsFile.h"

namespace orvex {
namespace {

namespace fs = std::filesystem;

struct Literal {
    int line;
    std::string text;
};

// The source without its comments (line breaks kept), and its string literals.
struct Scanned {
    std::string code;
    std::vector<Literal> literals;
};

Scanned Scan(const std::string& source) {
    Scanned out;
    int line = 1;
    for (size_t i = 0; i < source.size(); ++i) {
        const char c = source[i];
        if (c == '\n') {
            ++line;
        }
        if (c == '/' && i + 1 < source.size() && source[i + 1] == '/') {
            while (i < source.size() && source[i] != '\n') {
                ++i;
            }
            --i;
            continue;
        }
        if (c == '/' && i + 1 < source.size() && source[i + 1] == '*') {
            const size_t end = source.find("*/", i + 2);
            for (size_t j = i; j < std::min(end, source.size()); ++j) {
                if (source[j] == '\n') {
                    ++line;
                    out.code += '\n';
                }
            }
            i = end == std::string::npos ? source.size() : end + 1;
            continue;
        }
        out.code += c;
        if (c == '"' || c == '\'') {
            std::string text;
            size_t j = i + 1;
            for (; j < source.size() && source[j] != c && source[j] != '\n'; ++j) {
                if (source[j] == '\\' && j + 1 < source.size()) {
                    text += source[j++];
                }
                text += source[j];
            }
            out.code += text;
            if (j < source.size()) {
                out.code += source[j];
            }
            if (c == '"') {
                out.literals.push_back({line, text});
            }
            i = j;
        }
    }
    return out;
}

TEST(KeyHome, NoKeyNamedOutsideTheSettingsFolder) {
    const fs::path src = fs::path(ORVEX_SOURCE_DIR) / "src";
    const std::vector<std::string> names = SettingsFileNames();
    ASSERT_GT(names.size(), 50u);
    // A read or a write of the file that names what it touches.
    const std::regex namedAccess(
        R"(\b(GetString|GetInt|WriteString|WriteInt|GetSection|WriteSection|EraseSection)\s*\(\s*")");
    const std::regex sectionConstant(R"(\bkSection(Local|Preferences|Address)\b)");

    std::vector<std::string> faults;
    size_t files = 0;
    for (const auto& entry : fs::recursive_directory_iterator(src)) {
        const fs::path& path = entry.path();
        const std::string relative = fs::relative(path, src).generic_string();
        if (!entry.is_regular_file() || relative.rfind("settings/", 0) == 0 ||
            (path.extension() != ".cpp" && path.extension() != ".h")) {
            continue;
        }
        ++files;
        std::ifstream in(path, std::ios::binary);
        std::stringstream text;
        text << in.rdbuf();
        const Scanned scanned = Scan(text.str());
        // Widgets are named and labelled after the field they edit; the core has no such texts.
        const bool shell = relative.rfind("ui/", 0) == 0 || relative == "main.cpp";
        if (!shell) {
            for (const Literal& literal : scanned.literals) {
                if (std::find(names.begin(), names.end(), literal.text) != names.end()) {
                    faults.push_back(relative + ":" + std::to_string(literal.line) + " names \"" +
                                     literal.text + "\"");
                }
            }
        }
        std::istringstream lines(scanned.code);
        std::string line;
        for (int n = 1; std::getline(lines, line); ++n) {
            if (std::regex_search(line, namedAccess) || std::regex_search(line, sectionConstant)) {
                faults.push_back(relative + ":" + std::to_string(n) + " reaches the file by name");
            }
        }
    }
    EXPECT_GT(files, 50u);
    for (const std::string& fault : faults) {
        ADD_FAILURE() << fault << "; give the key a typed function in src/settings/";
    }
}

// The scanner itself: names in comments do not count, names in literals do.
TEST(KeyHome, ScannerSeesLiteralsNotComments) {
    const Scanned s = Scan(
        "// \"Port\" here is a comment\nint x = f(\"Port\"); /* \"Timeout\"\n */ g('\"');\n"
        "h(\"a\\\"b\");\n");
    ASSERT_EQ(s.literals.size(), 2u);
    EXPECT_EQ(s.literals[0].line, 2);
    EXPECT_EQ(s.literals[0].text, "Port");
    EXPECT_EQ(s.literals[1].line, 4);
    EXPECT_EQ(s.code.find("Timeout"), std::string::npos);
}

// The typed functions write where the loader reads: what the SMTP dialog stores is what the next
// load sees, the password scrambled in the file only.
TEST(KeyHome, TypedFunctionsMeetTheLoader) {
    test::TempDir dir;
    Profile ini(dir.File("Orvex.ini"));
    const std::string key = PasswordKey("TESTBOX");
    ASSERT_TRUE(WriteDefaultSettings(ini, key));
    WriteMailCredentials(ini, key, {"me@home", "s3cret"});
    ini.WriteString("Preferences", "DebugWANPage", "TRUE");

    EXPECT_EQ(ini.GetString("Preferences", "EmailAccount", ""), "me@home");
    EXPECT_NE(ini.GetString("Preferences", "EmailPassword", ""), "s3cret");
    const MailCredentials back = ReadMailCredentials(ini, key);
    EXPECT_EQ(back.account, "me@home");
    EXPECT_EQ(back.password, "s3cret");

    AppSettings settings;
    FtpPageRecord page;
    bool defaultLookup = false;
    ASSERT_TRUE(LoadSettings(ini, key, settings, page, defaultLookup));
    EXPECT_EQ(settings.EmailPassword, "s3cret");
    EXPECT_EQ(ReadLiveLookupKeys(ini).DebugWANPage, "TRUE");
    EXPECT_EQ(ReadLiveLookupKeys(ini).WANIPURL, "");

    // Addresses come back through a 21-byte buffer.
    WriteLastAddress(ini, AddressKind::Wan, "2001:db8:0:0:0:0:0:1234");
    WriteLastAddress(ini, AddressKind::Lan, "192.168.1.2");
    EXPECT_EQ(ReadLastAddress(ini, AddressKind::Wan), "2001:db8:0:0:0:0:0:1");
    EXPECT_EQ(ReadLastAddress(ini, AddressKind::Lan), "192.168.1.2");

    // No entries remove the section rather than leave an empty header.
    ASSERT_TRUE(WriteProgramTitles(ini, {"editor", "mail"}));
    EXPECT_EQ(ReadProgramEntries(ini, 100),
              (std::vector<std::string>{"Programs0=editor", "Programs1=mail"}));
    ASSERT_TRUE(WriteProgramTitles(ini, {}));
    EXPECT_EQ(test::ReadFile(dir.File("Orvex.ini")).find("[Programs]"), std::string::npos);
}

}  // namespace
}  // namespace orvex
