#pragma once

#include <cstddef>
#include <string>
#include <utility>
#include <vector>

namespace orvex {

// One program to start: posix_spawn (never fork: the program has other threads), in a process
// group of its own, with default signal handling and no blocked signals whatever the program
// set for itself, standard input from /dev/null and none of the program's other descriptors.
struct ChildRequest {
    // The program (a path; no PATH search) and its arguments.
    std::vector<std::string> arguments;
    // Variables set on top of the program's own environment (replacing ones of the same name).
    std::vector<std::pair<std::string, std::string>> environment;
    // The child's working folder; empty: the program's own.
    std::string workDir;
    // RunChild: how long the child may run before its whole process group is killed.
    long boundMs = 15000;
    // RunChild: bytes of output kept (standard output and standard error together); the rest
    // is read and dropped, so a chatty child never blocks on a full pipe.
    size_t outputLimit = 4096;
};

struct ChildResult {
    enum class Outcome {
        kNotStarted,  // startError says why
        kExited,      // status is the exit status
        kSignalled,   // status is the signal that ended it
        kTimedOut,    // the bound passed; the group was killed
    };
    Outcome outcome = Outcome::kNotStarted;
    int status = 0;
    int startError = 0;  // an errno value
    std::string output;
};

// Runs the child and waits for it, within request.boundMs. Output a child left running in the
// background still writes after the child has ended is waited for only briefly.
ChildResult RunChild(const ChildRequest& request);

// Starts the child with its output going to /dev/null and lets it go: it is reaped on a
// thread of its own whenever it ends, so a long-lived viewer never becomes a zombie. 0 when it
// started, else the errno that stopped it (ENOENT for a program that is not there).
int StartChild(const ChildRequest& request);

}  // namespace orvex
