#include "sim/serial/simulated_serial_programmer.h"

#include <fcntl.h>
#include <poll.h>
#include <sys/eventfd.h>
#include <termios.h>
#include <unistd.h>

#include <algorithm>
#include <array>
#include <cerrno>
#include <cstdio>
#include <cstring>

namespace korvan::sim {

namespace {

constexpr std::uint8_t kBlankByte = 0xFF;
constexpr std::uint8_t kGarbledAnswer = 0x55;
// A data block that stops part-way, as a line glitch leaves it.
constexpr std::size_t kBrokenBlockLength = 7;
// A partial frame older than this is dropped, as the programmer's own receiver does.
constexpr std::chrono::milliseconds kFrameResync{1000};

std::string Errno(const std::string& what) { return what + ": " + std::strerror(errno); }

void DrainWakeFd(int wakeFd) {
    std::uint64_t count = 0;
    while (::read(wakeFd, &count, sizeof count) > 0) {
    }
}

}  // namespace

SimulatedSerialProgrammer::SimulatedSerialProgrammer(ChipRecord chip, SerialSimOptions options)
    : chip_(std::move(chip)),
      options_(std::move(options)),
      flash_(chip_.RomBytes(), kBlankByte) {}

SimulatedSerialProgrammer::~SimulatedSerialProgrammer() { Stop(); }

SimResult SimulatedSerialProgrammer::Start() {
    if (thread_.joinable()) {
        return {false, "The simulated programmer is already running."};
    }
    if (SimResult loaded = LoadChipFile(); !loaded) {
        return loaded;
    }
    masterFd_ = ::posix_openpt(O_RDWR | O_NOCTTY | O_CLOEXEC);
    if (masterFd_ < 0) {
        SimResult failed{false, Errno("posix_openpt")};
        Stop();
        return failed;
    }
    char name[128];
    if (::grantpt(masterFd_) != 0 || ::unlockpt(masterFd_) != 0 ||
        ::ptsname_r(masterFd_, name, sizeof name) != 0) {
        SimResult failed{false, Errno("pseudo-terminal setup")};
        Stop();
        return failed;
    }
    devicePath_ = name;
    // On a pseudo-terminal master these set the slave's line: raw from the start, so
    // nothing the host has not configured yet is echoed or translated.
    struct termios settings {};
    if (::tcgetattr(masterFd_, &settings) == 0) {
        ::cfmakeraw(&settings);
        ::tcsetattr(masterFd_, TCSANOW, &settings);
    }
    keeperFd_ = ::open(name, O_RDWR | O_NOCTTY | O_CLOEXEC);
    wakeFd_ = ::eventfd(0, EFD_NONBLOCK | EFD_CLOEXEC);
    ::fcntl(masterFd_, F_SETFL, ::fcntl(masterFd_, F_GETFL) | O_NONBLOCK);
    if (keeperFd_ < 0 || wakeFd_ < 0) {
        SimResult failed{false, Errno("pseudo-terminal open")};
        Stop();
        return failed;
    }
    stop_ = false;
    disconnected_ = false;
    thread_ = std::thread([this] { Run(); });
    return {};
}

SimResult SimulatedSerialProgrammer::Stop() {
    if (thread_.joinable()) {
        stop_ = true;
        const std::uint64_t one = 1;
        [[maybe_unused]] const auto written = ::write(wakeFd_, &one, sizeof one);
        thread_.join();
    }
    for (int* fd : {&masterFd_, &keeperFd_, &wakeFd_}) {
        if (*fd >= 0) {
            ::close(*fd);
            *fd = -1;
        }
    }
    std::lock_guard lock(stateLock_);
    SimResult saved = SaveChipFile();
    chipFile_.Close();
    if (saved && !chipFileError_) {
        saved = chipFileError_;
    }
    return saved;
}

std::string SimulatedSerialProgrammer::DevicePath() const { return devicePath_; }

void SimulatedSerialProgrammer::SetFaults(const SerialFaults& faults) {
    std::lock_guard lock(stateLock_);
    faults_ = faults;
}

void SimulatedSerialProgrammer::SendRaw(std::vector<std::uint8_t> bytes) {
    {
        std::lock_guard lock(stateLock_);
        rawQueue_.insert(rawQueue_.end(), bytes.begin(), bytes.end());
    }
    const std::uint64_t one = 1;
    [[maybe_unused]] const auto written = ::write(wakeFd_, &one, sizeof one);
}

std::vector<std::uint8_t> SimulatedSerialProgrammer::Flash() const {
    std::lock_guard lock(stateLock_);
    return flash_;
}

void SimulatedSerialProgrammer::LoadFlash(std::span<const std::uint8_t> bytes) {
    std::lock_guard lock(stateLock_);
    std::fill(flash_.begin(), flash_.end(), kBlankByte);
    std::copy_n(bytes.begin(), std::min(bytes.size(), flash_.size()), flash_.begin());
    dirty_ = true;
}

int SimulatedSerialProgrammer::lockLevel() const {
    std::lock_guard lock(stateLock_);
    return lockLevel_;
}

void SimulatedSerialProgrammer::SetLockLevel(int level) {
    std::lock_guard lock(stateLock_);
    lockLevel_ = std::clamp(level, 0, 3);
    dirty_ = true;
}

int SimulatedSerialProgrammer::eraseCount() const {
    std::lock_guard lock(stateLock_);
    return eraseCount_;
}

std::vector<std::vector<std::uint8_t>> SimulatedSerialProgrammer::HostTraffic() const {
    std::lock_guard lock(stateLock_);
    return traffic_;
}

std::vector<std::vector<std::uint8_t>> SimulatedSerialProgrammer::WaitTraffic(
    std::size_t count, std::chrono::milliseconds timeout) {
    std::unique_lock lock(stateLock_);
    trafficGrew_.wait_for(lock, timeout, [&] { return traffic_.size() >= count; });
    return traffic_;
}

void SimulatedSerialProgrammer::RecordTraffic(std::vector<std::uint8_t> sent) {
    {
        std::lock_guard lock(stateLock_);
        traffic_.push_back(std::move(sent));
    }
    trafficGrew_.notify_all();
}

void SimulatedSerialProgrammer::ClearTraffic() {
    std::lock_guard lock(stateLock_);
    traffic_.clear();
}

void SimulatedSerialProgrammer::Run() {
    std::array<std::uint8_t, 512> incoming{};
    while (!stop_) {
        int timeout = -1;
        if (!inbox_.empty() && mode_ != Mode::Reading) {
            const auto left = std::chrono::ceil<std::chrono::milliseconds>(
                lastByte_ + kFrameResync - std::chrono::steady_clock::now());
            timeout = static_cast<int>(std::max<long long>(left.count(), 0));
        }
        struct pollfd waits[2] = {{wakeFd_, POLLIN, 0}, {masterFd_, POLLIN, 0}};
        const int ready = ::poll(waits, disconnected_ ? 1 : 2, timeout);
        if (ready < 0 && errno != EINTR) {
            return;
        }
        if ((waits[0].revents & POLLIN) != 0) {
            DrainWakeFd(wakeFd_);
            std::vector<std::uint8_t> raw;
            {
                std::lock_guard lock(stateLock_);
                raw.swap(rawQueue_);
            }
            if (!raw.empty() && !disconnected_) {
                SendBytes(raw);
            }
            continue;
        }
        if (disconnected_) {
            continue;
        }
        if ((waits[1].revents & POLLIN) != 0) {
            const ssize_t count = ::read(masterFd_, incoming.data(), incoming.size());
            if (count > 0) {
                inbox_.insert(inbox_.end(), incoming.begin(), incoming.begin() + count);
                lastByte_ = std::chrono::steady_clock::now();
                Process();
            }
        } else if (ready == 0 && !inbox_.empty() && mode_ != Mode::Reading) {
            inbox_.clear();  // a frame that never completed
        }
    }
}

void SimulatedSerialProgrammer::Process() {
    while (!disconnected_ && !stop_) {
        if (mode_ == Mode::Reading) {
            if (inbox_.empty()) {
                return;
            }
            const std::uint8_t request = inbox_.front();
            if (request != kRequestNextBlock && request != kRequestBlockAgain &&
                request != kRequestStop) {
                mode_ = Mode::Idle;  // not a request: the start of a Command Frame
                continue;
            }
            inbox_.erase(inbox_.begin());
            RecordTraffic({request});
            if (!WaitWireTime(1)) {
                return;
            }
            HandleReadRequest(request);
            continue;
        }
        if (inbox_.size() < kFrameLength) {
            return;
        }
        const std::vector<std::uint8_t> frame(inbox_.begin(), inbox_.begin() + kFrameLength);
        inbox_.erase(inbox_.begin(), inbox_.begin() + kFrameLength);
        RecordTraffic(frame);
        // The host's frame is only whole once its last byte has crossed the wire.
        if (!WaitWireTime(frame.size())) {
            return;
        }
        if (mode_ == Mode::Writing && frame[0] == CommandDataBlock) {
            HandleWriteBlock(frame);
        } else {
            LeaveWriting();
            HandleCommand(frame);
        }
    }
}

void SimulatedSerialProgrammer::LeaveWriting() {
    if (mode_ == Mode::Writing) {
        std::lock_guard lock(stateLock_);
        SaveChipFile();
    }
    mode_ = Mode::Idle;
}

void SimulatedSerialProgrammer::HandleCommand(const std::vector<std::uint8_t>& frame) {
    const std::uint8_t code = frame[0];
    bool refuse = false;
    {
        std::lock_guard lock(stateLock_);
        if (faults_.silent || faults_.silentToCommand == code) {
            return;
        }
        refuse = faults_.errorReplyToCommand == code;
    }
    if (refuse) {
        SendReply(ReplyError);
        return;
    }
    switch (code) {
        case CommandReadyProbe:
            SendReply(ReplyReady);
            break;
        case CommandReadSignature: {
            const std::array<std::uint8_t, 3> signature = {chip_.signature[0], chip_.signature[1],
                                                           chip_.signature[2]};
            SendReply(ReplySignature, signature);
            break;
        }
        case CommandErase:
            if (!SleepUnlessStopped(options_.eraseDuration)) {
                return;
            }
            {
                std::lock_guard lock(stateLock_);
                std::fill(flash_.begin(), flash_.end(), kBlankByte);
                lockLevel_ = 0;
                ++eraseCount_;
                dirty_ = true;
                SaveChipFile();
            }
            SendReply(ReplyEraseDone);
            break;
        case CommandWriteStart:
            mode_ = Mode::Writing;
            nextAddress_ = 0;
            phaseBlock_ = 0;
            SendReply(ReplyWriteGoAhead);
            break;
        case CommandReadStart:
            mode_ = Mode::Reading;
            nextAddress_ = 0;
            lastReadAddress_ = 0;
            phaseBlock_ = 0;
            readDrops_ = 0;
            SendReply(ReplyReadGoAhead);
            break;
        case CommandWriteLockBits: {
            std::lock_guard lock(stateLock_);
            lockLevel_ = std::max(lockLevel_, std::clamp<int>(frame[2], 1, 3));
            dirty_ = true;
            SaveChipFile();
        }
            SendReply(ReplyLockBitsDone);
            break;
        default:
            SendReply(ReplyError);  // no such command
            break;
    }
}

void SimulatedSerialProgrammer::HandleWriteBlock(const std::vector<std::uint8_t>& frame) {
    const std::size_t address = nextAddress_;
    nextAddress_ += kBlockDataLength;
    const int block = phaseBlock_++;
    std::uint8_t answer = kBlockAccepted;
    bool answers = true;
    {
        std::lock_guard lock(stateLock_);
        if (faults_.silentWriteBlock == block) {
            answers = false;
        } else if (faults_.rejectWriteBlock == block) {
            answer = kBlockFailed;
        } else if (faults_.garbleWriteBlock == block) {
            answer = kGarbledAnswer;
        } else if (address >= flash_.size() || lockLevel_ >= 1) {
            answer = kBlockFailed;
        } else {
            // Programming only clears bits; the programmer verifies what it wrote.
            const std::size_t end = std::min(address + kBlockDataLength, flash_.size());
            for (std::size_t i = address; i < end; ++i) {
                const std::uint8_t wanted = frame[kFrameDataOffset + (i - address)];
                flash_[i] &= wanted;
                if (flash_[i] != wanted) {
                    answer = kBlockFailed;
                }
            }
            dirty_ = true;
        }
    }
    if (!CountBlock() || !SleepUnlessStopped(options_.blockProgrammingTime)) {
        return;
    }
    if (answers) {
        SendBytes(std::span(&answer, 1));
    }
}

void SimulatedSerialProgrammer::HandleReadRequest(std::uint8_t request) {
    if (request == kRequestStop) {
        mode_ = Mode::Idle;
        return;
    }
    if (request == kRequestNextBlock) {
        lastReadAddress_ = nextAddress_;
        nextAddress_ += kBlockDataLength;
        ++phaseBlock_;
        readDrops_ = 0;
        readBreaks_ = 0;
    }
    const int block = static_cast<int>(lastReadAddress_ / kBlockDataLength);
    std::array<std::uint8_t, kBlockDataLength> data{};
    data.fill(kBlankByte);
    bool broken = false;
    {
        std::lock_guard lock(stateLock_);
        if (faults_.dropReadBlock == block && readDrops_ < faults_.dropReadBlockTimes) {
            ++readDrops_;
            return;
        }
        if (faults_.breakReadBlock == block && readBreaks_ < faults_.breakReadBlockTimes) {
            ++readBreaks_;
            broken = true;
        }
        if (lockLevel_ < 2 && lastReadAddress_ < flash_.size()) {
            const std::size_t count =
                std::min(kBlockDataLength, flash_.size() - lastReadAddress_);
            std::copy_n(flash_.begin() + static_cast<std::ptrdiff_t>(lastReadAddress_), count,
                        data.begin());
        }
    }
    if (!CountBlock()) {
        return;
    }
    if (broken) {
        std::array<std::uint8_t, kBrokenBlockLength> cut{};
        cut[0] = ReplyDataBlock;
        std::copy_n(data.begin(), cut.size() - kFrameDataOffset, cut.begin() + kFrameDataOffset);
        SendBytes(cut);
        return;
    }
    SendReply(ReplyDataBlock, data);
}

bool SimulatedSerialProgrammer::CountBlock() {
    ++blocksSeen_;
    int limit = -1;
    {
        std::lock_guard lock(stateLock_);
        limit = faults_.disconnectAfterBlocks;
    }
    if (limit >= 0 && blocksSeen_ > limit) {
        HangUp();
        return false;
    }
    return true;
}

void SimulatedSerialProgrammer::HangUp() {
    // Closing every handle on the master's pair hangs the host's line up, as unplugging does.
    disconnected_ = true;
    ::close(masterFd_);
    masterFd_ = -1;
    ::close(keeperFd_);
    keeperFd_ = -1;
    inbox_.clear();
}

void SimulatedSerialProgrammer::SendReply(std::uint8_t code, std::span<const std::uint8_t> payload) {
    std::vector<std::uint8_t> frame(kFrameLength, 0);
    frame[0] = code;
    std::copy_n(payload.begin(), std::min(payload.size(), kFrameLength - kFrameDataOffset),
                frame.begin() + kFrameDataOffset);
    {
        std::lock_guard lock(stateLock_);
        if (faults_.replyCodeOverride >= 0) {
            frame[0] = static_cast<std::uint8_t>(faults_.replyCodeOverride);
        }
        frame.resize(std::min(faults_.replyLength, kFrameLength));
    }
    SendBytes(frame);
}

bool SimulatedSerialProgrammer::WaitWireTime(std::size_t count) {
    if (options_.baud <= 0) {
        return true;
    }
    // Ten bit times per byte: start, eight data bits, stop.
    return SleepUnlessStopped(
        std::chrono::microseconds(static_cast<long long>(count) * 10'000'000LL / options_.baud));
}

void SimulatedSerialProgrammer::SendBytes(std::span<const std::uint8_t> bytes) {
    if (!WaitWireTime(bytes.size())) {
        return;
    }
    std::size_t sent = 0;
    while (sent < bytes.size() && !stop_ && masterFd_ >= 0) {
        const ssize_t count = ::write(masterFd_, bytes.data() + sent, bytes.size() - sent);
        if (count > 0) {
            sent += static_cast<std::size_t>(count);
        } else if (count < 0 && errno == EAGAIN) {
            struct pollfd waits[2] = {{wakeFd_, POLLIN, 0}, {masterFd_, POLLOUT, 0}};
            ::poll(waits, 2, -1);
        } else if (count < 0 && errno != EINTR) {
            return;
        }
    }
}

bool SimulatedSerialProgrammer::SleepUnlessStopped(std::chrono::microseconds duration) {
    const auto deadline = std::chrono::steady_clock::now() + duration;
    struct pollfd wake {wakeFd_, POLLIN, 0};
    while (!stop_) {
        const auto left = deadline - std::chrono::steady_clock::now();
        if (left <= std::chrono::steady_clock::duration::zero()) {
            return true;
        }
        const auto seconds = std::chrono::floor<std::chrono::seconds>(left);
        const struct timespec timeout {
            static_cast<time_t>(seconds.count()),
            static_cast<long>(std::chrono::nanoseconds(left - seconds).count())
        };
        // Any wake-up (stop, or a raw send picked up later by the main loop) ends the poll;
        // a short pause keeps an unread wake-up from turning this into a busy loop.
        if (::ppoll(&wake, 1, &timeout, nullptr) > 0 && !stop_) {
            std::this_thread::sleep_for(std::min<std::chrono::steady_clock::duration>(
                left, std::chrono::milliseconds(1)));
        }
    }
    return false;
}

SimResult SimulatedSerialProgrammer::LoadChipFile() {
    if (options_.chipFile.empty()) {
        return {};
    }
    std::lock_guard lock(stateLock_);
    ChipState state;
    if (SimResult opened = chipFile_.Open(options_.chipFile, chip_, state); !opened) {
        return opened;
    }
    flash_ = std::move(state.flash);
    lockLevel_ = LockLevelOfBits(state.lockBits);
    dirty_ = false;
    return {};
}

SimResult SimulatedSerialProgrammer::SaveChipFile() {
    if (!chipFile_.isOpen() || !dirty_) {
        return {};
    }
    SimResult saved = chipFile_.Save({flash_, LockBitsOfLevel(lockLevel_)});
    if (saved) {
        dirty_ = false;
    } else if (chipFileError_) {
        chipFileError_ = saved;
    }
    return saved;
}

}  // namespace korvan::sim
