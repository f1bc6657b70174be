// Times the expansion of a full-size template: 32,000 bytes holding 2,000 tokens.
#include <chrono>
#include <cstdio>
#include <string>
#include <vector>

#include "ManualClock.h"
#include "TempDir.h"
#include "page/TemplateExpansion.h"

int main(int argc, char** argv) {
    using namespace orvex;
    const int rounds = argc > 1 ? std::stoi(argv[1]) : 200;
    const std::vector<std::string> tokens = {"%WI", "%I",  "%D",  "%T",  "%24T", "%W",   "%H",
                                             "%S",  "%P0", "%P1", "%P2", "%P9",  "%P10", "%P11"};
    std::string text;
    for (int i = 0; i < 2000; ++i) {
        std::string chunk = tokens[i % tokens.size()] + " <td>";
        chunk.resize(16, '.');
        text += chunk;
    }
    test::TempDir dir;
    test::WriteFile(dir.File("in.htm"), text);

    PageValues values;
    values.currentLanIp = "192.168.1.20";
    values.currentWanIp = "203.0.113.7";
    values.siteName = "My FTP Site";
    values.connectionState = "Online";
    values.statusIndicators = "RUNNING/NOT RUNNING";
    values.saveFileHtml = "Orvex.html";
    values.saveFileAscii = "Orvex.txt";
    values.workDir = dir.Path();
    for (int n = 0; n < 12; ++n) {
        values.programs.push_back(
            {n, "%P" + std::to_string(n), "Program " + std::to_string(n), ""});
    }
    test::ManualClock clock(test::LocalTimeOf(2004, 4, 27, 13, 5, 9));
    NullHost host;
    auto finder = [](const std::string& title) { return title.size() % 2 == 0; };

    auto start = std::chrono::steady_clock::now();
    for (int i = 0; i < rounds; ++i) {
        ExpandTemplate("in.htm", "Online.txt", values, host, clock, finder);
    }
    double total =
        std::chrono::duration<double, std::micro>(std::chrono::steady_clock::now() - start).count();
    std::printf("template %zu bytes, 2000 tokens, 12 programs, 3 files written\n", text.size());
    std::printf("expansion: %.1f us per call (mean of %d)\n", total / rounds, rounds);
    std::printf("output %zu bytes\n", test::ReadFile(dir.File("Online.txt")).size());
    return 0;
}
