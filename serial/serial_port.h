#pragma once

#include <array>
#include <atomic>
#include <chrono>
#include <cstddef>
#include <cstdint>
#include <mutex>
#include <optional>
#include <string>
#include <thread>
#include <vector>

#include "data/message_sink.h"

namespace korvan {

inline constexpr int kFirstComPort = 1;
inline constexpr int kLastComPort = 4;

// Which device node serves each COM number. Defaults to the on-board ports
// /dev/ttyS0../dev/ttyS3; any entry may name another path (USB adapter, pseudo-terminal).
class SerialDeviceMap {
public:
    SerialDeviceMap();

    // Ignored for a number outside 1..4.
    void Set(int comPort, std::string devicePath);
    // Empty for a number outside 1..4.
    std::string DevicePath(int comPort) const;

private:
    std::array<std::string, kLastComPort> paths_;
};

// Why a port could not be opened: the device, the errno and a line for the operator.
struct SerialOpenError {
    std::string devicePath;
    int comPort = 0;
    int errorNumber = 0;

    // One status line: device, reason and, where there is one, the fix.
    std::string Describe() const;
};

// A serial line on a POSIX tty: 8N1, RTS raised, opened exclusively. A monitor thread hands
// incoming bytes to OnReceive in chunks of the reply length; a chunk also ends
// kInterByteTimeout after its last byte, or kChunkBaseTimeout + kChunkBaseTimeout per byte
// after it began. Every read and write is serialised by one port lock.
class SerialPort {
public:
    static constexpr std::chrono::milliseconds kInterByteTimeout{1000};
    static constexpr std::chrono::milliseconds kChunkBaseTimeout{1000};

    SerialPort();
    virtual ~SerialPort();
    SerialPort(const SerialPort&) = delete;
    SerialPort& operator=(const SerialPort&) = delete;

    // Opens and configures `devicePath`. Returns 1 when the device is open, 0 when it could
    // not be opened (lastOpenError() tells why; no message is shown). A failing
    // configuration step shows its error but leaves the port open. A running monitor is
    // stopped first.
    int Open(MessageSink& messages, const std::string& devicePath, int portNumber, int baud);
    std::optional<SerialOpenError> lastOpenError() const;

    // Starts the monitor thread. Returns 1 when it runs.
    int StartMonitoring();
    // Ends the monitor thread and waits for it; OnReceive is not called afterwards.
    // Derived classes call it first in their destructor.
    void StopMonitoring();
    // Closes the device; the monitor must be stopped first.
    void ClosePort();

    void SetReplyLength(std::size_t length);
    std::size_t replyLength() const;

    // Discards unread input, writes `count` bytes and waits until they have left. Returns the number of bytes written.
    std::size_t WriteBlock(const std::uint8_t* data, std::size_t count);

    // "WARNING:  <what> Failed with the following error: ..." with errno's text.
    void ShowPortError(const std::string& what, int errorNumber) const;

    bool isOpen() const { return fd_.load() >= 0; }
    bool monitorRunning() const { return threadRunning_.load(); }

protected:
    // On the monitor thread, outside the port lock: one received chunk (count may be short).
    virtual void OnReceive(const std::uint8_t* buffer, std::size_t count) = 0;
    // On the monitor thread: the deadline set by ArmAnswerDeadline passed with no
    // DisarmAnswerDeadline in between.
    virtual void OnAnswerTimeout() {}

    // The monitor thread watches for this deadline as well as for bytes.
    void ArmAnswerDeadline(std::chrono::milliseconds fromNow);
    void DisarmAnswerDeadline();

    // How many writes have gone out since the port was opened.
    std::uint64_t WritesSoFar() const;
    // Inside OnReceive: how many writes had gone out when the chunk being handled began, so
    // a chunk can be told apart from the answer to anything sent after it.
    std::uint64_t WritesBeforeThisChunk() const { return writesBeforeChunk_; }

private:
    void MonitorLoop();
    // Reads one chunk under the port lock into `chunk`; false when the line hung up.
    // `stop` is set when shutdown interrupted the chunk.
    bool ReceiveChunk(std::vector<std::uint8_t>& chunk, std::size_t& received, bool& stop);
    // Milliseconds until the answer deadline (-1 when none); fires it when it passed.
    int TimeUntilDeadlineOrFire();
    void SignalShutdown();

    mutable std::mutex portLock_;  // guards fd use, the receive buffer and reply length
    std::atomic<int> fd_{-1};
    int wakeFd_ = -1;  // eventfd: wakes the monitor for shutdown
    std::size_t replyLength_ = 18;
    std::uint64_t writesSent_ = 0;         // guarded by portLock_
    std::uint64_t writesBeforeChunk_ = 0;  // monitor thread only

    std::thread monitor_;
    std::atomic<bool> threadRunning_{false};
    std::atomic<bool> shutdown_{false};

    std::atomic<int> portNumber_{0};
    std::atomic<MessageSink*> messages_{nullptr};
    std::optional<SerialOpenError> openError_;  // guarded by portLock_

    mutable std::mutex deadlineLock_;
    std::optional<std::chrono::steady_clock::time_point> answerDeadline_;
};

}  // namespace korvan
