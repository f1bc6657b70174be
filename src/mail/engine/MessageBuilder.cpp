#include "mail/engine/MessageBuilder.h"

#include <algorithm>
#include <cstdlib>
#include <cstring>

#include "mail/engine/codec/QuotedPrintable.h"
#include "platform/TextUtil.h"

namespace orvex {

void BodyReader::FromText(std::string text) {
    Close();
    text_ = std::move(text);
}

bool BodyReader::FromFile(const std::string& path) {
    Close();
    file_ = std::fopen(path.c_str(), "rb");
    return file_ != nullptr;
}

void BodyReader::Close() {
    if (file_ != nullptr) {
        std::fclose(file_);
        file_ = nullptr;
    }
    text_.clear();
    textPos_ = fill_ = pos_ = 0;
    sourceDone_ = ended_ = false;
    held = -1;
    carry.clear();
}

void BodyReader::Refill() {
    size_t unread = fill_ - pos_;
    std::memmove(buffer_.data(), buffer_.data() + pos_, unread);
    fill_ = unread;
    pos_ = 0;
    size_t room = buffer_.size() - fill_;
    size_t got;
    if (file_ != nullptr) {
        got = std::fread(buffer_.data() + fill_, 1, room, file_);
    } else {
        got = std::min(room, text_.size() - textPos_);
        std::memcpy(buffer_.data() + fill_, text_.data() + textPos_, got);
        textPos_ += got;
    }
    fill_ += got;
    if (got < room) {
        sourceDone_ = true;
    }
}

int BodyReader::GetMsgChar(bool reset) {
    if (reset) {
        fill_ = pos_ = 0;
        return 0;
    }
    if (ended_) {
        return 0;
    }
    if (fill_ - pos_ <= 78 && !sourceDone_) {
        Refill();
    }
    if (pos_ >= fill_) {
        ended_ = true;
        return 0;
    }
    auto byte = static_cast<unsigned char>(buffer_[pos_++]);
    if (byte == 0) {
        ended_ = true;
    }
    return byte;
}

bool IsQuotedPrintableMode(int contentMode) {
    return contentMode == 1 || contentMode == 3 || contentMode == 4 || contentMode == 9;
}

namespace {

int QuotedPrintableLine(BodyReader& reader, std::string& out) {
    bool readAny = false;
    for (;;) {
        int c;
        if (reader.held >= 0) {
            c = reader.held;
            reader.held = -1;
        } else {
            c = reader.GetMsgChar(false);
        }
        if (c == 0) {
            break;
        }
        readAny = true;
        if (c == '\r') {
            continue;
        }
        if (c == '\n') {
            break;
        }
        AppendQuotedPrintable(static_cast<unsigned char>(c), out);
        reader.held = reader.GetMsgChar(false);
        if (out.size() >= 78 || (out.size() >= 77 && reader.held != '.')) {
            out += '=';  // soft line break
            break;
        }
    }
    return readAny ? 0 : -1;
}

int TextLine(BodyReader& reader, const BodyLineRules& rules, std::string& out) {
    bool readAny = false;
    size_t carried = 0;
    for (;;) {
        int c;
        if (carried < reader.carry.size()) {
            c = static_cast<unsigned char>(reader.carry[carried++]);
        } else {
            c = reader.GetMsgChar(false);
        }
        if (c == 0) {
            break;
        }
        readAny = true;
        if (c == '\r') {
            continue;
        }
        if (c == '\n') {
            break;
        }
        if ((c < 32 || c > 126) && !rules.passAllBytes) {
            c = '~';
        }
        out += static_cast<char>(c);
        if (rules.contentMode == 0) {
            if (c == ' ' && out.size() >= rules.blankBreak) {
                break;
            }
            if (out.size() >= rules.lineLength) {
                break;
            }
        }
        // Room for the dot that transparency may add in front.
        size_t limit = out.front() == '.' ? kMaxSmtpLine - 1 : kMaxSmtpLine;
        if (out.size() >= limit) {
            size_t blank = out.rfind(' ');
            if (blank != std::string::npos && blank > 0 && blank + 1 < out.size()) {
                std::string tail = out.substr(blank + 1);
                out.resize(blank + 1);
                reader.carry = tail + reader.carry.substr(carried);
                return 0;
            }
            break;
        }
    }
    reader.carry.erase(0, carried);
    return readAny ? 0 : -1;
}

}  // namespace

int GetMsgLine(BodyReader& reader, const BodyLineRules& rules, std::string& out) {
    out.clear();
    int rc = IsQuotedPrintableMode(rules.contentMode) ? QuotedPrintableLine(reader, out)
                                                      : TextLine(reader, rules, out);
    if (rc < 0) {
        return -1;
    }
    if (!out.empty() && out.front() == '.') {
        out.insert(out.begin(), '.');
    }
    return static_cast<int>(out.size());
}

std::string FormatDateLine(const std::tm& local) {
    static constexpr const char* kDays[] = {"Sun", "Mon", "Tue", "Wed", "Thu", "Fri", "Sat"};
    static constexpr const char* kMonths[] = {"Jan", "Feb", "Mar", "Apr", "May", "Jun",
                                              "Jul", "Aug", "Sep", "Oct", "Nov", "Dec"};
    long offset = local.tm_gmtoff / 60;
    char sign = offset < 0 ? '-' : '+';
    offset = std::labs(offset);
    char line[128];
    std::snprintf(line, sizeof line, "Date: %s, %d %s %d %d:%02d:%02d %c%02ld%02ld",
                  kDays[((local.tm_wday % 7) + 7) % 7], local.tm_mday,
                  kMonths[((local.tm_mon % 12) + 12) % 12], local.tm_year + 1900, local.tm_hour,
                  local.tm_min, local.tm_sec, sign, offset / 60, offset % 60);
    return line;
}

AttachmentEntry DescribeAttachment(const std::string& entry, char nameSeparator,
                                   bool recogniseImages) {
    AttachmentEntry out;
    size_t bar = entry.find(nameSeparator);
    out.path = entry.substr(0, bar);
    if (bar != std::string::npos) {
        out.name = entry.substr(bar + 1);
    } else {
        // "/" too: paths on this system may be written either way.
        size_t cut = out.path.find_last_of("\\:/");
        out.name = cut == std::string::npos ? out.path : out.path.substr(cut + 1);
    }
    if (recogniseImages && out.name.size() > 4) {
        std::string ext = ToUpperAscii(out.name.substr(out.name.size() - 4));
        if (ext == ".GIF") {
            out.imageType = "Image/GIF";
        } else if (ext == ".BMP") {
            out.imageType = "Image/BMP";
        } else if (ext == ".TIF") {
            out.imageType = "Image/TIFF";
        } else if (ext == ".JPG") {
            out.imageType = "Image/JPEG";
        }
    }
    return out;
}

std::string AttachmentHeader(const AttachmentEntry& entry, int imageNumber, bool textMode,
                             bool quotedPrintable) {
    const std::string quoted = "\"" + entry.name + "\"";
    std::string out;
    bool inlinePart = true;
    if (!entry.imageType.empty()) {
        out += "Content-Type: " + entry.imageType + "; name=" + quoted + "\r\n";
        out += "Content-ID: <message-root." + std::to_string(imageNumber) + ">\r\n";
    } else if (textMode) {
        out += "Content-Type: text/plain\r\n";
    } else {
        out += "Content-Type: application/octet-stream; name=" + quoted + "\r\n";
        inlinePart = false;
    }
    if (textMode && entry.imageType.empty()) {
        out += quotedPrintable ? "Content-Transfer-Encoding: quoted-printable\r\n"
                               : "Content-Transfer-Encoding: 7bit\r\n";
    } else {
        out += "Content-Transfer-Encoding: base64\r\n";
    }
    out += std::string(inlinePart ? "Content-Disposition: inline; filename="
                                  : "Content-Disposition: attachment; filename=") +
           quoted + "\r\n\r\n";
    return out;
}

}  // namespace orvex
