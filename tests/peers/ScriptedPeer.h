#pragma once

#include <atomic>
#include <cstdint>
#include <functional>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

namespace orvex::test {

// A TCP peer on 127.0.0.1 that plays a script of steps against one connection after another,
// records every byte it receives and notes every step that did not go as scripted.
//
//     ScriptedPeer peer;
//     peer.SendLine("220 ready").Expect("USER joe").SendLine("331 pass").Close();
//     peer.Start();
//     ... run the client against peer.Port() ...
//     EXPECT_TRUE(peer.Finish()) << peer.Report();
//
// The first step that needs a connection accepts one; Accept() accepts the next. Every read
// gives up after the step time-out (10 s by default), so a test never hangs on its peer.
class ScriptedPeer {
public:
    ScriptedPeer();
    // Listens on a given IPv4 address and port instead (a peer for a client that always calls
    // one port); Port() is 0 when that cannot be bound.
    ScriptedPeer(const std::string& address, uint16_t port);
    ~ScriptedPeer();
    ScriptedPeer(const ScriptedPeer&) = delete;
    ScriptedPeer& operator=(const ScriptedPeer&) = delete;

    uint16_t Port() const { return port_; }

    // --- script steps (add them before Start) ---
    ScriptedPeer& Accept();
    ScriptedPeer& Send(const std::string& bytes);
    ScriptedPeer& SendLine(const std::string& line);  // line + "\r\n"
    // Bytes computed when the step runs (for replies naming another peer's port).
    ScriptedPeer& SendComputed(std::function<std::string()> bytes);
    // Reads one line (up to "\n"); it must equal `line` once its line end is taken off.
    ScriptedPeer& Expect(const std::string& line);
    ScriptedPeer& ExpectPrefix(const std::string& prefix);
    ScriptedPeer& ReadLine();
    // Reads until the bytes received on this connection end with `marker`.
    ScriptedPeer& ReadUntil(const std::string& marker);
    // Reads until the client closes the connection.
    ScriptedPeer& ReadToEnd();
    ScriptedPeer& Pause(int milliseconds);
    // Sends `bytes` one at a time, each after a pause of `intervalMs` (a server that trickles).
    ScriptedPeer& Trickle(const std::string& bytes, int intervalMs);
    // Keeps the connection open and silent until the client closes it or the peer stops.
    ScriptedPeer& Hold();
    ScriptedPeer& Close();
    // A step of the test's own on the connected socket (-1 when none).
    ScriptedPeer& Do(std::function<void(int fd)> step);

    ScriptedPeer& SetStepTimeout(int milliseconds);

    // Runs the script on a thread of its own.
    void Start();
    // Waits for the script to end; true when it ran to the end without a mismatch.
    bool Finish(int timeoutMs = 15000);
    // Ends the script at once (closing every socket) and waits for the thread.
    void Stop();

    // Everything received so far on every connection, in order.
    std::string Received() const;
    // The received bytes split into lines, line ends taken off.
    std::vector<std::string> ReceivedLines() const;
    // Number of connections accepted.
    int Connections() const { return connections_.load(); }
    std::vector<std::string> Errors() const;
    // Errors and received lines, for a failing assertion's message.
    std::string Report() const;

private:
    struct Step {
        enum Kind {
            kAccept,
            kSend,
            kExpect,
            kExpectPrefix,
            kReadLine,
            kReadUntil,
            kReadToEnd,
            kPause,
            kHold,
            kClose,
            kDo
        } kind;
        std::string text;
        int number = 0;
        std::function<std::string()> computed;
        std::function<void(int)> action;
    };

    ScriptedPeer& Add(Step step);
    void Run();
    bool EnsureConnected();
    bool AcceptOne();
    bool ReadMore(int timeoutMs);
    bool TakeLine(std::string* line);
    void Fail(const std::string& what);
    void CloseClient();

    int listenFd_ = -1;
    int clientFd_ = -1;
    uint16_t port_ = 0;
    int stepTimeoutMs_ = 10000;
    std::vector<Step> steps_;
    std::thread thread_;
    std::atomic<bool> stop_{false};
    std::atomic<bool> done_{false};
    std::atomic<int> connections_{0};
    std::string pending_;  // received on this connection, not yet consumed by a step
    std::string connectionBytes_;

    mutable std::mutex mutex_;
    std::string received_;
    std::vector<std::string> errors_;
};

}  // namespace orvex::test
