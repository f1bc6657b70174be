#pragma once

#include <sys/types.h>

#include <functional>
#include <map>
#include <string>
#include <vector>

namespace orvex::test {

// The built orvexd run with arguments in a start-up folder of the test's own, with its own
// runtime directory; standard output and standard error go to files the test reads.
class ServiceRun {
public:
    // `env` is set in the service's environment besides XDG_RUNTIME_DIR.
    ServiceRun(const std::string& workDir, const std::string& runtimeDir,
               const std::vector<std::string>& args = {},
               const std::map<std::string, std::string>& env = {});
    ~ServiceRun();
    ServiceRun(const ServiceRun&) = delete;
    ServiceRun& operator=(const ServiceRun&) = delete;

    pid_t Pid() const { return pid_; }
    bool Running();
    // Waits up to `timeoutMs` for the end; the exit code, 128 + the signal for a process ended
    // by one, or -1 while it still runs.
    int WaitExit(int timeoutMs);
    void Signal(int signo);

    std::string Output() const;
    std::string Errors() const;
    // Waits up to `timeoutMs` for a line of output containing `text`.
    bool OutputHas(const std::string& text, int timeoutMs) const;

private:
    pid_t pid_ = -1;
    int status_ = -1;
    std::string outPath_;
    std::string errPath_;
};

// Polls `condition` every 20 ms until it holds or `timeoutMs` passes.
bool WaitUntil(int timeoutMs, const std::function<bool()>& condition);

// Runs orvexd with `args` to its end (at most `timeoutMs`); its exit code and output.
struct ServiceResult {
    int code = -1;
    std::string out;
    std::string err;
};
ServiceResult RunService(const std::string& workDir, const std::string& runtimeDir,
                         const std::vector<std::string>& args, int timeoutMs = 30000,
                         const std::map<std::string, std::string>& env = {});

}  // namespace orvex::test
