// The layers hold: every #include under src/ that reaches into another folder follows an arrow
// of the table "Allowed includes" in docs/ARCHITECTURE.md, which this reads, so the page and the
// check are one table. A new arrow is a line there, written where a reviewer sees it.

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <map>
#include <regex>
#include <set>
#include <sstream>
#include <string>
#include <vector>

namespace orvex {
namespace {

namespace fs = std::filesystem;

const fs::path kSource = fs::path(ORVEX_SOURCE_DIR) / "src";

std::string ReadAll(const fs::path& path) {
    std::ifstream in(path);
    std::stringstream text;
    text << in.rdbuf();
    return text.str();
}

// Folder -> the folders it may include, from the page's table: rows "| `a` | `b`, `c` |" (or
// "—" for none) under the heading that names it, up to the first line that is no row.
std::map<std::string, std::set<std::string>> AllowedArrows(const std::string& page) {
    std::map<std::string, std::set<std::string>> allowed;
    const size_t heading = page.find("### Allowed includes");
    if (heading == std::string::npos) {
        return allowed;
    }
    std::istringstream lines(page.substr(heading));
    std::string line;
    std::getline(lines, line);
    const std::regex name("`([^`]+)`");
    bool inTable = false;
    while (std::getline(lines, line)) {
        if (line.rfind("|", 0) != 0) {
            if (inTable) {
                break;
            }
            continue;
        }
        inTable = true;
        const size_t split = line.find('|', 1);
        const std::string from = line.substr(1, split - 1);
        const std::string to = line.substr(split + 1);
        std::smatch folder;
        if (!std::regex_search(from, folder, name)) {
            continue;  // the header and its rule
        }
        std::set<std::string>& targets = allowed[folder[1]];
        for (std::sregex_iterator it(to.begin(), to.end(), name), end; it != end; ++it) {
            targets.insert((*it)[1]);
        }
    }
    return allowed;
}

// The folder a source file belongs to: its first folder under src/, or its own name there.
std::string FolderOf(const fs::path& file) {
    return *fs::relative(file, kSource).begin();
}

TEST(LayersTest, EveryIncludeFollowsAnAllowedArrow) {
    const auto allowed =
        AllowedArrows(ReadAll(fs::path(ORVEX_SOURCE_DIR) / "docs/ARCHITECTURE.md"));
    ASSERT_FALSE(allowed.empty()) << "no table \"Allowed includes\" in docs/ARCHITECTURE.md";
    std::set<std::string> folders;
    for (const auto& entry : fs::directory_iterator(kSource)) {
        if (entry.is_directory() || entry.path().extension() == ".cpp") {
            folders.insert(entry.path().filename().string());
        }
    }
    const std::regex include(R"(^\s*#\s*include\s*"([^"/]+)/)");
    std::vector<std::string> wrong;
    for (const auto& entry : fs::recursive_directory_iterator(kSource)) {
        const std::string ext = entry.path().extension().string();
        if (!entry.is_regular_file() || (ext != ".cpp" && ext != ".h")) {
            continue;
        }
        const std::string from = FolderOf(entry.path());
        if (!allowed.count(from)) {
            wrong.push_back(from + " has no row in the table");
            continue;
        }
        std::istringstream lines(ReadAll(entry.path()));
        std::string line;
        int number = 0;
        while (std::getline(lines, line)) {
            ++number;
            std::smatch match;
            if (!std::regex_search(line, match, include)) {
                continue;
            }
            const std::string to = match[1];
            if (to != from && folders.count(to) && !allowed.at(from).count(to)) {
                wrong.push_back(fs::relative(entry.path(), kSource).string() + ":" +
                                std::to_string(number) + ": " + from + " -> " + to);
            }
        }
    }
    for (const std::string& folder : folders) {
        if (!allowed.count(folder)) {
            wrong.push_back(folder + " has no row in the table");
        }
    }
    EXPECT_TRUE(wrong.empty()) << "arrows not in the table:\n  " << [&] {
        std::string all;
        for (const std::string& w : wrong) {
            all += w + "\n  ";
        }
        return all;
    }();
}

}  // namespace
}  // namespace orvex
