#include "isp/isp_programmer.h"

#include <algorithm>
#include <cstdio>
#include <system_error>

#include "engine/event_code.h"
#include "engine/programmer_manager.h"

namespace korvan {
namespace {

constexpr int kProgressInterval = 15;

// Said under "Programmer: Programming Error.": the byte that would not take.
std::string MismatchLine(const std::optional<WriteMismatch>& mismatch) {
    if (!mismatch) {
        return {};
    }
    char line[64];
    std::snprintf(line, sizeof line, "At 0x%04X: expected 0x%02X, read 0x%02X.", static_cast<unsigned>(mismatch->address),
                  static_cast<unsigned>(mismatch->expected), static_cast<unsigned>(mismatch->read));
    return line;
}

}  // namespace

IspProgrammer::IspProgrammer(std::unique_ptr<IspLineDriver> lines, IspOptions options)
    : lines_(std::move(lines)), options_(std::move(options)), sleeper_(options_.sleeper) {
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
    lines_->Close();
}

bool IspProgrammer::Init(ProgrammerManager& manager) {
    manager_ = &manager;
    busy_ = false;
    for (const auto& algorithm : algorithms_) {
        algorithm->Attach(lines_.get(), sleeper_.get());
    }
    // Checked before the adapter is opened, so unusable wiring never drives a line.
    const std::string wiringProblem = lines_->LoadWiring(manager);
    wiringUsable_ = wiringProblem.empty();
    if (!wiringUsable_) {
        ready_ = 0;
        manager.Post(Finished{ParallelInitFailed, wiringProblem});
        return false;
    }
    OpenLines();
    lines_->Rest();
    return ready_ == 1;
}

void IspProgrammer::OpenLines() {
    const std::string failure = lines_->Open();
    ready_ = failure.empty() ? 1 : 0;
    if (ready_ == 1) {
        if (options_.portLog) {
            lines_->LogTransfersTo(options_.portLog);
        }
        manager_->PostEvent(ParallelInitDone);
        return;
    }
    manager_->messages().ShowMessage({lines_->openFailureBox()});
    manager_->Post(Finished{ParallelInitFailed, failure});
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
    if (!wiringUsable_ || busy_.exchange(true)) {
        manager_->PostEvent(ProgrammerUnusable);
        return;
    }
    IspAlgorithm* algorithm = FindAlgorithm(chipCode);
    if (algorithm == nullptr) {
        busy_ = false;
        manager_->PostEvent(ProgrammerError);
        return;
    }
    // The previous worker has cleared `busy` and may still be putting the lines to rest.
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
    lines_->BeginRun();
    if (EnterProgramming(algorithm)) {
        RunOperation(operation, algorithm, lockLevel);
    }
    lines_->EndRun();
}

bool IspProgrammer::EnterProgramming(IspAlgorithm& algorithm) {
    algorithm.EnterProgramming();
    manager_->SetEnableAnswer(algorithm.enableAnswer());
    if (!lines_->checksEnableEcho() || algorithm.enableEchoed()) {
        return true;
    }
    algorithm.ExitProgramming();
    busy_ = false;
    manager_->Post(Finished{
        ProgrammerError,
        "The target did not answer Programming Enable. Check, in this order: the target's power; its oscillator "
        "(an AT89S chip accepts ISP only with a clock on XTAL1); the RST level (RST Level in IspAdapters.ini); "
        "MOSI and MISO not swapped; a shorter cable or a slower adapter."});
    return false;
}

void IspProgrammer::RunOperation(Operation operation, IspAlgorithm& algorithm, int lockLevel) {
    ProgrammerManager& manager = *manager_;
    switch (operation) {
        case ReadSignatureOp: {
            Signature signature{};
            algorithm.ReadSignatureBytes(signature);
            algorithm.ExitProgramming();
            busy_ = false;
            manager.Post(SignatureRead{signature});
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
}

void IspProgrammer::RunWrite(IspAlgorithm& algorithm) {
    ProgrammerManager& manager = *manager_;
    const Image& source = manager.Buffer1();
    const int total = manager.UsedLength(source.data(), source.size());
    manager.total = total;
    algorithm.EnterProgramming();
    const int batch = static_cast<int>(algorithm.writeBatch());
    for (int position = 0; position < total; position += batch) {
        if (EndIfStopping(algorithm)) {
            return;
        }
        const auto count = static_cast<std::size_t>(std::min(batch, total - position));
        const std::span<const std::uint8_t> values(source.data() + position, count);
        if (algorithm.WriteBytes(values, static_cast<std::uint32_t>(position)) == 0) {
            algorithm.ExitProgramming();
            busy_ = false;
            manager.Post(Finished{ProgrammingError, MismatchLine(algorithm.lastMismatch())});
            return;
        }
        PostProgress(position, count, WritingProgress, total);
    }
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
    BlockRead read{0, std::vector<std::uint8_t>(static_cast<std::size_t>(total))};
    const int batch = static_cast<int>(algorithm.readBatch());
    for (int position = 0; position < total; position += batch) {
        if (EndIfStopping(algorithm)) {
            return;
        }
        const auto count = static_cast<std::size_t>(std::min(batch, total - position));
        algorithm.ReadBytes(static_cast<std::uint32_t>(position), std::span(read.bytes.data() + position, count));
        PostProgress(position, count, ReadingProgress, total);
    }
    algorithm.ExitProgramming();
    busy_ = false;
    manager.Post(std::move(read));
    manager.PostEvent(ReadDone);
}

// One progress report for every kProgressInterval-th byte of the batch just done.
void IspProgrammer::PostProgress(int position, std::size_t count, int code, int total) {
    for (int done = position; done < position + static_cast<int>(count); ++done) {
        if (done % kProgressInterval == 0) {
            manager_->Post(Progress{code, done, total});
        }
    }
}

}  // namespace korvan
