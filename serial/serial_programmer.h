#pragma once

#include <array>
#include <atomic>
#include <chrono>
#include <cstddef>
#include <cstdint>
#include <memory>
#include <mutex>
#include <thread>

#include "engine/backend.h"
#include "engine/event_sink.h"
#include "serial/mailbox.h"
#include "serial/serial_port.h"
#include "serial/serial_transport.h"
#include "serial/serial_protocol.h"

namespace korvan {

class ProgrammerManager;

// How long a Command Frame may wait for its Reply Frame before DataReceivedError. Erase
// and Write start cover a whole-chip erase (the programmer may erase before it gives the
// go-ahead); the others are answered by the programmer's controller at once.
struct AnswerTimeouts {
    std::chrono::milliseconds command{3000};
    std::chrono::milliseconds erase{20000};
};

// The back-end for the external serial programmer: 18-byte Command Frames out, Reply
// Frames or single bytes back, over the transport it owns (a tty, unless told otherwise).
// Commands return at once; the transport's monitor thread hands replies to it, and one worker
// thread at a time runs a write or read data phase.
class SerialProgrammer final : public Backend, private SerialReceiver {
public:
    static constexpr std::chrono::milliseconds kFirstBlockPause{5};
    static constexpr std::chrono::milliseconds kBlockAnswerTimeout{1000};
    static constexpr std::chrono::milliseconds kReadBlockTimeout{500};

    explicit SerialProgrammer(SerialDeviceMap devices = {},
                              std::unique_ptr<SerialTransport> transport = std::make_unique<SerialPort>());
    ~SerialProgrammer() override;

    int Init(ProgrammerManager& manager) override;

    void CheckReady(std::uint8_t chipCode) override;
    void ReadSignature(std::uint8_t chipCode) override;
    void EraseChip(std::uint8_t chipCode) override;
    void WriteChip(std::uint8_t chipCode) override;
    void ReadChip(std::uint8_t chipCode) override;
    void WriteLockBits(std::uint8_t chipCode, int level) override;
    void Stop() override;
    // The programmer refuses commands until the write's closing Ready probe is answered.
    bool ProbesAfterWrite() const override { return true; }

    // Any time; the next Command Frame waits this long. The defaults suit real hardware.
    void SetAnswerTimeouts(AnswerTimeouts timeouts);

    bool busy() const { return busy_.load() != 0; }
    bool ready() const { return ready_.load() != 0; }
    const SerialTransport& transport() const { return *port_; }

private:
    void OnReceive(const std::uint8_t* buffer, std::size_t count, std::uint64_t writesBefore) override;
    void OnAnswerTimeout() override;

    enum class Phase { Write, Read };

    // Builds bytes 0 and 1 (and 2 when given) over what the last frame left, then sends
    // it if the port is open and no answer is outstanding. Returns 1 when sent.
    int SendCommand(std::uint8_t code, std::uint8_t chipCode, int byte2 = -1);
    // Frames the workers send themselves, past the ready check.
    void SendFrame(std::uint8_t code, const std::uint8_t* data);
    void SendByte(std::uint8_t value);
    // What a data phase sends as it ends: a Ready probe frame, a single byte, or nothing.
    static constexpr int kSendReadyProbe = -1;
    static constexpr int kSendNothing = -2;
    // Leaves the data phase: reply length back to 18, the farewell sent, busy cleared,
    // ready set, then `event` posted.
    void EndDataPhase(int event, int farewell);

    // On the monitor thread: a chunk that began after `writesBefore` writes arrived for a data
    // phase that has since ended, before any later command went out.
    bool LeftOverFromDataPhase(std::uint64_t writesBefore) const;
    void HandleReply(const std::uint8_t* frame);
    void StartWorker(Phase phase);
    void WriteWorker();
    void ReadWorker();
    // The back-end is going away: a worker leaves at once, without reporting.
    bool Stopping() const { return stopping_.load(); }
    void Post(Report report);

    SerialDeviceMap devices_;
    std::unique_ptr<SerialTransport> port_;
    std::atomic<ProgrammerManager*> manager_{nullptr};

    std::atomic<int> busy_{0};
    std::atomic<int> ready_{0};
    std::atomic<int> portOpen_{0};
    std::atomic<bool> stopping_{false};
    // WritesSoFar() when the last data phase sent its last byte; -1 before any phase.
    std::atomic<std::int64_t> lastDataPhaseWrite_{-1};

    Mailbox writeAck_;
    Mailbox readBlock_;

    std::mutex frameLock_;  // the Command Frame is built by the console thread and workers
    std::array<std::uint8_t, kFrameLength> frame_{};

    std::atomic<long long> commandTimeoutMs_{AnswerTimeouts{}.command.count()};
    std::atomic<long long> eraseTimeoutMs_{AnswerTimeouts{}.erase.count()};

    // Held while a reply is handled and while a worker ends its data phase, so that their
    // events keep the order of the wire.
    std::mutex replyLock_;
    std::mutex workerLock_;  // starting and joining the worker
    std::thread worker_;
};

}  // namespace korvan
