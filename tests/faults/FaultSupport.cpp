#include "FaultSupport.h"

#include <fcntl.h>
#include <linux/capability.h>
#include <poll.h>
#include <sys/resource.h>
#include <sys/socket.h>
#include <sys/syscall.h>
#include <sys/wait.h>
#include <unistd.h>

#include <csignal>
#include <cstdio>
#include <sstream>

#include "platform/Clock.h"

namespace orvex::test {

HealthyServers::HealthyServers()
    : ftp(kPython, {PeerScript("ftp_server.py"), "--root", ftpRoot.Path(), "--user", "tester",
                    "--password", "secret", "--quiet"}),
      echo(kPython, {PeerScript("echo_page.py")}) {}

bool CycleOutcome::HasStatus(const std::string& text) const {
    for (const std::string& s : statuses) {
        if (s == text) {
            return true;
        }
    }
    return false;
}

bool CycleOutcome::HasStatusStarting(const std::string& prefix) const {
    for (const std::string& s : statuses) {
        if (s.rfind(prefix, 0) == 0) {
            return true;
        }
    }
    return false;
}

std::string CycleOutcome::Describe() const {
    std::string text = "result " + std::to_string(result) + " after " + std::to_string(seconds) +
                       " s; transcript:";
    for (const std::string& line : transcript) {
        text += "\n  " + line.substr(0, 200);
    }
    return text;
}

CycleOutcome Record(int result, double seconds, const RecordingHost& host) {
    CycleOutcome o;
    o.result = result;
    o.seconds = seconds;
    o.transcript = host.Transcript();
    o.statuses = host.Statuses();
    o.boxes = host.MessageBoxTexts();
    o.cycleCodes = host.CycleCodes();
    return o;
}

double SecondsSince(std::chrono::steady_clock::time_point start) {
    return std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
}

CycleRig::CycleRig(const HealthyServers& servers, const std::string& remoteFile,
                   const std::string& iniName)
    : servers_(servers),
      remoteFile_(remoteFile),
      state_(work_.Path(), work_.File(iniName)),
      env_{resolver_, {}, [](const std::string&) { return false; }, {}} {
    WriteFile(work_.File("online.htm"), "<p>%H is %S at %WI (LAN %I)</p>");
    WriteFile(work_.File("offline.htm"), "<p>%H is %S</p>");
    Edit([&](AppSettings& s) {
        s.FTPServer = "127.0.0.1";
        s.SiteName = "Home";
        s.UserID = "tester";
        s.Password = "secret";
        s.OnlineFile = "online.htm";
        s.OfflineFile = "offline.htm";
        s.RemoteFile = remoteFile_;
        s.EnableFTP = 1;
        s.ProxyPassive = 1;
        s.SaveFileHTML = "Orvex.html";
        s.SaveFileASCII = "Orvex.txt";
        s.StartDelimiter = "REMOTE_ADDR:";
        s.EndDelimiter = "<br>";
        s.SuppressError = 1;
        // The shortest connect and lookup bounds there are.
        s.Timeout = 1;
    });
    Heal();
}

void CycleRig::PointLookupAt(const std::string& url) {
    state_.Ini().WriteString("LocalSettings", "WANIPURL", url);
}

void CycleRig::Heal() {
    PointFtpAt(servers_.ftp.Port());
    PointLookupAt(servers_.LookupUrl());
}

CycleOutcome CycleRig::RunOnline() {
    RecordingHost host;
    return RunOnline(host);
}

CycleOutcome CycleRig::RunOnline(RecordingHost& host) {
    const auto start = std::chrono::steady_clock::now();
    const int result = OnlineCycle(state_, host, DefaultClock(), env_);
    return Record(result, SecondsSince(start), host);
}

CycleOutcome CycleRig::RunOffline() {
    RecordingHost host;
    const auto start = std::chrono::steady_clock::now();
    const int result = OfflineCycle(state_, host, DefaultClock(), env_, false);
    return Record(result, SecondsSince(start), host);
}

std::string CycleRig::Published() const {
    const std::string path = servers_.ftpRoot.File(remoteFile_);
    return FileExists(path) ? ReadFile(path) : std::string();
}

void SendEndlessLine(int fd, int limitMs) {
    const std::string chunk(4096, 'x');
    const auto start = std::chrono::steady_clock::now();
    while (SecondsSince(start) * 1000 < limitMs) {
        pollfd p{fd, POLLOUT, 0};
        if (::poll(&p, 1, 100) <= 0) {
            continue;  // the reader is not taking more right now
        }
        if ((p.revents & (POLLERR | POLLHUP)) != 0 ||
            ::send(fd, chunk.data(), chunk.size(), MSG_NOSIGNAL | MSG_DONTWAIT) < 0) {
            return;
        }
    }
}

std::string OversizedMultiLineReply(const std::string& code, size_t bytes) {
    std::string reply = code + "-first of many lines\r\n";
    const std::string line = " " + std::string(1000, 'y') + "\r\n";
    while (reply.size() < bytes) {
        reply += line;
    }
    return reply;
}

namespace {

void LowerFileRights() {
    __user_cap_header_struct header{_LINUX_CAPABILITY_VERSION_3, 0};
    __user_cap_data_struct data[2] = {};
    if (::syscall(SYS_capget, &header, data) != 0) {
        return;
    }
    const unsigned mask =
        (1u << CAP_DAC_OVERRIDE) | (1u << CAP_DAC_READ_SEARCH) | (1u << CAP_FOWNER);
    data[0].effective &= ~mask;
    data[0].permitted &= ~mask;
    data[0].inheritable &= ~mask;
    ::syscall(SYS_capset, &header, data);
}

}  // namespace

ChildResult RunInChild(const ChildLimits& limits, const std::function<std::string()>& body) {
    ChildResult result;
    int pipeFds[2];
    if (::pipe2(pipeFds, O_CLOEXEC) != 0) {
        result.how = "no pipe";
        return result;
    }
    std::fflush(nullptr);
    const pid_t pid = ::fork();
    if (pid == 0) {
        ::close(pipeFds[0]);
        if (limits.withoutFileRights) {
            LowerFileRights();
        }
        if (limits.fileSizeLimit >= 0) {
            std::signal(SIGXFSZ, SIG_IGN);
            rlimit limit{};
            ::getrlimit(RLIMIT_FSIZE, &limit);
            limit.rlim_cur = static_cast<rlim_t>(limits.fileSizeLimit);
            ::setrlimit(RLIMIT_FSIZE, &limit);
        }
        const std::string output = body();
        size_t done = 0;
        while (done < output.size()) {
            const ssize_t n = ::write(pipeFds[1], output.data() + done, output.size() - done);
            if (n <= 0) {
                break;
            }
            done += static_cast<size_t>(n);
        }
        ::_exit(0);
    }
    ::close(pipeFds[1]);
    if (pid < 0) {
        ::close(pipeFds[0]);
        result.how = "fork failed";
        return result;
    }
    char buffer[4096];
    ssize_t n;
    while ((n = ::read(pipeFds[0], buffer, sizeof buffer)) > 0) {
        result.output.append(buffer, static_cast<size_t>(n));
    }
    ::close(pipeFds[0]);
    int status = 0;
    ::waitpid(pid, &status, 0);
    if (WIFEXITED(status)) {
        result.exited = WEXITSTATUS(status) == 0;
        result.how = "exit status " + std::to_string(WEXITSTATUS(status));
    } else if (WIFSIGNALED(status)) {
        result.how = "killed by signal " + std::to_string(WTERMSIG(status));
    }
    return result;
}

namespace {

// Fields separated by a unit separator, records by a record separator: host messages may
// hold line breaks but never these.
constexpr char kField = '\x1f';
constexpr char kRecord = '\x1e';

}  // namespace

std::string EncodeOutcome(const CycleOutcome& o) {
    std::ostringstream out;
    out << "R" << kField << o.result << kField << o.seconds << kRecord;
    for (const std::string& t : o.transcript) {
        out << "T" << kField << t << kRecord;
    }
    for (const std::string& s : o.statuses) {
        out << "S" << kField << s << kRecord;
    }
    for (const std::string& b : o.boxes) {
        out << "B" << kField << b << kRecord;
    }
    for (int c : o.cycleCodes) {
        out << "C" << kField << c << kRecord;
    }
    for (const std::string& s : o.windowStatuses) {
        out << "WS" << kField << s << kRecord;
    }
    for (const std::string& b : o.windowBoxes) {
        out << "WB" << kField << b << kRecord;
    }
    return out.str();
}

CycleOutcome DecodeOutcome(const std::string& text) {
    CycleOutcome o;
    o.result = 0;
    size_t start = 0;
    while (start < text.size()) {
        size_t end = text.find(kRecord, start);
        if (end == std::string::npos) {
            end = text.size();
        }
        const std::string record = text.substr(start, end - start);
        start = end + 1;
        const size_t sep = record.find(kField);
        if (sep == std::string::npos) {
            continue;
        }
        const std::string kind = record.substr(0, sep);
        const std::string value = record.substr(sep + 1);
        if (kind == "R") {
            const size_t second = value.find(kField);
            o.result = std::stoi(value.substr(0, second));
            o.seconds = std::stod(value.substr(second + 1));
        } else if (kind == "T") {
            o.transcript.push_back(value);
        } else if (kind == "S") {
            o.statuses.push_back(value);
        } else if (kind == "B") {
            o.boxes.push_back(value);
        } else if (kind == "C") {
            o.cycleCodes.push_back(std::stoi(value));
        } else if (kind == "WS") {
            o.windowStatuses.push_back(value);
        } else if (kind == "WB") {
            o.windowBoxes.push_back(value);
        }
    }
    return o;
}

bool CanCreateIn(const std::string& dir) {
    const std::string probe = dir + "/.probe";
    const int fd = ::open(probe.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0600);
    if (fd < 0) {
        return false;
    }
    ::close(fd);
    ::unlink(probe.c_str());
    return true;
}

}  // namespace orvex::test
