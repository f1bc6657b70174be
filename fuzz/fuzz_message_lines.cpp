// The message builder's body lines and header pieces, and the encoders they rely on.
//
// Checks:
// - every body line fits SMTP (at most 998 bytes), holds no CR or LF, is never a lone "." and
//   is dot-stuffed; without "pass all bytes" it holds printable ASCII only;
// - no body byte is lost or repeated: in the text modes the lines (dots unstuffed) join to the
//   body up to its first NUL without line ends, each other byte outside 32..126 shown as "~";
//   in the quoted-printable modes, decoding the lines (soft breaks joined) gives the body with
//   its CRs dropped and its final LF gone; quoted-printable lines stay within 80 bytes
//   plus the stuffed dot;
// - the body read from a file gives the same lines as from memory (the 2048-byte read-ahead
//   crossing line boundaries changes nothing);
// - base64 decodes back to what was encoded, with or without line breaks; an attachment line
//   holds 76 characters at most, ends CR LF and decodes to its (at most 57) input bytes;
// - quoted-printable escapes decode to their byte;
// - the Date line of any real local time has the fixed shape; the attachment entry splits
//   into path and shown name, and its part header ends with an empty line.
#include <fuzzer/FuzzedDataProvider.h>

#include <cstdint>
#include <cstdio>
#include <ctime>
#include <string>
#include <vector>

#include "FuzzSupport.h"
#include "mail/engine/MessageBuilder.h"
#include "mail/engine/codec/Base64.h"
#include "mail/engine/codec/QuotedPrintable.h"

using orvex::fuzz::Shown;

