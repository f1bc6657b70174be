// Times LogEvent on a 100,000-line log: first line young (a one-line scan) and first line old
// (one rewrite).
#include <chrono>
#include <cstdio>
#include <string>

#include "LogTestSupport.h"
#include "ManualClock.h"
#include "TempDir.h"
#include "log/EventLog.h"

namespace {

constexpr int kLines = 100000;

std::string MakeLog(const std::string& firstDate) {
    const std::string text = "System Online:   LAN IP: 192.168.1.20, WAN IP: 203.0.113.7";
    std::string log = orvex::test::LogLine(firstDate, text);
    for (int i = 1; i < kLines; ++i) {
        log += orvex::test::LogLine("04/27/04", text);
    }
    return log;
}

}  // namespace

int main(int argc, char** argv) {
    using namespace orvex;
    const int youngRounds = argc > 1 ? std::stoi(argv[1]) : 2000;
    const int oldRounds = argc > 2 ? std::stoi(argv[2]) : 20;
    test::TempDir dir;
    test::ManualClock clock(test::UtcTimeOf(2004, 4, 27, 12, 0, 0));
    NullHost host;
    LogSettings settings;
    settings.IsLogging = 1;
    settings.LogFilename = "Orvex.log";
    settings.MaxLog = 3;
    settings.workDir = dir.Path();
    using Micro = std::chrono::duration<double, std::micro>;

    const std::string young = MakeLog("04/26/04");
    std::printf("log of %d lines, %zu bytes\n", kLines, young.size());
    for (int maxLog : {0, 3}) {
        settings.MaxLog = maxLog;
        test::WriteFile(dir.File("Orvex.log"), young);
        auto start = std::chrono::steady_clock::now();
        for (int i = 0; i < youngRounds; ++i) {
            LogEvent("Successfully sent email.", settings, host, clock);
        }
        double us = Micro(std::chrono::steady_clock::now() - start).count() / youngRounds;
        std::printf("young first line, MaxLog %d: %.1f us per event (mean of %d)\n", maxLog, us,
                    youngRounds);
    }

    settings.MaxLog = 3;
    const std::string old = MakeLog("04/01/04");
    double total = 0;
    for (int i = 0; i < oldRounds; ++i) {
        test::WriteFile(dir.File("Orvex.log"), old);
        auto start = std::chrono::steady_clock::now();
        LogEvent("Successfully sent email.", settings, host, clock);
        total += Micro(std::chrono::steady_clock::now() - start).count();
    }
    std::printf("old first line (rewrite of %d lines): %.1f ms per event (mean of %d)\n",
                kLines - 1, total / oldRounds / 1000, oldRounds);
    return 0;
}
