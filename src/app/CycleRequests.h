#pragma once

#include <string>
#include <vector>

#include "address/WanAddress.h"
#include "app/AppState.h"
#include "ddns/DynamicDnsUpdater.h"
#include "ftp/FtpUpload.h"
#include "ftp/SftpUpload.h"
#include "notify/Notifier.h"
#include "page/TemplateExpansion.h"
#include "settings/AppSettings.h"

namespace orvex {

// What each step of a publishing cycle hands its subsystem, built from the cycle's copy of the
// settings `s` and the program's state, so the steps themselves read as a few lines each.

// The WAN lookup's settings; the keys edited by hand are read from the file at each lookup, so
// an edit made while the program runs takes effect at the next cycle.
WanLookupSettings LookupFor(const AppSettings& s, AppState& state);
// The values of the page's tokens, the local copies included.
PageValues PageValuesFor(const AppSettings& s, AppState& state);
// The dynamic DNS run: checked addresses only.
ddns::UpdateRun NamesRunFor(const AppSettings& s, AppState& state);
// The notification run (a lookup's "N/A" is no address).
notify::Run NotifyRunFor(const AppSettings& s, AppState& state, WindowFinder finder,
                         const std::vector<notify::StepFailure>& failures);
// The TLS checks of FTPS (and the notification services): TLSVerify, TLSCAFile in the start-up
// folder.
TlsOptions TlsFor(const AppSettings& s, const std::string& workDir);
// The FTP or FTPS upload of `localFile`; the logon type only while the proxy is in use.
FtpUploadParams FtpUploadFor(const AppSettings& s, AppState& state, const std::string& localFile);
// The SFTP upload of `localFile`, with the host key read from the file at each upload, so a
// key accepted by editing the file counts while the program runs.
SftpUploadParams SftpUploadFor(const AppSettings& s, AppState& state, const std::string& localFile);

}  // namespace orvex
