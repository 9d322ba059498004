#pragma once

#include <array>
#include <atomic>
#include <chrono>
#include <cstddef>
#include <cstdint>
#include <mutex>
#include <optional>
#include <string>
#include <utility>
#include <thread>
#include <vector>

#include "data/message_sink.h"
#include "serial/serial_transport.h"

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

// A serial line on a POSIX tty: 8N1, RTS raised, opened exclusively. A chunk ends at the reply
// length, kInterByteTimeout after its last byte, kChunkBaseTimeout + kChunkBaseTimeout per byte
// after it began, or when a write goes out. The monitor reads without any lock a writer waits
// for: a write only takes the chunk edge lock, which is held around single non-blocking reads.
class SerialPort final : public SerialTransport {
public:
    static constexpr std::chrono::milliseconds kInterByteTimeout{1000};
    static constexpr std::chrono::milliseconds kChunkBaseTimeout{1000};

    SerialPort();
    ~SerialPort() override;
    SerialPort(const SerialPort&) = delete;
    SerialPort& operator=(const SerialPort&) = delete;

    bool Open(MessageSink& messages, const std::string& devicePath, int portNumber, int baud) override;
    std::optional<SerialOpenError> lastOpenError() const override;
    bool StartMonitoring(SerialReceiver& receiver) override;
    void StopMonitoring() override;
    void Close() override;

    void SetReplyLength(std::size_t length) override { replyLength_ = length; }
    std::size_t replyLength() const override { return replyLength_.load(); }

    std::size_t WriteBlock(const std::uint8_t* data, std::size_t count) override;
    std::uint64_t WritesSoFar() const override { return writesSent_.load(); }

    void ArmAnswerDeadline(std::chrono::milliseconds fromNow) override;
    void DisarmAnswerDeadline() override;

    // "WARNING:  <what> Failed with the following error: ..." with errno's text.
    void ShowPortError(const std::string& what, int errorNumber) const;

    bool isOpen() const { return fd_.load() >= 0; }
    bool monitorRunning() const { return threadRunning_.load(); }

private:
    // Discards unread input and counts the write about to go out; a chunk under way ends.
    void MarkWriteStart(int fd);
    // Writes every byte before the deadline; the failing call and errno otherwise.
    std::optional<std::pair<std::string, int>> WriteBeforeDeadline(int fd, const std::uint8_t* data, std::size_t count,
                                                                   std::size_t& written);
    void MonitorLoop(SerialReceiver& receiver);
    // Reads one chunk into `chunk`; false when the line hung up. `stop` is set when shutdown
    // interrupted the chunk.
    bool ReceiveChunk(std::vector<std::uint8_t>& chunk, std::size_t& received, bool& stop);
    // One non-blocking read into the chunk, unless a write went out since it began.
    enum class ReadStep { Read, Empty, Cut, HungUp };
    ReadStep ReadSome(int fd, std::uint8_t* into, std::size_t wanted, std::size_t& received);
    // Milliseconds until the answer deadline (-1 when none); fires it when it passed.
    int TimeUntilDeadlineOrFire(SerialReceiver& receiver);
    void Wake();
    void SignalShutdown();

    mutable std::mutex writeLock_;  // one writer at a time; opening and closing
    // Held only around a single non-blocking read and around a write's input purge, so that
    // a chunk holds bytes of one side of a write only.
    std::mutex chunkEdgeLock_;
    std::atomic<int> fd_{-1};
    int wakeFd_ = -1;  // eventfd: wakes the monitor for shutdown, a deadline or a write
    std::atomic<std::size_t> replyLength_{18};
    std::atomic<std::uint64_t> writesSent_{0};
    std::uint64_t writesBeforeChunk_ = 0;  // under chunkEdgeLock_
    bool inChunk_ = false;                 // under chunkEdgeLock_

    std::thread monitor_;
    std::atomic<bool> threadRunning_{false};
    std::atomic<bool> shutdown_{false};

    std::atomic<int> portNumber_{0};
    std::atomic<MessageSink*> messages_{nullptr};
    std::optional<SerialOpenError> openError_;  // guarded by writeLock_

    mutable std::mutex deadlineLock_;
    std::optional<std::chrono::steady_clock::time_point> answerDeadline_;
};

}  // namespace korvan
