#pragma once

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <cstddef>
#include <cstdint>
#include <memory>
#include <algorithm>
#include <mutex>
#include <thread>
#include <vector>

#include "data/image.h"
#include "engine/backend.h"
#include "engine/event_code.h"
#include "engine/programmer_manager.h"

namespace korvan::testing {

// A back-end with no hardware at all: each operation runs on a worker thread and posts the
// events a real programmer would, with a pause between them, so that it can be busy and be
// stopped in the middle. Its chip is handed in, so that a new back-end finds what an earlier
// one wrote. Holds to the same contract as the real back-ends.
class ScriptedBackend final : public Backend {
public:
    explicit ScriptedBackend(std::shared_ptr<Image> chip, std::chrono::milliseconds pause = std::chrono::milliseconds(1))
        : chip_(std::move(chip)), pause_(pause) {}
    ~ScriptedBackend() override { Stop(); }

    bool Init(ProgrammerManager& manager) override {
        manager_ = &manager;
        manager.PostEvent(ParallelInitDone);
        return true;
    }
    void CheckReady(std::uint8_t /*chipCode*/) override { Run({ProgrammerReady}); }
    void ReadSignature(std::uint8_t /*chipCode*/) override { Run({kIdentify}); }
    void EraseChip(std::uint8_t /*chipCode*/) override { Run({kErase, EraseDone}); }
    void WriteChip(std::uint8_t /*chipCode*/) override { Run(Transfer(WriteStarted, kProgram, WriteDone)); }
    void ReadChip(std::uint8_t /*chipCode*/) override { Run(Transfer(ReadStarted, kFetch, ReadDone)); }
    void WriteLockBits(std::uint8_t /*chipCode*/, int /*level*/) override { Run({LockBitDone}); }

    void Stop() override {
        {
            std::lock_guard lock(lock_);
            stopping_ = true;
        }
        wake_.notify_all();
        std::lock_guard guard(workerLock_);
        if (worker_.joinable()) {
            worker_.join();
        }
    }
    bool ProbesAfterWrite() const override { return false; }

private:
    // Steps that act on the chip instead of posting.
    static constexpr int kIdentify = -1;  // reports the chip's signature
    static constexpr int kErase = -2;
    static constexpr int kProgram = -3;   // one block of Buffer1 into the chip, then progress
    static constexpr int kFetch = -4;     // one block of the chip reported, then progress
    static constexpr std::size_t kBlocks = 256;
    static constexpr std::size_t kBlockSize = kImageSize / kBlocks;

    static std::vector<int> Transfer(int started, int block, int done) {
        std::vector<int> script{started};
        script.insert(script.end(), kBlocks, block);
        script.push_back(done);
        return script;
    }

    // Carries out an acting step; false when it ended the operation.
    bool Act(int code, std::size_t& block) {
        switch (code) {
            case kIdentify:
                busy_ = false;
                manager_->Post(SignatureRead{manager_->CurrentChip()->signature});
                return false;
            case kErase:
                chip_->fill(kBlank);
                return true;
            case kProgram:
                CopyBlock(manager_->Buffer1(), *chip_, block);
                manager_->Post(Progress{WritingProgress, static_cast<int>(++block * kBlockSize), static_cast<int>(kImageSize)});
                return true;
            default: {
                const auto offset = static_cast<std::ptrdiff_t>(block * kBlockSize);
                manager_->Post(BlockRead{block * kBlockSize, {chip_->begin() + offset, chip_->begin() + offset + kBlockSize}});
                manager_->Post(Progress{ReadingProgress, static_cast<int>(++block * kBlockSize), static_cast<int>(kImageSize)});
                return true;
            }
        }
    }

    static void CopyBlock(const Image& from, Image& to, std::size_t block) {
        const auto offset = static_cast<std::ptrdiff_t>(block * kBlockSize);
        std::copy_n(from.begin() + offset, kBlockSize, to.begin() + offset);
    }

    void Run(std::vector<int> script) {
        if (busy_.exchange(true)) {
            manager_->PostEvent(ProgrammerUnusable);
            return;
        }
        std::lock_guard guard(workerLock_);
        if (worker_.joinable()) {
            worker_.join();
        }
        worker_ = std::thread([this, script = std::move(script)] { Play(script); });
    }

    void Play(const std::vector<int>& script) {
        std::size_t block = 0;
        for (std::size_t step = 0; step < script.size(); ++step) {
            const int code = script[step];
            std::unique_lock lock(lock_);
            if (wake_.wait_for(lock, pause_, [this] { return stopping_; })) {
                return;
            }
            lock.unlock();
            if (code < 0) {
                if (!Act(code, block)) {
                    return;
                }
                continue;
            }
            if (step + 1 == script.size()) {
                busy_ = false;
            }
            manager_->PostEvent(code);
        }
    }

    std::shared_ptr<Image> chip_;
    const std::chrono::milliseconds pause_;
    ProgrammerManager* manager_ = nullptr;
    std::atomic<bool> busy_{false};
    std::mutex lock_;
    std::condition_variable wake_;
    bool stopping_ = false;
    std::mutex workerLock_;
    std::thread worker_;
};

}  // namespace korvan::testing
