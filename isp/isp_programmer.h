#pragma once

#include <atomic>
#include <cstdint>
#include <memory>
#include <ostream>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "engine/backend.h"
#include "isp/isp_algorithm.h"
#include "isp/isp_lines.h"
#include "isp/sleeper.h"

namespace korvan {

class ProgrammerManager;

struct IspOptions {
    // The adapter's traffic is written here, once it is open; null = no log.
    std::shared_ptr<std::ostream> portLog;
    // Null = real sleeps.
    std::shared_ptr<Sleeper> sleeper;
};

// The back-end for the ISP adapters: the chip algorithms on whichever line driver it owns.
// Chip operations run on one worker thread each; at most one at a time. Outcomes arrive as
// events.
class IspProgrammer final : public Backend {
public:
    enum Operation : int { ReadSignatureOp = 1, EraseOp = 2, WriteOp = 3, ReadOp = 4, WriteLockBitsOp = 5 };

    IspProgrammer(std::unique_ptr<IspLineDriver> lines, IspOptions options = {});
    ~IspProgrammer() override;

    // Loads and checks the adapter's wiring, then opens the adapter. Wiring that cannot be
    // used leaves the adapter closed, fails Init and makes every operation refused.
    bool Init(ProgrammerManager& manager) override;

    void CheckReady(std::uint8_t chipCode) override;
    void ReadSignature(std::uint8_t chipCode) override;
    void EraseChip(std::uint8_t chipCode) override;
    void WriteChip(std::uint8_t chipCode) override;
    void ReadChip(std::uint8_t chipCode) override;
    void WriteLockBits(std::uint8_t chipCode, int level) override;
    // A running write or read ends after its current byte, out of programming mode and without
    // a final event; other runs end as usual. Then the adapter is closed (a ppdev port released).
    // Requests after it are ignored. Not to be called from the worker.
    void Stop() override;
    bool ProbesAfterWrite() const override { return false; }

    // The first algorithm for `chipCode`, null if none. A run keeps the one found when it started.
    IspAlgorithm* FindAlgorithm(std::uint8_t chipCode);

    // Waits for the running worker, if any, to end.
    void WaitForWorker();

    bool busy() const { return busy_.load(); }
    int ready() const { return ready_; }

private:
    void OpenLines();
    void StartOperation(Operation operation, std::uint8_t chipCode, int lockLevel);
    void JoinWorker();
    void RunWorker(Operation operation, IspAlgorithm& algorithm, int lockLevel);
    // Keeps the target's answer to Programming Enable; false, the run ended with an error,
    // when the lines insist on an echo and there was none.
    bool EnterProgramming(IspAlgorithm& algorithm);
    void RunOperation(Operation operation, IspAlgorithm& algorithm, int lockLevel);
    void RunWrite(IspAlgorithm& algorithm);
    void RunRead(IspAlgorithm& algorithm);
    bool EndIfStopping(IspAlgorithm& algorithm);
    void PostProgress(int position, std::size_t count, int code, int total);

    std::unique_ptr<IspLineDriver> lines_;
    IspOptions options_;
    std::shared_ptr<Sleeper> sleeper_;
    std::vector<std::unique_ptr<IspAlgorithm>> algorithms_;
    bool wiringUsable_ = false;
    std::atomic<bool> busy_{false};
    std::atomic<bool> stopping_{false};
    int ready_ = 0;
    ProgrammerManager* manager_ = nullptr;
    // Orders starting, joining and stopping the worker, whichever threads ask.
    std::mutex workerLock_;
    std::thread worker_;
};

}  // namespace korvan
