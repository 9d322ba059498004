#pragma once

#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <condition_variable>
#include <functional>
#include <memory>
#include <mutex>
#include <sstream>
#include <string>
#include <vector>

#include "engine/catalogue.h"
#include "engine/event_code.h"
#include "engine/programmer_manager.h"
#include "isp/isp_programmer.h"
#include "isp/logging_register_access.h"
#include "isp/parallel_port_lines.h"
#include "sim/parallel/simulated_parallel_port.h"
#include "tests/support/recording_events.h"
#include "tests/support/temp_dir.h"

namespace korvan::testing {

// Records the waits instead of sleeping.
class RecordingSleeper final : public Sleeper {
public:
    void Sleep(std::chrono::milliseconds duration) override {
        std::lock_guard lock(mutex_);
        waits_.push_back(static_cast<int>(duration.count()));
    }
    std::vector<int> Waits() const {
        std::lock_guard lock(mutex_);
        return waits_;
    }
    void Clear() {
        std::lock_guard lock(mutex_);
        waits_.clear();
    }

private:
    mutable std::mutex mutex_;
    std::vector<int> waits_;
};

// The simulated cable as it was when the back-end closed the port.
struct PortAtClose {
    bool closed = false;
    bool inProgrammingMode = false;
    bool oeLevel = false;  // pin 2, the Ferrow cable's OE line
    std::vector<std::uint8_t> flash;
};

// Owns the simulated cable for the back-end and records its state when the back-end lets go.
class ClosingPort final : public RegisterAccess {
public:
    ClosingPort(std::unique_ptr<sim::SimulatedParallelPort> port, std::shared_ptr<PortAtClose> atClose)
        : port_(std::move(port)), atClose_(std::move(atClose)) {}
    ~ClosingPort() override {
        atClose_->closed = true;
        atClose_->inProgrammingMode = port_->target().inProgrammingMode();
        atClose_->oeLevel = port_->PinLevel(2);
        atClose_->flash.assign(port_->target().flash().begin(), port_->target().flash().end());
    }
    ClosingPort(const ClosingPort&) = delete;
    ClosingPort& operator=(const ClosingPort&) = delete;

    std::uint8_t ReadData() override { return port_->ReadData(); }
    std::uint8_t ReadStatus() override { return port_->ReadStatus(); }
    std::uint8_t ReadControl() override { return port_->ReadControl(); }
    void WriteData(std::uint8_t value) override { port_->WriteData(value); }
    void WriteControl(std::uint8_t value) override { port_->WriteControl(value); }

private:
    std::unique_ptr<sim::SimulatedParallelPort> port_;
    std::shared_ptr<PortAtClose> atClose_;
};

class OneBackendFactory final : public BackendFactory {
public:
    explicit OneBackendFactory(std::unique_ptr<Backend> backend) : backend_(std::move(backend)) {}
    std::unique_ptr<Backend> Create(int /*programmerType*/) override { return std::move(backend_); }

private:
    std::unique_ptr<Backend> backend_;
};

// Catalogue indices of TestChips().
enum TestChip : int { kS51 = 0, kS52 = 1, kC51 = 2, kEmptyRom = 3 };

inline std::vector<ChipRecord> TestChips() {
    return {
        {"AT89S51", 2, 4, 5.0F, {0x1E, 0x51, 0x06}},
        {"AT89S52", 2, 8, 5.0F, {0x1E, 0x52, 0x06}},
        {"AT89C51", 1, 4, 12.0F, {0x1E, 0x51, 0xFF}},
        {"NoRom", 2, 0, 5.0F, {0x00, 0x00, 0x01}},
    };
}

// TestChips() as the program directory's ChipList.chip.
inline void WriteTestCatalogue(const TempDir& dir) {
    const std::vector<std::uint8_t> bytes = EncodeCatalogue(TestChips());
    dir.Write("ChipList.chip", std::string(bytes.begin(), bytes.end()));
}

struct RigOptions {
    int programmerType = 1;
    int speed = 2;
    TestChip chip = kS51;
    sim::TargetOptions target;
    // The cable actually plugged in; 0 = the one the program is set to.
    int cableType = 0;
    bool logAccesses = true;
    // Written as FerrowIsp.ini into the program directory when not empty.
    std::string ferrowIni;
};

// A manager with a catalogue, an ISP Programmer on a simulated cable and chip, an access log
// over the simulated port, and recorded events and waits.
class IspRig {
public:
    explicit IspRig(RigOptions options = {}) {
        WriteTestCatalogue(dir);
        if (!options.ferrowIni.empty()) {
            dir.Write("FerrowIsp.ini", options.ferrowIni);
        }
        manager.SetProgramDirectory(dir.dir());
        events.messages = &messages;
        manager.LoadChipList();
        manager.SelectChip(options.chip);
        const int cableType = options.cableType != 0 ? options.cableType : options.programmerType;
        options.target.recordInstructions = true;
        auto simulated = sim::SimulatedParallelPort::ForCable(cableType, dir.dir(),
                                                              TestChips()[static_cast<std::size_t>(options.chip)],
                                                              options.target);
        port = simulated.get();
        std::unique_ptr<RegisterAccess> access = std::make_unique<ClosingPort>(std::move(simulated), atClose);
        if (options.logAccesses) {
            access = std::make_unique<LoggingRegisterAccess>(std::move(access), log);
        }
        auto linesOwned = std::make_unique<ParallelPortLines>(std::move(access));
        lines = linesOwned.get();
        auto programmerOwned = std::make_unique<IspProgrammer>(std::move(linesOwned), IspOptions{.sleeper = sleeper});
        programmer = programmerOwned.get();
        OneBackendFactory factory(std::move(programmerOwned));
        initResult = manager.Init(events, options.programmerType, options.speed, factory);
    }

    // Log lines since the last call.
    std::vector<std::string> TakeLog() {
        std::vector<std::string> lines;
        std::string line;
        std::istringstream in(log->str());
        while (std::getline(in, line)) {
            lines.push_back(line);
        }
        log->str("");
        return lines;
    }

    void WaitIdle() { programmer->WaitForWorker(); }

    TempDir dir;
    RecordingEvents events;
    RecordingMessages messages;
    std::shared_ptr<RecordingSleeper> sleeper = std::make_shared<RecordingSleeper>();
    std::shared_ptr<std::ostringstream> log = std::make_shared<std::ostringstream>();
    ProgrammerManager manager;
    std::shared_ptr<PortAtClose> atClose = std::make_shared<PortAtClose>();
    // Gone once the back-end has stopped: read atClose then.
    sim::SimulatedParallelPort* port = nullptr;
    IspProgrammer* programmer = nullptr;
    // The programmer's line driver, for driving single lines.
    ParallelPortLines* lines = nullptr;
    int initResult = -1;
};

}  // namespace korvan::testing
