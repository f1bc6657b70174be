#include "platform/HostMessage.h"

#include <utility>

#include "platform/StatusTexts.h"
#include "platform/TextUtil.h"

namespace orvex {

namespace {

// What follows the first blank of a coded line; a line without a blank is taken whole.
std::string AfterCode(const std::string& line) {
    const size_t blank = line.find(' ');
    return blank == std::string::npos ? line : line.substr(blank + 1);
}

}  // namespace

HostMessage::HostMessage(Kind kind, std::string recorded, std::string shown)
    : kind_(kind),
      recorded_(WithoutControlCharacters(std::move(recorded))),
      shown_(WithoutControlCharacters(std::move(shown))) {}

HostMessage HostMessage::Coded(const char* line, std::string detail) {
    std::string recorded = std::string(line) + detail;
    std::string shown = AfterCode(recorded);
    return HostMessage(Kind::kCoded, std::move(recorded), std::move(shown));
}

HostMessage HostMessage::Sentence(std::string sentence) {
    return Coded(status::kPlainWords, std::move(sentence));
}

HostMessage HostMessage::Plain(std::string text) {
    std::string shown = text;
    return HostMessage(Kind::kPlain, std::move(text), std::move(shown));
}

HostMessage HostMessage::Reply(std::string serverReply) {
    // A reply that does not start with its code is no reply: the link failed locally.
    std::string shown = AsciiToInt(serverReply) == 0 ? kLocalFailureText : AfterCode(serverReply);
    return HostMessage(Kind::kReply, std::move(serverReply), std::move(shown));
}

HostMessage HostMessage::LocalFailure(std::string text) {
    return HostMessage(Kind::kLocalFailure, std::move(text), kLocalFailureText);
}

HostMessage HostMessage::WithFailure(const std::string& sentence) const {
    if (sentence.empty()) {
        return *this;
    }
    return HostMessage(kind_, recorded_ + ": " + sentence, shown_ + ": " + sentence);
}

bool HostMessage::Is(const char* line) const {
    return kind_ == Kind::kCoded && recorded_ == line;
}

std::string WithoutControlCharacters(std::string text) {
    for (char& c : text) {
        const auto byte = static_cast<unsigned char>(c);
        if (byte < 0x20 || byte == 0x7F) {
            c = ' ';
        }
    }
    return text;
}

}  // namespace orvex
