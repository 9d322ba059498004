#pragma once

#include <memory>
#include <mutex>
#include <optional>
#include <string>

#include "engine/backend.h"
#include "engine/catalogue.h"
#include "sim/serial/simulated_serial_programmer.h"

namespace korvan {

// How the command line's back-ends are built: real hardware, or the simulated programmer
// or cable with `simChip` in its socket.
struct BackendSetup {
    std::string programDir;
    int comPort = 1;
    std::optional<std::string> portPath;  // replaces the device of comPort
    std::string portLog;
    bool simulate = false;
    ChipRecord simChip;
    std::string simChipFile;
};

class CliBackendFactory final : public BackendFactory {
public:
    explicit CliBackendFactory(BackendSetup setup);
    ~CliBackendFactory() override;

    std::unique_ptr<Backend> Create(int programmerType) override;
    // Why no back-end could be built (a simulator that did not start), or why a simulator
    // could not keep its chip file; empty otherwise. Read after StopSimulator.
    const std::string& error() const { return error_; }
    // Stops the simulator, which keeps its chip file. Call after the back-end is gone.
    void StopSimulator();

private:
    BackendSetup setup_;
    std::unique_ptr<sim::SimulatedSerialProgrammer> serialSim_;
    std::string error_;
    // Reported by the simulated cable's chip on the back-end's worker thread.
    std::mutex chipFileLock_;
    std::string chipFileError_;
};

}  // namespace korvan
