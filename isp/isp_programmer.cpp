#include "isp/isp_programmer.h"

#include <algorithm>
#include <system_error>

#include "engine/event_code.h"
#include "engine/programmer_manager.h"

namespace korvan {
namespace {

constexpr int kProgressInterval = 15;
constexpr int kFastestSpeed = 2;
constexpr int kFastSpeed = 1;

std::string JoinLines(const std::vector<std::string>& lines) {
    std::string joined;
    for (const std::string& line : lines) {
        joined += (joined.empty() ? "" : "\n") + line;
    }
    return joined;
}

}  // namespace

IspProgrammer::IspProgrammer(std::unique_ptr<RegisterAccess> access, IspOptions options)
    : ParallelPort(std::move(access)), options_(std::move(options)), sleeper_(options_.sleeper) {
    if (!sleeper_) {
        sleeper_ = std::make_shared<ThreadSleeper>();
    }
    algorithms_.push_back(std::make_unique<Isp4ByteAlgorithm>());
}

IspProgrammer::~IspProgrammer() { Stop(); }

void IspProgrammer::Stop() {
    std::lock_guard lock(workerLock_);
    stopping_ = true;
    JoinWorker();
    Close();
}

int IspProgrammer::Init(ProgrammerManager& manager) {
    manager_ = &manager;
    programmerType_ = manager.programmerType();
    downloadSpeed_ = manager.downloadSpeed();
    busy_ = false;
    for (const auto& algorithm : algorithms_) {
        algorithm->Attach(this);
    }
    // Checked before the port is opened, so an unusable map never drives a line.
    pinMapUsable_ = LoadCheckedPinMap();
    if (!pinMapUsable_) {
        ready_ = 0;
        manager.PostEvent(ParallelInitFailed);
        return ready_;
    }
    OpenPort();
    SetPin(pinMap_.le, pinMap_.leEnable);
    return ready_;
}

bool IspProgrammer::LoadCheckedPinMap() {
    const LoadedPinMap loaded = LoadPinMap(programmerType_, manager_->KeptFileDirectory(kFerrowIniName));
    if (!loaded.replaced.empty()) {
        manager_->messages().ShowMessage(
            {std::string(kFerrowIniName) + ": a value that is not a number was replaced by its default.",
             CableName(programmerType_), JoinLines(loaded.replaced)});
    }
    if (!loaded.usable()) {
        manager_->messages().ShowMessage({std::string("The pin map in ") + kFerrowIniName + " cannot be used.",
                                          CableName(programmerType_), JoinLines(loaded.faults)});
        manager_->SetInitFailureDetail("The pin map in " + loaded.path +
                                       " cannot be used: correct it, or remove it for the default map.");
        return false;
    }
    pinMap_ = loaded.map;
    return true;
}

void IspProgrammer::OpenPort() {
    ready_ = Open(kParallelPortBase, options_.portSearch);
    if (ready_ == 1) {
        OpenPortLog();
        manager_->PostEvent(ParallelInitDone);
        return;
    }
    manager_->messages().ShowMessage({"Initialize I/O Port Failed!"});
    manager_->SetInitFailureDetail(openFailure());
    manager_->PostEvent(ParallelInitFailed);
}

void IspProgrammer::OpenPortLog() {
    if (options_.portLog) {
        LogAccessesTo(options_.portLog);
    }
}

IspAlgorithm* IspProgrammer::FindAlgorithm(std::uint8_t chipCode) {
    for (const auto& algorithm : algorithms_) {
        if (algorithm->algorithmCode() == chipCode) {
            return algorithm.get();
        }
    }
    return nullptr;
}

void IspProgrammer::CheckReady(std::uint8_t chipCode) {
    if (manager_ == nullptr || stopping_) {
        return;
    }
    const bool usable = ready_ == 1 && FindAlgorithm(chipCode) != nullptr;
    manager_->PostEvent(usable ? ProgrammerReady : ProgrammerUnusable);
}

void IspProgrammer::ReadSignature(std::uint8_t chipCode) { StartOperation(ReadSignatureOp, chipCode, 0); }

void IspProgrammer::EraseChip(std::uint8_t chipCode) { StartOperation(EraseOp, chipCode, 0); }

void IspProgrammer::WriteChip(std::uint8_t chipCode) { StartOperation(WriteOp, chipCode, 0); }

void IspProgrammer::ReadChip(std::uint8_t chipCode) { StartOperation(ReadOp, chipCode, 0); }

void IspProgrammer::WriteLockBits(std::uint8_t chipCode, int level) {
    StartOperation(WriteLockBitsOp, chipCode, level);
}

void IspProgrammer::StartOperation(Operation operation, std::uint8_t chipCode, int lockLevel) {
    std::lock_guard lock(workerLock_);
    if (manager_ == nullptr || stopping_) {
        return;
    }
    // Taking `busy` here, not in the worker, means two quick requests never start two workers.
    if (!pinMapUsable_ || busy_.exchange(true)) {
        manager_->PostEvent(ProgrammerUnusable);
        return;
    }
    IspAlgorithm* algorithm = FindAlgorithm(chipCode);
    if (algorithm == nullptr) {
        busy_ = false;
        manager_->PostEvent(ProgrammerError);
        return;
    }
    // The previous worker has cleared `busy` and may still be putting OE back.
    JoinWorker();
    try {
        worker_ = std::thread([this, operation, algorithm, lockLevel] { RunWorker(operation, *algorithm, lockLevel); });
    } catch (const std::system_error&) {
        // No thread to be had: report the back-end unusable rather than stay busy for ever.
        busy_ = false;
        manager_->PostEvent(ProgrammerUnusable);
    }
}

void IspProgrammer::WaitForWorker() {
    std::lock_guard lock(workerLock_);
    JoinWorker();
}

void IspProgrammer::JoinWorker() {
    if (worker_.joinable()) {
        worker_.join();
    }
}

bool IspProgrammer::EndIfStopping(IspAlgorithm& algorithm) {
    if (!stopping_) {
        return false;
    }
    algorithm.ExitProgramming();
    busy_ = false;
    return true;
}

void IspProgrammer::RunWorker(Operation operation, IspAlgorithm& algorithm, int lockLevel) {
    ProgrammerManager& manager = *manager_;
    SetPin(pinMap_.oe, pinMap_.oeEnable);
    algorithm.EnterProgramming();
    switch (operation) {
        case ReadSignatureOp: {
            Signature signature{};
            algorithm.ReadSignatureBytes(signature);
            manager.SetSignature(signature);
            algorithm.ExitProgramming();
            busy_ = false;
            manager.IdentifyChip();
            break;
        }
        case EraseOp:
            algorithm.ChipErase();
            algorithm.ExitProgramming();
            busy_ = false;
            manager.PostEvent(EraseDone);
            break;
        case WriteOp:
            RunWrite(algorithm);
            break;
        case ReadOp:
            RunRead(algorithm);
            break;
        case WriteLockBitsOp:
            algorithm.WriteLockLevel(lockLevel);
            algorithm.ExitProgramming();
            busy_ = false;
            manager.PostEvent(LockBitDone);
            break;
    }
    SetPin(pinMap_.oe, pinMap_.oeDisable);
}

void IspProgrammer::RunWrite(IspAlgorithm& algorithm) {
    ProgrammerManager& manager = *manager_;
    const Image& source = manager.Buffer1();
    const int total = manager.UsedLength(source.data(), source.size());
    manager.total = total;
    algorithm.EnterProgramming();
    for (int position = 0; position < total; ++position) {
        manager.position = position;
        if (EndIfStopping(algorithm)) {
            return;
        }
        const auto index = static_cast<std::size_t>(position);
        if (algorithm.WriteByte(source[index], static_cast<std::uint32_t>(position)) == 0) {
            algorithm.ExitProgramming();
            busy_ = false;
            manager.PostEvent(ProgrammingError);
            return;
        }
        if (position % kProgressInterval == 0) {
            manager.PostEvent(WritingProgress);
        }
    }
    manager.position = total;
    algorithm.ExitProgramming();
    busy_ = false;
    manager.PostEvent(WriteDone);
}

void IspProgrammer::RunRead(IspAlgorithm& algorithm) {
    ProgrammerManager& manager = *manager_;
    int total = manager.total;
    if (manager.keepLength == 0) {
        const ChipRecord* chip = manager.CurrentChip();
        total = chip != nullptr ? static_cast<int>(chip->RomBytes()) : 0;
    }
    // Never past the end of Buffer2, whatever the counters hold.
    total = std::clamp(total, 0, static_cast<int>(kImageSize));
    manager.total = total;
    Image& target = manager.Buffer2();
    for (int position = 0; position < total; ++position) {
        manager.position = position;
        if (EndIfStopping(algorithm)) {
            return;
        }
        target[static_cast<std::size_t>(position)] = algorithm.ReadByte(static_cast<std::uint32_t>(position));
        if (position % kProgressInterval == 0) {
            manager.PostEvent(ReadingProgress);
        }
    }
    manager.position = total;
    algorithm.ExitProgramming();
    busy_ = false;
    manager.PostEvent(ReadDone);
}

void IspProgrammer::LatchLines() {
    if (downloadSpeed_ == kFastestSpeed) {
        return;
    }
    SetPin(pinMap_.le, pinMap_.leEnable);
    if (downloadSpeed_ != kFastSpeed) {
        SetPin(pinMap_.le, pinMap_.leDisable);
    }
}

void IspProgrammer::SetMosi(int level) {
    SetPin(pinMap_.mosi, level);
    LatchLines();
}

void IspProgrammer::SetReset(int level) {
    SetPin(pinMap_.rst, level);
    LatchLines();
}

void IspProgrammer::SetSck(int level) {
    SetPin(pinMap_.sck, level);
    LatchLines();
}

int IspProgrammer::ReadMiso() {
    LatchLines();
    return ReadPin(pinMap_.miso);
}

void IspProgrammer::Transfer(int count) {
    const int bytes = std::clamp(count, 0, static_cast<int>(kIspBufferSize));
    for (int index = 0; index < bytes; ++index) {
        const auto i = static_cast<std::size_t>(index);
        for (int bit = 7; bit >= 0; --bit) {
            const auto weight = static_cast<std::uint8_t>(1U << bit);
            SetSck(0);
            SetMosi(transmit_[i] & weight);
            SetSck(1);
            if (ReadMiso() != 0) {
                receive_[i] = static_cast<std::uint8_t>(receive_[i] | weight);
            } else {
                receive_[i] = static_cast<std::uint8_t>(receive_[i] & ~weight);
            }
        }
        SetSck(0);
    }
}

}  // namespace korvan
