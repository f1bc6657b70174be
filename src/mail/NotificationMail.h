#pragma once

#include <string>

#include "address/AddressState.h"
#include "mail/engine/See.h"
#include "page/TemplateExpansion.h"
#include "platform/Clock.h"
#include "platform/Host.h"
#include "settings/AppSettings.h"

namespace orvex {

inline constexpr const char* kMailInputErrorText =
    "Error opening email input file. Please enter a file name in the 'Mail Message File' box "
    "on the 'E-Mail Options' tab. Samples may be found in the '.\\samples folder'.";
inline constexpr const char* kUnknownSecurityText =
    "EmailSecurity must be 0 (none), 1 (STARTTLS) or 2 (SSL/TLS); nothing was sent in clear.";

// Longest message text read from the expanded message file.
inline constexpr size_t kMaxMailTextBytes = 32000;

// "<A>,<B>" from "A;B" or "A,B": every "," and then every ";" becomes ">,<", inside one pair
// of brackets; blanks are kept. Empty for an empty text.
std::string AddressList(const std::string& addresses);

// The path the expanded message file is written to: "$" in front of the extension of the
// file-name part (after the last "\" or "/"), or at the end when there is no extension.
std::string TemporaryMailPath(const std::string& messageFile);

// The plain sentence beside a failure of the mail engine: what `code` (with the engine's
// `facts` and its error text for the code) means for `server` and `port`, e.g.
// "smtp.example.net:25 refused the connection". `sending`: the failure came while the message
// was sent rather than while connecting.
std::string MailFailureSentence(const std::string& server, int port, int code,
                                const SeeFailureFacts& facts, const std::string& engineText,
                                bool sending);

// The window's page of the mail settings, brought forward when they stop a mail. The window
// names its pages (app/WindowPort.h); the cycle checks that this is its E-Mail page.
inline constexpr Page kMailSettingsPage = static_cast<Page>(5);

// Mails the expanded message file once, through the mail engine (port EmailPort of
// EmailServer, secured as EmailSecurity says). Nothing at all happens with EmailOnIPChangeOnly set
// on a refresh the user did not ask for, when both addresses are unchanged. Reports its progress
// and failures as host messages ("P10007 Attempting to send email...", "P10008 Successfully sent
// email.", "P Email not sent: ..." followed by a plain sentence naming the server), with message
// boxes unless SuppressError. The temporary file is gone afterwards in every case. Returns 0.
// `failure`, when given, receives why a mail that was due was not sent (empty otherwise).
int SendNotificationMail(const AppSettings& settings, const AddressState::Snapshot& addresses,
                         bool manualRefresh, const PageValues& pageValues, Host& host, Clock& clock,
                         const WindowFinder& finder = FindProgramWindow,
                         std::string* failure = nullptr);

}  // namespace orvex