namespace {

int HexValue(char c) {
    if (c >= '0' && c <= '9') {
        return c - '0';
    }
    if (c >= 'A' && c <= 'F') {
        return c - 'A' + 10;
    }
    return -1;
}

std::vector<std::string> AllLines(orvex::BodyReader& reader, const orvex::BodyLineRules& rules,
                                  size_t bodySize) {
    std::vector<std::string> lines;
    std::string line;
    for (;;) {
        const int length = orvex::GetMsgLine(reader, rules, line);
        if (length < 0) {
            break;
        }
        FUZZ_CHECK(static_cast<size_t>(length) == line.size(), "length " + std::to_string(length));
        lines.push_back(line);
        // Each line takes at least one body byte, so more lines than bytes means a loop.
        FUZZ_CHECK(lines.size() <= bodySize + 1, "endless lines: " + Shown(line));
    }
    // Over is over.
    FUZZ_CHECK(orvex::GetMsgLine(reader, rules, line) == -1, "a line after the end");
    return lines;
}

void CheckBody(const std::string& body, const orvex::BodyLineRules& rules) {
    auto context = [&] {
        return "mode " + std::to_string(rules.contentMode) + " pass " +
               std::to_string(rules.passAllBytes) + " length " + std::to_string(rules.lineLength) +
               " blank " + std::to_string(rules.blankBreak) + " body " + Shown(body, 300);
    };
    orvex::BodyReader reader;
    reader.FromText(body);
    const std::vector<std::string> lines = AllLines(reader, rules, body.size());

    const bool qp = orvex::IsQuotedPrintableMode(rules.contentMode);
    std::string joined;
    for (size_t i = 0; i < lines.size(); ++i) {
        const std::string& line = lines[i];
        auto where = [&] {
            return "line " + std::to_string(i) + " " + Shown(line) + "; " + context();
        };
        FUZZ_CHECK(line.size() <= orvex::kMaxSmtpLine, where());
        FUZZ_CHECK(line.find_first_of("\r\n") == std::string::npos, where());
        FUZZ_CHECK(line != ".", where());
        std::string text = line;
        if (!text.empty() && text[0] == '.') {
            FUZZ_CHECK(text.size() >= 2 && text[1] == '.', "unstuffed dot; " + where());
            text.erase(0, 1);
        }
        if (!qp) {
            for (char c : text) {
                const auto b = static_cast<unsigned char>(c);
                FUZZ_CHECK(rules.passAllBytes || (b >= 32 && b <= 126), where());
            }
            joined += text;
            continue;
        }
        FUZZ_CHECK(line.size() <= 81, where());
        bool soft = false;
        for (size_t k = 0; k < text.size(); ++k) {
            const auto b = static_cast<unsigned char>(text[k]);
            FUZZ_CHECK(b >= 32 && b <= 126, where());
            if (text[k] != '=') {
                joined += text[k];
            } else if (k + 1 == text.size()) {
                soft = true;
            } else {
                FUZZ_CHECK(
                    k + 2 < text.size() && HexValue(text[k + 1]) >= 0 && HexValue(text[k + 2]) >= 0,
                    "bad escape; " + where());
                joined += static_cast<char>(HexValue(text[k + 1]) * 16 + HexValue(text[k + 2]));
                k += 2;
            }
        }
        if (!soft) {
            joined += '\n';
        }
    }

    std::string expected = body.substr(0, body.find('\0'));
    if (!qp) {
        std::string shown;
        for (char c : expected) {
            const auto b = static_cast<unsigned char>(c);
            if (c == '\r' || c == '\n') {
                continue;
            }
            shown += (b < 32 || b > 126) && !rules.passAllBytes ? '~' : c;
        }
        FUZZ_CHECK(joined == shown, "joined " + Shown(joined, 300) + "; " + context());
    } else {
        // The last hard line end is implied by the end of the message. A body's final LF ends
        // its last line; CRs after it still make a (then empty) line of their own, so the LF is
        // taken off before the CRs are dropped.
        if (!joined.empty() && joined.back() == '\n') {
            joined.pop_back();
        }
        if (!expected.empty() && expected.back() == '\n') {
            expected.pop_back();
        }
        std::string noCr;
        for (char c : expected) {
            if (c != '\r') {
                noCr += c;
            }
        }
        FUZZ_CHECK(joined == noCr, "decoded " + Shown(joined, 300) + "; " + context());
    }

    // The same body from a file gives the same lines.
    const std::string path = orvex::fuzz::ScratchDir() + "/body.txt";
    orvex::fuzz::WriteWholeFile(path, body);
    orvex::BodyReader fileReader;
    FUZZ_CHECK(fileReader.FromFile(path), "body file");
    FUZZ_CHECK(AllLines(fileReader, rules, body.size()) == lines, "file differs; " + context());
}

void CheckCodecs(const std::string& bytes) {
    const std::string encoded = orvex::Base64Encode(bytes);
    FUZZ_CHECK(encoded.size() == (bytes.size() + 2) / 3 * 4, Shown(bytes));
    FUZZ_CHECK(orvex::Base64Decode(encoded) == bytes, Shown(bytes) + " -> " + Shown(encoded));
    std::string broken;
    for (size_t i = 0; i < encoded.size(); ++i) {
        broken += encoded[i];
        if (i % 7 == 6) {
            broken += "\r\n ";
        }
    }
    FUZZ_CHECK(orvex::Base64Decode(broken) == bytes, "with breaks " + Shown(broken));

    std::string lines;
    std::string decoded;
    for (size_t at = 0; at < bytes.size(); at += 57) {
        std::string line;
        const size_t count = std::min<size_t>(57, bytes.size() - at);
        const size_t written = orvex::Base64EncodeLine(
            reinterpret_cast<const unsigned char*>(bytes.data() + at), bytes.size() - at, line);
        FUZZ_CHECK(
            written <= 76 && line.size() == written + 2 && line.compare(written, 2, "\r\n") == 0,
            Shown(line));
        FUZZ_CHECK(orvex::Base64Decode(line) == bytes.substr(at, count), Shown(line));
    }

    for (char c : bytes) {
        const auto b = static_cast<unsigned char>(c);
        std::string out;
        orvex::AppendQuotedPrintable(b, out);
        if (orvex::IsQuotedPrintableLiteral(b)) {
            FUZZ_CHECK(out.size() == 1 && out[0] == c && b != '=', Shown(out));
        } else {
            FUZZ_CHECK(
                out.size() == 3 && out[0] == '=' && HexValue(out[1]) * 16 + HexValue(out[2]) == b,
                Shown(out));
        }
    }
}

void CheckDateLine(std::time_t when, long zoneMinutes) {
    std::tm t{};
    ::gmtime_r(&when, &t);
    t.tm_gmtoff = zoneMinutes * 60;
    const std::string line = orvex::FormatDateLine(t);
    static const char* const kDays[] = {"Sun", "Mon", "Tue", "Wed", "Thu", "Fri", "Sat"};
    static const char* const kMonths[] = {"Jan", "Feb", "Mar", "Apr", "May", "Jun",
                                          "Jul", "Aug", "Sep", "Oct", "Nov", "Dec"};
    const long offset = zoneMinutes < 0 ? -zoneMinutes : zoneMinutes;
    char expected[128];
    std::snprintf(expected, sizeof expected, "Date: %s, %d %s %d %d:%02d:%02d %c%02ld%02ld",
                  kDays[t.tm_wday], t.tm_mday, kMonths[t.tm_mon], t.tm_year + 1900, t.tm_hour,
                  t.tm_min, t.tm_sec, zoneMinutes < 0 ? '-' : '+', offset / 60, offset % 60);
    FUZZ_CHECK(line == expected, Shown(line) + " expected " + Shown(expected));
}

void CheckAttachment(const std::string& entry, char separator, bool images, int number,
                     bool textMode, bool qp) {
    const orvex::AttachmentEntry parsed = orvex::DescribeAttachment(entry, separator, images);
    const size_t bar = entry.find(separator);
    if (bar != std::string::npos) {
        FUZZ_CHECK(parsed.path + separator + parsed.name == entry, Shown(entry));
    } else {
        FUZZ_CHECK(parsed.path == entry, Shown(entry));
        FUZZ_CHECK(entry.size() >= parsed.name.size() &&
                       entry.compare(entry.size() - parsed.name.size(), parsed.name.size(),
                                     parsed.name) == 0 &&
                       parsed.name.find_first_of("\\:/") == std::string::npos,
                   Shown(entry) + " name " + Shown(parsed.name));
    }
    FUZZ_CHECK(images || parsed.imageType.empty(), Shown(entry));
    const std::string header = orvex::AttachmentHeader(parsed, number, textMode, qp);
    FUZZ_CHECK(header.size() >= 4 && header.compare(header.size() - 4, 4, "\r\n\r\n") == 0,
               Shown(header));
    FUZZ_CHECK(header.find("\"" + parsed.name + "\"") != std::string::npos, Shown(header));
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    FuzzedDataProvider in(data, size);
    static constexpr int kModes[] = {0, 2, 1, 3, 4, 9, 5};
    orvex::BodyLineRules rules;
    rules.contentMode = in.PickValueInArray(kModes);
    rules.passAllBytes = in.ConsumeBool();
    rules.lineLength = in.ConsumeIntegralInRange<size_t>(1, 1200);
    rules.blankBreak = in.ConsumeIntegralInRange<size_t>(1, 1200);
    const std::time_t when = in.ConsumeIntegralInRange<std::time_t>(0, 253402300799);
    const long zone = in.ConsumeIntegralInRange<long>(-14 * 60, 14 * 60);
    const std::string entry = in.ConsumeRandomLengthString(40);
    const char separator = in.ConsumeIntegral<char>();
    const bool images = in.ConsumeBool();
    const int number = in.ConsumeIntegralInRange<int>(0, 1000);
    const bool textMode = in.ConsumeBool();
    const bool qp = in.ConsumeBool();
    const bool longLines = in.ConsumeBool();
    std::string body = in.ConsumeRemainingBytesAsString();
    if (longLines) {
        // Lines past the SMTP limit: repeat the body without its line ends.
        std::string flat;
        for (char c : body) {
            if (c != '\n') {
                flat += c;
            }
        }
        body.clear();
        while (!flat.empty() && body.size() < 2500) {
            body += flat;
        }
    }

    CheckBody(body, rules);
    CheckCodecs(body.substr(0, 600));
    CheckDateLine(when, zone);
    CheckAttachment(entry, separator, images, number, textMode, qp);
    return 0;
}
