#pragma once

#include <array>
#include <atomic>
#include <cstdint>
#include <memory>
#include <mutex>
#include <string>

#include "platform/Clock.h"
#include "platform/TlsSession.h"

namespace orvex {

// Results of the socket layer: 1000 (or a count) on success, negative on failure.
inline constexpr int kVsOk = 1000;
inline constexpr int kVsClosed = -1;  // peer closed, or not writable in time
inline constexpr int kVsNoFreeSlot = -1002;
inline constexpr int kVsBadSlot = -1003;
inline constexpr int kVsBadPollKind = -1004;
inline constexpr int kVsCannotCreate = -1005;
inline constexpr int kVsZeroAddress = -1007;
inline constexpr int kVsNameTooLong = -1008;
inline constexpr int kVsUnresolved = -1009;
inline constexpr int kVsBadCount = -1010;
inline constexpr int kVsTlsFailed = -1011;      // the handshake failed; TlsError() tells why
inline constexpr int kVsTlsNotTrusted = -1012;  // the server's certificate did not verify

enum VsPollKind { kVsReadable = 1, kVsWritable = 2, kVsError = 3 };

// The WinSock number for a POSIX errno (10061 for ECONNREFUSED, ...), so callers can show the
// socket texts the engine holds; 10050 when there is no closer match.
int WinSockCode(int posixErrno);

// "Four decimal fields, each below 256, separated by '.'" converted to a host-order address.
bool ParseDottedAddress(const std::string& text, uint32_t* address);

// Host name (at most 127 characters) to an IPv4 address in host byte order: a dotted address
// directly, anything else through the shared resolver (0 for a name with IPv6 addresses only).
// Returns kVsOk, kVsNameTooLong or kVsUnresolved.
int ResolveHostName(const std::string& name, uint32_t* address);

// The mail engine's socket layer: numbered slots over IPv4 or IPv6 TCP sockets, a 256-byte receive
// ring per slot, zero-time-out polls and bounded waits. Slot allocation is locked; a slot is
// used by one thread at a time (the one driving its channel). Sockets are non-blocking so no
// call can hang on a stalled peer: every wait is bounded and runs on real time.
class VSock {
public:
    static constexpr int kMaxSlots = 32;
    static constexpr size_t kRingSize = 256;
    static constexpr size_t kMaxHostName = 127;
    static constexpr int kNextAddressAfterMs = 3000;

    VSock() = default;
    ~VSock();
    VSock(const VSock&) = delete;
    VSock& operator=(const VSock&) = delete;

    // Keeps min(wanted, 32) slots, all free. A socket still open from an earlier start is
    // closed. Returns kVsOk. `pollSleepMs` (the engine's poll sleep) is taken and has nothing
    // to pace: a bounded wait ends the moment the socket is ready.
    // (`clock` is accepted for callers that pass the engine's; nothing here sleeps on it.)
    int Start(int wanted, int pollSleepMs, Clock& clock = DefaultClock());
    // Closes sockets still open and keeps no slots. Returns kVsOk.
    int End();
    int SlotCount() const { return slotCount_.load(); }

    // Lowest free slot with a new TCP socket; kVsNoFreeSlot or kVsCannotCreate.
    int CreateSocket();
    // kVsOk, kVsBadSlot, kVsNameTooLong or kVsUnresolved; the address is kept in the slot.
    int ResolveHost(int slot, const std::string& name);
    // Starts connecting to the slot's host (resolved again here) and port: kVsOk, also while
    // the connection is still being made, else the negated WinSock code. A name with several
    // addresses has them tried in turn (IPv4 first; a new socket of the address's family each
    // time), each but the last for at most kNextAddressAfterMs.
    int Connect(int slot, const std::string& name, int port);
    // Accepted for callers that ask for a non-blocking connect; sockets never block here.
    int SetBlocking(int slot, bool on);
    // Non-zero when the socket is in that state now (zero time-out); kVsBadPollKind.
    int Poll(int slot, int kind);
    // 1 when writable within `ms` (0 = one check), 0 on time-out or socket error.
    int WaitWritable(int slot, int ms);
    // 1 when the ring holds data or the socket turns readable within `ms`, else 0.
    int WaitReadable(int slot, int ms);
    // Why the slot's connection failed: the socket's pending error, else the error of the
    // last address Connect tried (an errno value); 0 when none is known.
    int ConnectError(int slot);
    // Sends all bytes: the count; kVsBadCount for a count below 1; kVsClosed when the socket
    // is not writable within the send stall; the negated WinSock code when sending fails
    // (which also clears the connected flag).
    // `more`: further bytes follow at once, so the kernel may hold these for a fuller
    // segment; the next send without it pushes everything out.
    int Send(int slot, const char* bytes, int count, bool more = false);
    // Text plus CR LF: one send up to 125 characters, else the text and CR LF separately.
    // Returns the bytes sent or Send's failure.
    int SendLine(int slot, const std::string& text, bool more = false);
    // One line (through its LF) of at most size - 1 bytes into `out`: the count, 0 when none
    // is there within `firstWaitMs`, kVsClosed when the peer has closed. A line arriving in
    // pieces is completed while more comes within `nextWaitMs`.
    int ReadLine(int slot, std::string& out, int size, int firstWaitMs, int nextWaitMs);
    // Runs a client TLS handshake on the connected slot within `limitMs`, naming `serverName`
    // (SNI and the certificate check). From then on sends, reads and the readiness waits go
    // through TLS. kVsOk, kVsTlsNotTrusted or kVsTlsFailed (TlsError() holds the reason).
    int StartTls(int slot, const std::string& serverName, const TlsOptions& options, int limitMs);
    // The reason of the slot's last TLS failure, and its protocol ("TLSv1.3"; "" without TLS).
    std::string TlsError(int slot) const;
    std::string TlsVersion(int slot) const;

    // Lingering close (bounded to 1 s) without a pause after it; frees the slot. kVsOk or the
    // negated WinSock code.
    int Close(int slot);
    // The connected flag (1 or 0) or kVsBadSlot.
    int Connected(int slot);
    void EmptyReceiveBuffer(int slot);
    // How long a send may wait for room in the socket's buffer before it fails.
    void SetSendStall(int ms) { sendStallMs_ = ms; }
    uint32_t Address(int slot) const;

private:
    enum class SlotState { kFree, kReserved, kOpen };
    struct Slot {
        SlotState state = SlotState::kFree;
        int fd = -1;
        bool connected = false;
        uint32_t address = 0;
        int port = 0;
        int connectError = 0;
        std::string host;
        std::array<char, kRingSize> ring{};
        size_t readPos = 0;
        size_t writePos = 0;
        std::unique_ptr<TlsSession> tls;  // set once StartTls succeeds
        std::string tlsError;
        std::string plain;  // read through TLS, not yet in the ring
    };

    bool Valid(int slot) const { return slot >= 0 && slot < slotCount_.load(); }
    size_t RingUsed(const Slot& s) const { return (s.writePos - s.readPos) % kRingSize; }
    int PollEvents(int fd, short events, int timeoutMs) const;
    int WaitFor(int slot, short events, int ms);
    // Receives what fits into an empty ring: bytes received, 0 when none was there,
    // kVsClosed when the peer closed or the socket failed.
    int Fill(Slot& s);
    void CloseAllLocked();

    std::mutex mutex_;  // slot allocation and state
    std::array<Slot, kMaxSlots> slots_{};
    std::atomic<int> slotCount_{0};
    std::atomic<int> sendStallMs_{25000};
};

}  // namespace orvex
