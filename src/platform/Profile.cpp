#include "platform/Profile.h"

#include <sys/stat.h>

#include <algorithm>
#include <fstream>
#include <mutex>
#include <sstream>

#include "platform/FileIo.h"
#include "platform/TextUtil.h"

namespace orvex {

namespace {

std::mutex& ProfileMutex() {
    static std::mutex mutex;
    return mutex;
}

struct Line {
    std::string text;         // without its line end
    const char* ending = "";  // "\r\n", "\n" or "" (last line without one)
};

std::vector<Line> ReadLines(const std::string& path, bool* exists) {
    std::vector<Line> lines;
    std::ifstream in(path, std::ios::binary);
    *exists = static_cast<bool>(in);
    if (!in) {
        return lines;
    }
    std::stringstream buffer;
    buffer << in.rdbuf();
    const std::string data = buffer.str();
    size_t start = 0;
    while (start < data.size()) {
        size_t nl = data.find('\n', start);
        Line line;
        if (nl == std::string::npos) {
            line.text = data.substr(start);
            start = data.size();
        } else {
            line.text = data.substr(start, nl - start);
            line.ending = "\n";
            start = nl + 1;
        }
        // A CR belongs to the line end only before an LF; a lone CR is part of the text, so a
        // line appended after it never runs into it.
        if (*line.ending == '\n' && !line.text.empty() && line.text.back() == '\r') {
            line.text.pop_back();
            line.ending = "\r\n";
        }
        lines.push_back(std::move(line));
    }
    return lines;
}

// The line end new lines get: the one the file already uses, CR LF for a new file.
const char* PreferredEnding(const std::vector<Line>& lines) {
    for (const Line& line : lines) {
        if (*line.ending != '\0') {
            return line.ending;
        }
    }
    return "\r\n";
}

bool WriteLines(const std::string& path, const std::vector<Line>& lines) {
    std::string data;
    for (const Line& line : lines) {
        data += line.text;
        data += line.ending;
    }
    ReplaceOptions options;
    // It holds scrambled passwords: private after every write, however it was made.
    options.forcedMode = 0600;
    options.durable = true;
    return ReplaceFile(path, data, options) == ReplaceResult::kOk;
}

// A write that changes no byte still leaves the file private; a read-only file stays as it is.
bool KeepPrivate(const std::string& path) {
    struct stat st {};
    if (::stat(path.c_str(), &st) == 0 && S_ISREG(st.st_mode) && (st.st_mode & S_IWUSR) != 0 &&
        (st.st_mode & 07777) != 0600) {
        ::chmod(path.c_str(), 0600);
    }
    return true;
}

// The section name of a "[name]" line, trimmed; false when the line is no section header.
bool SectionHeader(const std::string& text, std::string* name) {
    std::string t = TrimBlanks(text);
    if (t.size() < 2 || t.front() != '[') {
        return false;
    }
    size_t close = t.find(']');
    if (close == std::string::npos) {
        return false;
    }
    *name = TrimBlanks(t.substr(1, close - 1));
    return true;
}

// Splits a "key=value" line; false for lines without "=" or comment lines.
bool KeyLine(const std::string& text, std::string* key, std::string* value) {
    std::string t = TrimBlanks(text);
    if (t.empty() || t.front() == ';') {
        return false;
    }
    size_t eq = t.find('=');
    if (eq == std::string::npos) {
        return false;
    }
    *key = TrimBlanks(t.substr(0, eq));
    *value = TrimBlanks(t.substr(eq + 1));
    return true;
}

// [begin, end) line range of the section's body; begin is the header line's index.
bool FindSection(const std::vector<Line>& lines, const std::string& section, size_t* header,
                 size_t* end) {
    for (size_t i = 0; i < lines.size(); ++i) {
        std::string name;
        if (SectionHeader(lines[i].text, &name) && EqualsNoCase(name, section)) {
            *header = i;
            size_t j = i + 1;
            while (j < lines.size() && !SectionHeader(lines[j].text, &name)) {
                ++j;
            }
            *end = j;
            return true;
        }
    }
    return false;
}

// Gives a line without a line end (the file's last) `ending`. A CR closing its text must stay
// text: an LF right after it would turn it into part of a CR LF line end.
void EndLine(Line& line, const char* ending) {
    if (line.ending[0] == '\0') {
        line.ending = !line.text.empty() && line.text.back() == '\r' ? "\r\n" : ending;
    }
}

// A value is one line of the file: a line break in it would start a line of its own (another
// key, another section), so the value ends before it.
std::string OneLine(const std::string& value) {
    return value.substr(0, value.find_first_of("\r\n"));
}

std::string Unquote(const std::string& value) {
    if (value.size() >= 2 && value.front() == '"' && value.back() == '"') {
        return value.substr(1, value.size() - 2);
    }
    return value;
}

}  // namespace

std::string Profile::GetString(const std::string& section, const std::string& key,
                               const std::string& defaultValue, size_t bufferSize) const {
    std::string result = defaultValue;
    {
        std::lock_guard<std::mutex> lock(ProfileMutex());
        bool exists = false;
        std::vector<Line> lines = ReadLines(path_, &exists);
        size_t header = 0;
        size_t end = 0;
        if (FindSection(lines, section, &header, &end)) {
            for (size_t i = header + 1; i < end; ++i) {
                std::string k;
                std::string v;
                if (KeyLine(lines[i].text, &k, &v) && EqualsNoCase(k, key)) {
                    result = Unquote(v);
                    break;
                }
            }
        }
    }
    if (bufferSize == 0) {
        return std::string();
    }
    if (result.size() > bufferSize - 1) {
        result.resize(bufferSize - 1);
    }
    return result;
}

int Profile::GetInt(const std::string& section, const std::string& key, int defaultValue) const {
    std::string text = GetString(section, key, "\x01");
    if (text == "\x01") {
        return defaultValue;
    }
    return AsciiToInt(text);
}

std::vector<std::string> Profile::GetSection(const std::string& section, size_t bufferSize) const {
    std::vector<std::string> entries;
    std::lock_guard<std::mutex> lock(ProfileMutex());
    bool exists = false;
    std::vector<Line> lines = ReadLines(path_, &exists);
    size_t header = 0;
    size_t end = 0;
    if (!FindSection(lines, section, &header, &end)) {
        return entries;
    }
    // The buffer holds each entry and its NUL, plus the final NUL.
    size_t room = bufferSize > 0 ? bufferSize - 1 : 0;
    for (size_t i = header + 1; i < end; ++i) {
        std::string k;
        std::string v;
        if (!KeyLine(lines[i].text, &k, &v)) {
            continue;
        }
        std::string entry = k + "=" + Unquote(v);
        if (entry.size() + 1 > room) {
            if (room > 1) {
                entries.push_back(entry.substr(0, room - 1));
            }
            break;
        }
        room -= entry.size() + 1;
        entries.push_back(std::move(entry));
    }
    return entries;
}

bool Profile::WriteString(const std::string& section, const std::string& key,
                          const std::string& rawValue) {
    const std::string value = OneLine(rawValue);
    std::lock_guard<std::mutex> lock(ProfileMutex());
    bool exists = false;
    std::vector<Line> lines = ReadLines(path_, &exists);
    const char* ending = PreferredEnding(lines);
    size_t header = 0;
    size_t end = 0;
    if (!FindSection(lines, section, &header, &end)) {
        if (!lines.empty()) {
            EndLine(lines.back(), ending);
        }
        lines.push_back({"[" + section + "]", ending});
        lines.push_back({key + "=" + value, ending});
        return WriteLines(path_, lines);
    }
    for (size_t i = header + 1; i < end; ++i) {
        std::string k;
        std::string v;
        if (KeyLine(lines[i].text, &k, &v) && EqualsNoCase(k, key)) {
            const std::string text = k + "=" + value;
            if (lines[i].text == text) {
                // Already so: rewriting the same bytes would only cost a flush to the disk.
                return KeepPrivate(path_);
            }
            lines[i].text = text;
            return WriteLines(path_, lines);
        }
    }
    // New key: after the section's last non-blank line.
    size_t at = end;
    while (at > header + 1 && TrimBlanks(lines[at - 1].text).empty()) {
        --at;
    }
    if (at > 0) {
        EndLine(lines[at - 1], ending);
    }
    lines.insert(lines.begin() + static_cast<std::ptrdiff_t>(at), Line{key + "=" + value, ending});
    return WriteLines(path_, lines);
}

bool Profile::WriteInt(const std::string& section, const std::string& key, int value) {
    return WriteString(section, key, std::to_string(value));
}

bool Profile::WriteSection(const std::string& section, const std::vector<std::string>& entries) {
    std::lock_guard<std::mutex> lock(ProfileMutex());
    bool exists = false;
    std::vector<Line> lines = ReadLines(path_, &exists);
    const char* ending = PreferredEnding(lines);
    std::vector<Line> body;
    for (const std::string& entry : entries) {
        body.push_back({OneLine(entry), ending});
    }
    size_t header = 0;
    size_t end = 0;
    if (!FindSection(lines, section, &header, &end)) {
        if (!lines.empty()) {
            EndLine(lines.back(), ending);
        }
        lines.push_back({"[" + section + "]", ending});
        lines.insert(lines.end(), body.begin(), body.end());
        return WriteLines(path_, lines);
    }
    const bool same = std::equal(
        body.begin(), body.end(), lines.begin() + static_cast<std::ptrdiff_t>(header + 1),
        lines.begin() + static_cast<std::ptrdiff_t>(end), [](const Line& a, const Line& b) {
            return a.text == b.text && std::string(a.ending) == b.ending;
        });
    if (same) {
        return KeepPrivate(path_);
    }
    lines.erase(lines.begin() + static_cast<std::ptrdiff_t>(header + 1),
                lines.begin() + static_cast<std::ptrdiff_t>(end));
    lines.insert(lines.begin() + static_cast<std::ptrdiff_t>(header + 1), body.begin(), body.end());
    return WriteLines(path_, lines);
}

bool Profile::EraseSection(const std::string& section) {
    std::lock_guard<std::mutex> lock(ProfileMutex());
    bool exists = false;
    std::vector<Line> lines = ReadLines(path_, &exists);
    size_t header = 0;
    size_t end = 0;
    if (!FindSection(lines, section, &header, &end)) {
        return exists;
    }
    lines.erase(lines.begin() + static_cast<std::ptrdiff_t>(header),
                lines.begin() + static_cast<std::ptrdiff_t>(end));
    return WriteLines(path_, lines);
}

}  // namespace orvex
