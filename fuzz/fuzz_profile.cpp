// The settings file layer: an arbitrary file, then key writes.
//
// Checks, for any starting file and any key a caller can write (one line, no "=", not a
// comment or section line, no surrounding blanks):
// - reads of the arbitrary file never fail and respect their buffer size;
// - a write succeeds and reading the key back gives the value (blanks and one pair of
//   enclosing quotes removed, as every read does);
// - every other line of the file survives byte for byte, line end included, in its order:
//   the write changes only the key's own line or inserts a key line (and a section header);
//   only a last line without a line end may gain one;
// - a second key written afterwards leaves the first readable with its value.
#include <fuzzer/FuzzedDataProvider.h>

#include <algorithm>
#include <cstdint>
#include <string>
#include <vector>

#include "FuzzSupport.h"
#include "platform/Profile.h"
#include "platform/TextUtil.h"

using orvex::fuzz::Shown;

namespace {

struct RawLine {
    std::string text;    // without the line end
    std::string ending;  // "\n", "\r\n" or "" for a last line without one
};

// The file's lines as an independent reader sees them.
std::vector<RawLine> SplitLines(const std::string& data) {
    std::vector<RawLine> lines;
    size_t start = 0;
    while (start < data.size()) {
        size_t nl = data.find('\n', start);
        RawLine line;
        line.text = data.substr(start, nl == std::string::npos ? nl : nl - start);
        line.ending = nl == std::string::npos ? "" : "\n";
        start = nl == std::string::npos ? data.size() : nl + 1;
        // A CR is part of the line end only before an LF.
        if (!line.ending.empty() && !line.text.empty() && line.text.back() == '\r') {
            line.text.pop_back();
            line.ending = "\r\n";
        }
        lines.push_back(line);
    }
    return lines;
}

// Text a caller may use as a key or section name: one line, no framing characters.
std::string Sanitised(std::string text, const char* banned) {
    std::string out;
    for (char c : text) {
        if (std::string(banned).find(c) == std::string::npos && c != '\0') {
            out += c;
        }
    }
    out = orvex::TrimBlanks(out);
    while (!out.empty() && (out.front() == ';' || out.front() == '[')) {
        out.erase(0, 1);
        out = orvex::TrimBlanks(out);
    }
    return out;
}

std::string ExpectedRead(const std::string& value) {
    std::string v = orvex::TrimBlanks(value);
    if (v.size() >= 2 && v.front() == '"' && v.back() == '"') {
        v = v.substr(1, v.size() - 2);
    }
    return v;
}

// A "key=value" line for this key (its own spelling of the key may differ in case).
bool IsKeyLine(const std::string& text, const std::string& key, const std::string& value) {
    const std::string tail = "=" + value;
    if (text.size() < tail.size() || text.compare(text.size() - tail.size(), tail.size(), tail)) {
        return false;
    }
    const std::string name = text.substr(0, text.size() - tail.size());
    return orvex::EqualsNoCase(orvex::TrimBlanks(name), key);
}

// The new file must be the old one with one line replaced or up to two lines inserted; all
// else byte for byte (a last line may only gain a line end).
void CheckKept(const std::vector<RawLine>& before, const std::vector<RawLine>& after,
               const std::string& section, const std::string& key, const std::string& value,
               const std::string& context) {
    FUZZ_CHECK(after.size() >= before.size() && after.size() <= before.size() + 2,
               "line count " + std::to_string(before.size()) + " -> " +
                   std::to_string(after.size()) + "; " + context);
    size_t i = 0;
    size_t j = 0;
    size_t changes = 0;
    while (i < before.size()) {
        FUZZ_CHECK(j < after.size(), "ran out of lines; " + context);
        const RawLine& a = before[i];
        const RawLine& b = after[j];
        const bool lastGainedEnding = i + 1 == before.size() && a.ending.empty();
        const bool same = a.text == b.text && (a.ending == b.ending || lastGainedEnding);
        if (same) {
            ++i;
            ++j;
            continue;
        }
        // A difference must be the key's own line: replaced in place or inserted.
        FUZZ_CHECK(IsKeyLine(b.text, key, value), "line " + std::to_string(i) + " " +
                                                      Shown(a.text) + " became " + Shown(b.text) +
                                                      "; " + context);
        ++changes;
        if (after.size() == before.size()) {
            ++i;  // replaced
        }
        ++j;
    }
    for (; j < after.size(); ++j) {
        // Appended at the end: the new section's header and the key line.
        FUZZ_CHECK(after[j].text == "[" + section + "]" || IsKeyLine(after[j].text, key, value),
                   "appended " + Shown(after[j].text) + "; " + context);
        ++changes;
    }
    FUZZ_CHECK(changes <= 2, context);
}

void CheckWrite(orvex::Profile& profile, const std::string& section, const std::string& key,
                const std::string& value) {
    const std::string path = profile.Path();
    const std::string oldData = orvex::fuzz::ReadWholeFile(path);
    const std::string context = "section " + Shown(section) + " key " + Shown(key) + " value " +
                                Shown(value) + " file " + Shown(oldData, 400);
    FUZZ_CHECK(profile.WriteString(section, key, value), "write failed; " + context);
    const std::string newData = orvex::fuzz::ReadWholeFile(path);
    CheckKept(SplitLines(oldData), SplitLines(newData), section, key, value,
              context + " -> " + Shown(newData, 400));
    const std::string back = profile.GetString(section, key, "\x01", 1 << 20);
    FUZZ_CHECK(back == ExpectedRead(value),
               "read back " + Shown(back) + "; " + context + " -> " + Shown(newData, 400));
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    FuzzedDataProvider in(data, size);
    const std::string section = Sanitised(in.ConsumeRandomLengthString(24), "]\r\n");
    const std::string key = Sanitised(in.ConsumeRandomLengthString(24), "=\r\n");
    std::string value = in.ConsumeRandomLengthString(60);
    const std::string otherKey = Sanitised(in.ConsumeRandomLengthString(24), "=\r\n");
    const size_t buffer = in.ConsumeIntegralInRange<size_t>(0, 300);
    const std::string file = in.ConsumeRemainingBytesAsString();
    for (char& c : value) {
        if (c == '\r' || c == '\n') {
            c = ' ';
        }
    }

    orvex::fuzz::ClearScratchDir();
    const std::string path = orvex::fuzz::ScratchDir() + "/settings.ini";
    orvex::fuzz::WriteWholeFile(path, file);
    orvex::Profile profile(path);

    // Reads of an arbitrary file: bounded by the buffer, never failing.
    const std::string read = profile.GetString(section, key, "default", buffer);
    FUZZ_CHECK(buffer == 0 ? read.empty() : read.size() < buffer, Shown(read));
    size_t used = 1;  // the final NUL
    for (const std::string& entry : profile.GetSection(section, buffer)) {
        used += entry.size() + 1;
    }
    FUZZ_CHECK(used <= std::max<size_t>(buffer, 1),
               "section entries overflow " + std::to_string(used) + " > " + std::to_string(buffer));

    if (section.empty() || key.empty()) {
        return 0;
    }
    CheckWrite(profile, section, key, value);
    if (!otherKey.empty() && !orvex::EqualsNoCase(otherKey, key)) {
        CheckWrite(profile, section, otherKey, "second");
        const std::string first = profile.GetString(section, key, "\x01", 1 << 20);
        FUZZ_CHECK(first == ExpectedRead(value), "first key now " + Shown(first));
    }
    return 0;
}
