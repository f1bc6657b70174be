// Upload and download timing of CFtpLink::Transfer against curl, side by side against the same
// pyftpdlib server on loopback. Not a test; build in Release and run by hand:
//
//   ftp_bench [--mb 100] [--rounds 5] [--active]     start a server, alternate both clients
//   ftp_bench put|get PORT LOCAL REMOTE [--active]   one transfer against a running server
//
// Both clients log on, move the file and quit; curl's times include starting its process.
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <functional>
#include <string>
#include <vector>

#include "ServerProcess.h"
#include "TempDir.h"
#include "ftp/FtpLink.h"

namespace {

using orvex::CFtpLink;
using orvex::FtpLogonParams;

constexpr const char* kUser = "bench";
constexpr const char* kPassword = "bench";

bool OneTransfer(int port, const std::string& local, const std::string& remote, bool download,
                 bool passive) {
    CFtpLink link(15);
    FtpLogonParams params;
    params.Host = "127.0.0.1";
    params.Port = port;
    params.User = kUser;
    params.Password = kPassword;
    if (!link.Logon(params)) {
        std::fprintf(stderr, "logon failed: %s %s\n", link.ReplyText().c_str(),
                     link.FailureDetail().c_str());
        return false;
    }
    bool ok = link.Transfer(remote, local, passive, download);
    if (!ok) {
        std::fprintf(stderr, "transfer failed: %s %s\n", link.ReplyText().c_str(),
                     link.FailureDetail().c_str());
    }
    link.Quit();
    return ok;
}

bool RunCurl(int port, const std::string& local, const std::string& remote, bool download,
             bool passive) {
    std::string url = "ftp://" + std::string(kUser) + ":" + kPassword +
                      "@127.0.0.1:" + std::to_string(port) + "/" + remote;
    std::vector<std::string> args = {"curl", "-s", "-S"};
    if (!passive) {
        args.insert(args.end(), {"-P", "-"});
    }
    args.insert(args.end(), {download ? "-o" : "-T", local, url});
    pid_t pid = ::fork();
    if (pid == 0) {
        std::vector<char*> argv;
        for (std::string& a : args) {
            argv.push_back(a.data());
        }
        argv.push_back(nullptr);
        ::execvp("curl", argv.data());
        ::_exit(127);
    }
    int status = 0;
    ::waitpid(pid, &status, 0);
    return WIFEXITED(status) && WEXITSTATUS(status) == 0;
}

double Seconds(const std::function<bool()>& run) {
    auto start = std::chrono::steady_clock::now();
    if (!run()) {
        std::fprintf(stderr, "a run failed\n");
        std::exit(1);
    }
    return std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
}

double Median(std::vector<double> values) {
    std::sort(values.begin(), values.end());
    size_t n = values.size();
    return n % 2 ? values[n / 2] : (values[n / 2 - 1] + values[n / 2]) / 2;
}

off_t FileSize(const std::string& path) {
    struct stat info {};
    return ::stat(path.c_str(), &info) == 0 ? info.st_size : -1;
}

int SideBySide(int megabytes, int rounds, bool passive) {
    orvex::test::TempDir root, work;
    orvex::test::ServerProcess server(
        orvex::test::kPython, {orvex::test::PeerScript("ftp_server.py"), "--root", root.Path(),
                               "--user", kUser, "--password", kPassword, "--quiet"});
    if (!server.Ready()) {
        std::fprintf(stderr, "server did not start\n");
        return 1;
    }
    const std::string source = work.File("source.bin");
    {
        std::vector<char> block(1 << 20);
        for (size_t i = 0; i < block.size(); ++i) {
            block[i] = static_cast<char>((i * 131 + i / 977) & 0xff);
        }
        std::ofstream out(source, std::ios::binary);
        for (int i = 0; i < megabytes; ++i) {
            block[0] = static_cast<char>(i);
            out.write(block.data(), static_cast<std::streamsize>(block.size()));
        }
    }
    const off_t size = FileSize(source);
    const int port = server.Port();
    std::printf("%d MB, %s mode, %d rounds, pyftpdlib on 127.0.0.1:%d\n", megabytes,
                passive ? "passive" : "active", rounds, port);

    std::vector<double> up, curlUp, down, curlDown, upRatio, downRatio;
    for (int r = 0; r < rounds; ++r) {
        // Alternate which client goes first so drift hits both alike.
        bool oursFirst = r % 2 == 0;
        auto ours = [&] {
            return Seconds([&] { return OneTransfer(port, source, "a.bin", false, passive); });
        };
        auto theirs = [&] {
            return Seconds([&] { return RunCurl(port, source, "b.bin", false, passive); });
        };
        double a = oursFirst ? ours() : 0, b = theirs();
        if (!oursFirst) {
            a = ours();
        }
        up.push_back(a);
        curlUp.push_back(b);
        upRatio.push_back(a / b);

        const std::string gotA = work.File("got-a.bin"), gotB = work.File("got-b.bin");
        auto oursDown = [&] {
            return Seconds([&] { return OneTransfer(port, gotA, "a.bin", true, passive); });
        };
        auto theirsDown = [&] {
            return Seconds([&] { return RunCurl(port, gotB, "b.bin", true, passive); });
        };
        double c = oursFirst ? oursDown() : 0, d = theirsDown();
        if (!oursFirst) {
            c = oursDown();
        }
        down.push_back(c);
        curlDown.push_back(d);
        downRatio.push_back(c / d);
        if (FileSize(root.File("a.bin")) != size || FileSize(gotA) != size ||
            FileSize(gotB) != size) {
            std::fprintf(stderr, "sizes differ\n");
            return 1;
        }
        std::printf(
            "round %d: upload %.3f s vs curl %.3f s (%.3f)  download %.3f s vs curl "
            "%.3f s (%.3f)\n",
            r + 1, a, b, a / b, c, d, c / d);
    }
    std::printf("median upload:   Transfer %.3f s, curl %.3f s, ratio of pairs %.3f\n", Median(up),
                Median(curlUp), Median(upRatio));
    std::printf("median download: Transfer %.3f s, curl %.3f s, ratio of pairs %.3f\n",
                Median(down), Median(curlDown), Median(downRatio));
    return 0;
}

}  // namespace

int main(int argc, char** argv) {
    std::vector<std::string> args(argv + 1, argv + argc);
    bool passive = std::find(args.begin(), args.end(), "--active") == args.end();
    if (!args.empty() && (args[0] == "put" || args[0] == "get") && args.size() >= 4) {
        return OneTransfer(std::atoi(args[1].c_str()), args[2], args[3], args[0] == "get", passive)
                   ? 0
                   : 1;
    }
    int megabytes = 100, rounds = 5;
    for (size_t i = 0; i + 1 < args.size(); ++i) {
        if (args[i] == "--mb") {
            megabytes = std::atoi(args[i + 1].c_str());
        } else if (args[i] == "--rounds") {
            rounds = std::atoi(args[i + 1].c_str());
        }
    }
    return SideBySide(megabytes, rounds, passive);
}
