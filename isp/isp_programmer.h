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
#include "isp/hardware_port.h"
#include "isp/isp_algorithm.h"
#include "isp/isp_lines.h"
#include "isp/parallel_port.h"
#include "isp/pin_map.h"
#include "isp/sleeper.h"

namespace korvan {

class ProgrammerManager;

struct IspOptions {
    // Every register access is written here, once the port is open; null = no log.
    std::shared_ptr<std::ostream> portLog;
    // Null = real sleeps.
    std::shared_ptr<Sleeper> sleeper;
    // Where Init looks for a real port when no access was handed in.
    PortSearch portSearch;
};

// The back-end for the parallel-port ISP cables (programmer types 1 to 3). Chip operations run
// on one worker thread each; at most one at a time. Outcomes arrive as events.
class IspProgrammer final : public ParallelPort, public Backend, public IspLines {
public:
    enum Operation : int { ReadSignatureOp = 1, EraseOp = 2, WriteOp = 3, ReadOp = 4, WriteLockBitsOp = 5 };

    // `access` null = open the real port in Init.
    explicit IspProgrammer(std::unique_ptr<RegisterAccess> access = nullptr, IspOptions options = {});
    ~IspProgrammer() override;

    // Loads and checks the pin map of the manager's programmer type, then opens the port at
    // kParallelPortBase with the manager's download speed. A map that cannot be used leaves
    // the port closed, fails Init and makes every operation refused.
    int Init(ProgrammerManager& manager) override;

    void CheckReady(std::uint8_t chipCode) override;
    void ReadSignature(std::uint8_t chipCode) override;
    void EraseChip(std::uint8_t chipCode) override;
    void WriteChip(std::uint8_t chipCode) override;
    void ReadChip(std::uint8_t chipCode) override;
    void WriteLockBits(std::uint8_t chipCode, int level) override;
    // A running write or read ends after its current byte, out of programming mode and without
    // a final event; other runs end as usual. Then the port is closed (a ppdev port released).
    // Requests after it are ignored. Not to be called from the worker.
    void Stop() override;
    bool ProbesAfterWrite() const override { return false; }

    // The first algorithm for `chipCode`, null if none. A run keeps the one found when it started.
    IspAlgorithm* FindAlgorithm(std::uint8_t chipCode);

    // Waits for the running worker, if any, to end.
    void WaitForWorker();

    bool busy() const { return busy_.load(); }
    int ready() const { return ready_; }
    int programmerType() const { return programmerType_; }
    int downloadSpeed() const { return downloadSpeed_; }
    const PinMap& pinMap() const { return pinMap_; }

    // Line layer, used by the chip algorithm on the worker thread.
    void SetMosi(int level) override;
    void SetReset(int level) override;
    void SetSck(int level) override;
    int ReadMiso() override;
    void Transfer(int count) override;
    IspBuffer& transmitBuffer() override { return transmit_; }
    const IspBuffer& receiveBuffer() const override { return receive_; }
    Sleeper& sleeper() override { return *sleeper_; }

private:
    bool LoadCheckedPinMap();
    void OpenPort();
    void OpenPortLog();
    void StartOperation(Operation operation, std::uint8_t chipCode, int lockLevel);
    void JoinWorker();
    void RunWorker(Operation operation, IspAlgorithm& algorithm, int lockLevel);
    void RunWrite(IspAlgorithm& algorithm);
    void RunRead(IspAlgorithm& algorithm);
    bool EndIfStopping(IspAlgorithm& algorithm);
    void LatchLines();

    IspOptions options_;
    std::shared_ptr<Sleeper> sleeper_;
    int downloadSpeed_ = 0;
    int programmerType_ = 0;
    std::vector<std::unique_ptr<IspAlgorithm>> algorithms_;
    PinMap pinMap_;
    bool pinMapUsable_ = false;
    IspBuffer transmit_{};
    IspBuffer receive_{};
    std::atomic<bool> busy_{false};
    std::atomic<bool> stopping_{false};
    int ready_ = 0;
    ProgrammerManager* manager_ = nullptr;
    // Orders starting, joining and stopping the worker, whichever threads ask.
    std::mutex workerLock_;
    std::thread worker_;
};

}  // namespace korvan
