#include "serial/serial_programmer.h"

#include <algorithm>
#include <cstdio>
#include <string>
#include <system_error>

#include "engine/event_code.h"
#include "engine/programmer_manager.h"

namespace korvan {

namespace {

// Said under "Data Received Error." when a data phase ended because the programmer fell silent,
// so an operator can tell a stalled programmer from a garbled line.
std::string NoAnswerWithin(std::chrono::milliseconds timeout) {
    return "The programmer gave no answer within " + std::to_string(timeout.count()) + " ms.";
}

// Said under "Programmer: Programming Error.". The programmer answers a block with one byte, so
// the block is all that is known: not which of its bytes failed, nor what the chip held.
std::string RefusedBlockLine(std::size_t address) {
    char line[96];
    std::snprintf(line, sizeof line, "At 0x%04zX: the programmer refused the block of %zu bytes.", address,
                  kBlockDataLength);
    return line;
}

}  // namespace

SerialProgrammer::SerialProgrammer(SerialDeviceMap devices, std::unique_ptr<SerialTransport> transport)
    : devices_(std::move(devices)), port_(std::move(transport)) {}

SerialProgrammer::~SerialProgrammer() { Stop(); }

void SerialProgrammer::Stop() {
    // The monitor calls our OnReceive and may start workers: stop it first.
    stopping_ = true;
    port_->StopMonitoring();
    writeAck_.Cancel();
    readBlock_.Cancel();
    {
        std::lock_guard lock(workerLock_);
        if (worker_.joinable()) {
            worker_.join();
        }
    }
    port_->Close();
    // No thread of ours is left; a command called after this finds no one to tell.
    portOpen_ = 0;
    manager_ = nullptr;
}

void SerialProgrammer::SetAnswerTimeouts(AnswerTimeouts timeouts) {
    commandTimeoutMs_ = timeouts.command.count();
    eraseTimeoutMs_ = timeouts.erase.count();
}

void SerialProgrammer::Post(Report report) {
    if (ProgrammerManager* manager = manager_.load()) {
        manager->Post(std::move(report));
    }
}

bool SerialProgrammer::Init(ProgrammerManager& manager) {
    manager_ = &manager;
    const int baud = manager.BaudRate();
    if (baud == 0) {
        return false;  // stays closed: every command reports SerialNotInitialized
    }
    const int comPort = manager.comPort();
    portOpen_ = port_->Open(manager.messages(), devices_.DevicePath(comPort), comPort, baud) ? 1 : 0;
    if (portOpen_ != 0) {
        port_->SetReplyLength(kFrameLength);
        if (port_->StartMonitoring(*this)) {
            Post(SerialInitDone);
            return true;
        }
        portOpen_ = 0;
        Post(Finished{SerialInitFailed, "Cannot start the thread that watches " + devices_.DevicePath(comPort) + "."});
        return false;
    }
    const auto error = port_->lastOpenError();
    Post(Finished{SerialInitFailed, error ? error->Describe() : std::string()});
    return false;
}

void SerialProgrammer::CheckReady(std::uint8_t chipCode) {
    // The probe goes out even while an answer is outstanding, but never into a data phase.
    if (portOpen_ != 0 && busy_ != 0) {
        Post(ProgrammerUnusable);
        return;
    }
    ready_ = 1;
    SendCommand(CommandReadyProbe, chipCode);
}

void SerialProgrammer::ReadSignature(std::uint8_t chipCode) {
    SendCommand(CommandReadSignature, chipCode);
}

void SerialProgrammer::EraseChip(std::uint8_t chipCode) { SendCommand(CommandErase, chipCode); }

void SerialProgrammer::WriteChip(std::uint8_t chipCode) {
    SendCommand(CommandWriteStart, chipCode);
}

void SerialProgrammer::ReadChip(std::uint8_t chipCode) { SendCommand(CommandReadStart, chipCode); }

void SerialProgrammer::WriteLockBits(std::uint8_t chipCode, int level) {
    SendCommand(CommandWriteLockBits, chipCode, level);
}

int SerialProgrammer::SendCommand(std::uint8_t code, std::uint8_t chipCode, int byte2) {
    if (portOpen_ == 0) {
        Post(SerialNotInitialized);
        return 0;
    }
    // A data phase owns the line even when a stray Reply Frame has set ready. Otherwise
    // test and clear in one step, so that two callers cannot both send.
    if (busy_ != 0 || ready_.exchange(0) == 0) {
        Post(ProgrammerUnusable);
        return 0;
    }
    std::array<std::uint8_t, kFrameLength> frame{};
    {
        std::lock_guard lock(frameLock_);
        frame_[0] = code;
        frame_[1] = chipCode;
        if (byte2 >= 0) {
            frame_[2] = static_cast<std::uint8_t>(byte2);
        }
        frame = frame_;
    }
    const bool longWait = code == CommandErase || code == CommandWriteStart;
    port_->ArmAnswerDeadline(
        std::chrono::milliseconds(longWait ? eraseTimeoutMs_.load() : commandTimeoutMs_.load()));
    port_->WriteBlock(frame.data(), frame.size());
    return 1;
}

void SerialProgrammer::SendFrame(std::uint8_t code, const std::uint8_t* data) {
    std::array<std::uint8_t, kFrameLength> frame{};
    {
        std::lock_guard lock(frameLock_);
        frame_[0] = code;
        if (data != nullptr) {
            std::copy_n(data, kBlockDataLength, frame_.begin() + kFrameDataOffset);
        }
        frame = frame_;
    }
    port_->WriteBlock(frame.data(), frame.size());
}

void SerialProgrammer::SendByte(std::uint8_t value) { port_->WriteBlock(&value, 1); }

void SerialProgrammer::OnAnswerTimeout() {
    // The programmer never answered: report it and stay not ready until a probe succeeds.
    std::lock_guard lock(replyLock_);
    if (busy_ == 0) {
        Post(DataReceivedError);
    }
}

void SerialProgrammer::OnReceive(const std::uint8_t* buffer, std::size_t count, std::uint64_t writesBefore) {
    std::lock_guard lock(replyLock_);
    if (count == kFrameLength) {
        HandleReply(buffer);
        return;
    }
    if (busy_ != 0) {
        // In a data phase the worker owns the outcome: a lone byte is its answer, and a
        // broken chunk is left to the worker's own time-out and retry. Reporting the chunk
        // here while the worker goes on would give one operation two endings; the retry
        // asks for the block again and, when that fails too, ends the phase once.
        if (count == 1) {
            writeAck_.Post(buffer, 1);
        }
        return;
    }
    if (LeftOverFromDataPhase(writesBefore)) {
        return;  // the phase it belonged to has already ended, and reported its ending
    }
    port_->DisarmAnswerDeadline();
    ready_ = 0;
    Post(DataReceivedError);
}

bool SerialProgrammer::LeftOverFromDataPhase(std::uint64_t writesBefore) const {
    // A late answer of the phase (a block that came after the worker gave up on it) began
    // before anything was sent after the phase.
    return static_cast<std::int64_t>(writesBefore) <= lastDataPhaseWrite_.load();
}

void SerialProgrammer::HandleReply(const std::uint8_t* frame) {
    const std::uint8_t code = frame[0];
    if (code == ReplyDataBlock) {
        if (busy_ != 0) {
            readBlock_.Post(frame + kFrameDataOffset, kBlockDataLength);
        }
        return;
    }
    if (code == ReplyWriteGoAhead || code == ReplyReadGoAhead) {
        // A go-ahead while a data phase runs cannot be ours; it is dropped.
        if (busy_ == 0) {
            port_->DisarmAnswerDeadline();
            StartWorker(code == ReplyWriteGoAhead ? Phase::Write : Phase::Read);
        }
        return;
    }
    port_->DisarmAnswerDeadline();
    ready_ = 1;
    switch (code) {
        case ReplyReady:
            Post(ProgrammerReady);
            break;
        case ReplySignature:
            Post(SignatureRead{{frame[2], frame[3], frame[4]}});
            break;
        case ReplyEraseDone:
            Post(EraseDone);
            break;
        case ReplyLockBitsDone:
            Post(LockBitDone);
            break;
        case ReplyError:
            Post(ProgrammerError);
            break;
        default:
            break;  // unknown reply: ready again, nothing to report
    }
}

void SerialProgrammer::StartWorker(Phase phase) {
    std::lock_guard lock(workerLock_);
    if (Stopping()) {
        return;
    }
    if (worker_.joinable()) {
        worker_.join();  // the previous worker has cleared busy and is ending
    }
    busy_ = 1;
    try {
        worker_ = std::thread([this, phase] {
            if (phase == Phase::Write) {
                WriteWorker();
            } else {
                ReadWorker();
            }
        });
    } catch (const std::system_error&) {
        busy_ = 0;
        ready_ = 1;
        Post(DataReceivedError);
    }
}

void SerialProgrammer::EndDataPhase(Report ending, int farewell) {
    // Under the reply lock: the answer to a probe sent here is handled only after the
    // worker's own event is posted, and a go-ahead for the next command finds busy cleared.
    std::lock_guard lock(replyLock_);
    port_->SetReplyLength(kFrameLength);
    if (farewell == kSendReadyProbe) {
        // The probe opens a new exchange: its answer is not part of the phase.
        lastDataPhaseWrite_ = static_cast<std::int64_t>(port_->WritesSoFar());
        port_->ArmAnswerDeadline(std::chrono::milliseconds(commandTimeoutMs_.load()));
        SendFrame(CommandReadyProbe, nullptr);
    } else {
        if (farewell != kSendNothing) {
            SendByte(static_cast<std::uint8_t>(farewell));
        }
        lastDataPhaseWrite_ = static_cast<std::int64_t>(port_->WritesSoFar());
    }
    busy_ = 0;
    ready_ = 1;
    Post(std::move(ending));
}

void SerialProgrammer::WriteWorker() {
    ProgrammerManager& manager = *manager_.load();
    Post(WriteStarted);
    const int total = manager.UsedLength(manager.Buffer1().data(), kImageSize);
    manager.total = total;
    if (total == 0) {
        EndDataPhase(WriteDone, kSendReadyProbe);
        return;
    }
    port_->SetReplyLength(1);
    std::this_thread::sleep_for(kFirstBlockPause);

    std::array<std::uint8_t, kBlockDataLength> block{};
    std::size_t position = 0;
    while (position < static_cast<std::size_t>(total)) {
        block.fill(kBlank);
        std::copy_n(manager.Buffer1().begin() + static_cast<std::ptrdiff_t>(position),
                    std::min(kBlockDataLength, kImageSize - position), block.begin());
        writeAck_.Reset();
        SendFrame(CommandDataBlock, block.data());

        Mailbox::Payload answer{};
        if (!writeAck_.Wait(kBlockAnswerTimeout, answer)) {
            if (Stopping()) {
                busy_ = 0;
                return;
            }
            EndDataPhase(Finished{DataReceivedError, NoAnswerWithin(kBlockAnswerTimeout)}, kSendNothing);
            return;
        }
        if (answer[0] == kBlockAccepted) {
            position += kBlockDataLength;
            Post(Progress{WritingProgress, static_cast<int>(position), total});
        } else if (answer[0] == kBlockFailed) {
            EndDataPhase(Finished{ProgrammingError, RefusedBlockLine(position)}, kSendReadyProbe);
            return;
        } else {
            EndDataPhase(DataReceivedError, kSendNothing);
            return;
        }
    }
    EndDataPhase(WriteDone, kSendReadyProbe);
}

void SerialProgrammer::ReadWorker() {
    ProgrammerManager& manager = *manager_.load();
    Post(ReadStarted);
    if (manager.keepLength == 0) {
        const ChipRecord* chip = manager.CurrentChip();
        manager.total = chip != nullptr ? static_cast<int>(chip->RomBytes()) : 0;
    }
    const int total = std::clamp(manager.total.load(), 0, static_cast<int>(kImageSize));

    // Whole blocks: the last one can reach past the total, never past the image.
    BlockRead read{0, std::vector<std::uint8_t>(
                          std::min((static_cast<std::size_t>(total) + kBlockDataLength - 1) / kBlockDataLength *
                                       kBlockDataLength,
                                   kImageSize),
                          kBlank)};
    std::uint8_t request = kRequestNextBlock;
    bool retried = false;
    std::size_t position = 0;
    while (position < static_cast<std::size_t>(total)) {
        readBlock_.Reset();
        SendByte(request);
        Mailbox::Payload block{};
        if (!readBlock_.Wait(kReadBlockTimeout, block)) {
            if (Stopping()) {
                busy_ = 0;
                return;
            }
            if (!retried) {
                request = kRequestBlockAgain;
                retried = true;
                continue;
            }
            // What was read before the failure is in Buffer2, as far as it came.
            read.bytes.resize(position);
            Post(std::move(read));
            EndDataPhase(Finished{DataReceivedError, NoAnswerWithin(kReadBlockTimeout)}, kRequestStop);
            return;
        }
        std::copy_n(block.begin(), std::min(kBlockDataLength, read.bytes.size() - position),
                    read.bytes.begin() + static_cast<std::ptrdiff_t>(position));
        retried = false;
        position += kBlockDataLength;
        request = kRequestNextBlock;
        Post(Progress{ReadingProgress, static_cast<int>(position), total});
    }
    Post(std::move(read));
    // Also for an empty read: the programmer waits for requests after its go-ahead.
    EndDataPhase(ReadDone, kRequestStop);
}

}  // namespace korvan
