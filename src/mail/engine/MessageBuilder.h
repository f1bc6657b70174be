#pragma once

#include <array>
#include <cstdio>
#include <ctime>
#include <string>

namespace orvex {

// Streams a message body from memory or from a file through a 2048-byte read-ahead buffer,
// so a body of any size costs no more memory.
class BodyReader {
public:
    static constexpr size_t kBufferSize = 2048;

    BodyReader() = default;
    ~BodyReader() { Close(); }
    BodyReader(const BodyReader&) = delete;
    BodyReader& operator=(const BodyReader&) = delete;

    void FromText(std::string text);
    // False when the file cannot be opened.
    bool FromFile(const std::string& path);
    void Close();

    // The next body byte as 1 to 255, or 0 at the end of the body (the source's end or a NUL
    // byte, after which every call gives 0). With `reset` the read-ahead is emptied and 0
    // returned.
    int GetMsgChar(bool reset);

    // Line-reader state between lines: the byte the quoted-printable encoder read ahead
    // (-1 = none) and the tail of a line that was broken at a blank.
    int held = -1;
    std::string carry;

private:
    void Refill();

    std::string text_;
    size_t textPos_ = 0;
    std::FILE* file_ = nullptr;
    std::array<char, kBufferSize> buffer_{};
    size_t fill_ = 0;
    size_t pos_ = 0;
    bool sourceDone_ = false;
    bool ended_ = false;
};

// How body lines are formed.
struct BodyLineRules {
    int contentMode = 0;        // 0 plain, 2 HTML, 1/3/4/9 quoted-printable
    bool passAllBytes = false;  // keep bytes outside 32..126 instead of "~"
    size_t lineLength = 78;     // plain text: hard break
    size_t blankBreak = 61;     // plain text: break after a blank from this length on
};

// SMTP's limit for a line without its CR LF.
inline constexpr size_t kMaxSmtpLine = 998;

bool IsQuotedPrintableMode(int contentMode);

// The next body line without CR LF, dot-stuffed, into `out`: its length, or -1 when the body
// is over. No line exceeds kMaxSmtpLine: a longer one is broken after its last blank, or at
// the limit when it has none.
int GetMsgLine(BodyReader& reader, const BodyLineRules& rules, std::string& out);

// "Date: Sun, 6 Dec 2026 5:07:09 +0100" for a broken-down local time; the zone comes from
// `tm_gmtoff`, which already counts daylight time.
std::string FormatDateLine(const std::tm& local);

// One entry of an attachment list: the file to open and the name to show.
struct AttachmentEntry {
    std::string path;  // the part before the name separator
    std::string name;  // after the separator, else the file-name part of the path
    // "Image/GIF", "Image/BMP", "Image/TIFF", "Image/JPEG", or empty for other files.
    std::string imageType;
};

AttachmentEntry DescribeAttachment(const std::string& entry, char nameSeparator,
                                   bool recogniseImages);

// The attachment's part header up to and including its empty line, each line ending CR LF.
// `imageNumber` is this image's Content-ID number; `textMode` sends the file as text
// (quoted-printable when `quotedPrintable`).
std::string AttachmentHeader(const AttachmentEntry& entry, int imageNumber, bool textMode,
                             bool quotedPrintable);

}  // namespace orvex
