#pragma once

#include <sys/types.h>

#include <functional>
#include <map>
#include <string>
#include <vector>

namespace orvex::test {

// The built program started in a directory of the test's own, offscreen, with its own
// runtime directory so it never meets a copy the user runs.
class ProgramRun {
public:
    ProgramRun(const std::string& workDir, const std::string& runtimeDir,
               const std::map<std::string, std::string>& extraEnv = {},
               const std::vector<std::string>& args = {});
    ~ProgramRun();

    pid_t Pid() const { return pid_; }
    bool Running();
    // Waits up to `timeoutMs` for the process to end; its exit code, or -1 when it is still
    // running (or died of a signal).
    int WaitExit(int timeoutMs);
    void Terminate();

private:
    pid_t pid_ = -1;
    int status_ = -1;
};

// Polls `condition` every 20 ms until it holds or `timeoutMs` passes.
bool WaitFor(int timeoutMs, const std::function<bool()>& condition);

}  // namespace orvex::test
