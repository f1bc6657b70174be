#pragma once

#include <string>

namespace orvex {

// One message a subsystem sends the user through the Host: the Status page shows it and the
// log records it. It is built by what it is, never read back from its first characters:
// - a line of the status table (platform/StatusTexts.h: "P10005 System Online:   ", "P Email
//   not sent: "), possibly followed by a detail (a file error, the service that answered, why);
//   the Status page shows what follows the line's code;
// - a failure sentence in plain words ("smtp.example.net:25 refused the connection");
// - a plain text, shown as it is ("Updating dynamic DNS name home.example.net...");
// - an FTP server's last reply line ("530 Login incorrect."), shown without its code; an empty
//   reply means a local failure and is shown as kLocalFailure;
// - a local failure ("Error opening log file."), shown as kLocalFailure.
// A plain text or a reply may carry the failure sentence that explains it.
class HostMessage {
public:
    enum class Kind { kCoded, kPlain, kReply, kLocalFailure };

    // A line of the status table, with `detail` appended to it as it is.
    static HostMessage Coded(const char* line, std::string detail = "");
    // A failure sentence (platform/FailureSentence.h) on a line of its own.
    static HostMessage Sentence(std::string sentence);
    static HostMessage Plain(std::string text);
    static HostMessage Reply(std::string serverReply);
    // A failure of the program's own (the log cannot be written); `text` is what the sender
    // knows, the Status page shows kLocalFailure.
    static HostMessage LocalFailure(std::string text);

    // This message followed by the failure sentence that explains it: "<text>: <sentence>".
    HostMessage WithFailure(const std::string& sentence) const;

    Kind kind() const { return kind_; }
    // The line the Status page and the log show. Control characters (a server's or a
    // provider's CR, LF, ...) become blanks, so no text can add lines to the log.
    const std::string& Shown() const { return shown_; }
    // The message as the status table writes it, code included ("P10005 System Online:   ",
    // "P Email not sent: ...", "530 Login incorrect.", a plain text as it is): orvexd's output
    // and the form tests record.
    const std::string& Recorded() const { return recorded_; }
    // Whether this is exactly the status table's `line` (no detail after it).
    bool Is(const char* line) const;

    bool operator==(const HostMessage& other) const = default;

    static constexpr const char* kLocalFailureText =
        "Unable to resolve hostname/Connection Timeout";

private:
    HostMessage(Kind kind, std::string recorded, std::string shown);

    Kind kind_ = Kind::kPlain;
    std::string recorded_;
    std::string shown_;
};

// `text` with every control character (C0 and DEL) replaced by a blank.
std::string WithoutControlCharacters(std::string text);

}  // namespace orvex
