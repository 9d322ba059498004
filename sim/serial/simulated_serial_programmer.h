#pragma once

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <cstddef>
#include <cstdint>
#include <mutex>
#include <span>
#include <string>
#include <thread>
#include <vector>

#include "engine/catalogue.h"
#include "serial/serial_protocol.h"
#include "sim/chip_state.h"

namespace korvan::sim {

// Misbehaviour to play, for tests of every failure path. Blocks are counted from 0 within
// each data phase; -1 disables a fault.
struct SerialFaults {
    bool silent = false;                   // answers no Command Frame at all
    int silentToCommand = -1;              // this command code gets no answer
    int errorReplyToCommand = -1;          // this command code is answered by Reply 0xFF
    std::size_t replyLength = kFrameLength;  // Reply Frames cut to this many bytes
    int replyCodeOverride = -1;            // byte 0 of every Reply Frame replaced
    int rejectWriteBlock = -1;             // answer 0xFF to this write block
    int silentWriteBlock = -1;             // no answer byte for this write block
    int garbleWriteBlock = -1;             // answer 0x55 to this write block
    int dropReadBlock = -1;                // this read block goes unanswered ...
    int dropReadBlockTimes = 1;            // ... this many times
    int breakReadBlock = -1;               // this read block comes cut short ...
    int breakReadBlockTimes = 1;           // ... this many times
    int disconnectAfterBlocks = -1;        // hang up after this many data blocks
};

struct SerialSimOptions {
    int baud = 0;  // bytes take their wire time at this rate, both ways; 0: full speed
    std::chrono::milliseconds eraseDuration{0};          // how long a chip erase takes
    std::chrono::microseconds blockProgrammingTime{0};  // how long programming a write block takes
    std::string chipFile;  // keeps the chip across runs (see ChipStateFile); empty: memory only
};

// The serial programmer with a chip in its socket, on the master side of a pseudo-terminal.
// The host opens DevicePath() like any serial port. Flash of the chip's size is programmed
// from 1 to 0 only and read back verified; erase sets it to 0xFF and clears the lock bits;
// from lock level 1 the chip refuses programming, from level 2 it reads back 0xFF.
class SimulatedSerialProgrammer {
public:
    explicit SimulatedSerialProgrammer(ChipRecord chip, SerialSimOptions options = {});
    ~SimulatedSerialProgrammer();
    SimulatedSerialProgrammer(const SimulatedSerialProgrammer&) = delete;
    SimulatedSerialProgrammer& operator=(const SimulatedSerialProgrammer&) = delete;

    // Takes the chip file (if any; a missing one is created blank), creates the
    // pseudo-terminal and starts answering. A chip file that cannot be taken is the reason.
    SimResult Start();
    // Stops answering, waits for the thread, saves the chip file and releases it. Safe to
    // repeat. Fails when any save of this run failed.
    SimResult Stop();
    // The slave side: the path the host opens. Empty before Start.
    std::string DevicePath() const;

    void SetFaults(const SerialFaults& faults);
    // Bytes sent to the host unasked, as a confused programmer would.
    void SendRaw(std::vector<std::uint8_t> bytes);

    // Chip state.
    const ChipRecord& chip() const { return chip_; }
    std::vector<std::uint8_t> Flash() const;  // RomBytes() long
    void LoadFlash(std::span<const std::uint8_t> bytes);
    int lockLevel() const;
    void SetLockLevel(int level);
    int eraseCount() const;

    // What the host sent, as parsed: 18-byte frames and single bytes of the read phase.
    std::vector<std::vector<std::uint8_t>> HostTraffic() const;
    // Waits until the host has sent `count` frames and bytes in all, or `timeout` passed;
    // returns what was sent by then.
    std::vector<std::vector<std::uint8_t>> WaitTraffic(std::size_t count,
                                                       std::chrono::milliseconds timeout);
    void ClearTraffic();
    bool disconnected() const { return disconnected_.load(); }

private:
    enum class Mode { Idle, Writing, Reading };

    void Run();
    void Process();
    void HandleCommand(const std::vector<std::uint8_t>& frame);
    void HandleWriteBlock(const std::vector<std::uint8_t>& frame);
    void HandleReadRequest(std::uint8_t request);
    void SendReply(std::uint8_t code, std::span<const std::uint8_t> payload = {});
    void SendBytes(std::span<const std::uint8_t> bytes);
    // Waits as long as `count` bytes take on the wire at the chosen baud rate.
    bool WaitWireTime(std::size_t count);
    void RecordTraffic(std::vector<std::uint8_t> sent);
    // Counts a data block; hangs up when the fault says so. True when still connected.
    bool CountBlock();
    void HangUp();
    void LeaveWriting();
    bool SleepUnlessStopped(std::chrono::microseconds duration);
    SimResult LoadChipFile();
    // Under stateLock_. A failure is also kept for Stop to report.
    SimResult SaveChipFile();

    const ChipRecord chip_;
    const SerialSimOptions options_;

    mutable std::mutex stateLock_;  // chip, faults, traffic, raw queue
    std::vector<std::uint8_t> flash_;
    int lockLevel_ = 0;
    int eraseCount_ = 0;
    bool dirty_ = false;
    ChipStateFile chipFile_;   // guarded by stateLock_
    SimResult chipFileError_;  // the first save that failed; guarded by stateLock_
    SerialFaults faults_;
    std::vector<std::vector<std::uint8_t>> traffic_;
    std::condition_variable trafficGrew_;
    std::vector<std::uint8_t> rawQueue_;

    // Owned by the simulator thread once it runs.
    Mode mode_ = Mode::Idle;
    std::vector<std::uint8_t> inbox_;
    std::chrono::steady_clock::time_point lastByte_{};
    std::size_t nextAddress_ = 0;
    std::size_t lastReadAddress_ = 0;
    int phaseBlock_ = 0;
    int readDrops_ = 0;
    int readBreaks_ = 0;
    int blocksSeen_ = 0;

    std::string devicePath_;
    int masterFd_ = -1;
    int keeperFd_ = -1;  // our own slave handle: the line never hangs up between host opens
    int wakeFd_ = -1;
    std::atomic<bool> stop_{false};
    std::atomic<bool> disconnected_{false};
    std::thread thread_;
};

}  // namespace korvan::sim
