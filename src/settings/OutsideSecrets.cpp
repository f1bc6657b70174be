#include "settings/OutsideSecrets.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "platform/PathMap.h"
#include "platform/TextUtil.h"

namespace orvex {

namespace {

// More than any password; a longer file is not a secret of ours.
constexpr size_t kMaxSecretFileBytes = 4096;

// The first line of the file at `path`, refused when others may read it.
OutsideSecret ReadSecretFile(const std::string& path, std::string source) {
    OutsideSecret out;
    out.given = true;
    out.source = std::move(source);
    const int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NOCTTY);
    if (fd < 0) {
        out.error = "cannot read " + path + ": " + std::strerror(errno);
        return out;
    }
    struct stat info {};
    if (::fstat(fd, &info) != 0 || !S_ISREG(info.st_mode)) {
        ::close(fd);
        out.error = path + " is not a file";
        return out;
    }
    if ((info.st_mode & (S_IROTH | S_IWOTH)) != 0) {
        ::close(fd);
        char mode[8];
        std::snprintf(mode, sizeof mode, "%04o", static_cast<unsigned>(info.st_mode & 07777));
        out.error = path + " may be read or changed by other users (mode " + mode +
                    "); make it private first: chmod o-rw " + path;
        return out;
    }
    std::string text;
    char buffer[1024];
    for (;;) {
        const ssize_t n = ::read(fd, buffer, sizeof buffer);
        if (n < 0 && errno == EINTR) {
            continue;
        }
        if (n < 0) {
            out.error = "cannot read " + path + ": " + std::strerror(errno);
            ::close(fd);
            return out;
        }
        if (n == 0 || text.size() > kMaxSecretFileBytes) {
            break;
        }
        text.append(buffer, static_cast<size_t>(n));
    }
    ::close(fd);
    text = text.substr(0, text.find('\n'));
    if (!text.empty() && text.back() == '\r') {
        text.pop_back();
    }
    if (text.empty()) {
        out.error = "the first line of " + path + " is empty";
        return out;
    }
    out.secret = text;
    return out;
}

bool CredentialExists(const std::string& key, const std::string& credentialsDir) {
    struct stat info {};
    return !credentialsDir.empty() && ::stat((credentialsDir + "/" + key).c_str(), &info) == 0;
}

}  // namespace

std::string CredentialsDirectory() {
    const char* dir = std::getenv("CREDENTIALS_DIRECTORY");
    return dir == nullptr ? std::string() : std::string(dir);
}

OutsideSecret ReadOutsideSecret(const std::string& key, const std::string& file,
                                const std::string& iniDir, const std::string& credentialsDir) {
    if (CredentialExists(key, credentialsDir)) {
        return ReadSecretFile(credentialsDir + "/" + key, "credential " + key);
    }
    const std::string name = TrimBlanks(file);
    if (name.empty()) {
        return {};
    }
    const std::string path = MapPath(iniDir, name);
    return ReadSecretFile(path, "file " + path);
}

std::vector<std::pair<std::string, std::string>> ApplyOutsideSecrets(
    AppSettings& s, const std::string& iniDir, const std::string& credentialsDir) {
    std::vector<std::pair<std::string, std::string>> problems;
    auto apply = [&](const std::string& key, const std::string& file, std::string& password) {
        const OutsideSecret secret = ReadOutsideSecret(key, file, iniDir, credentialsDir);
        if (!secret.given) {
            return;
        }
        password = secret.secret;
        if (!secret.error.empty()) {
            problems.emplace_back(key, secret.error);
        }
    };
    apply("Password", s.PasswordFile, s.Password);
    apply("EmailPassword", s.EmailPasswordFile, s.EmailPassword);
    apply("ProxyPass", s.ProxyPassFile, s.ProxyPass);
    for (size_t i = 0; i < s.DynamicDns.size(); ++i) {
        DynamicDnsEntry& e = s.DynamicDns[i];
        const std::string n = std::to_string(i + 1);
        apply("Password" + n, e.PasswordFile, e.Password);
        apply("TSIGSecret" + n, e.TSIGSecretFile, e.TSIGSecret);
    }
    return problems;
}

std::vector<std::pair<std::string, std::string*>> PasswordSlots(AppSettings& s,
                                                                FtpPageValues& page) {
    return {{"Password", &page.Password},
            {"EmailPassword", &s.EmailPassword},
            {"ProxyPass", &s.ProxyPass}};
}

bool FtpPasswordKeptOutside(const AppSettings& settings, const std::string& credentialsDir) {
    return !TrimBlanks(settings.PasswordFile).empty() ||
           CredentialExists("Password", credentialsDir);
}

}  // namespace orvex
