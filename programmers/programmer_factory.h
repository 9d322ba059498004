#pragma once

#include <array>
#include <memory>
#include <mutex>
#include <ostream>
#include <string>
#include <vector>

#include "engine/backend.h"
#include "engine/catalogue.h"
#include "isp/adapter_wiring.h"
#include "isp/line_bank.h"
#include "serial/serial_programmer.h"
#include "sim/parallel/simulated_target.h"

namespace korvan {

namespace sim {
class SimulatedSerialProgrammer;
}

// What a back-end is built from, whichever front end asks for it.
struct ProgrammerOptions {
    // The directory the simulated Ferrow cable reads FerrowIsp.ini from, as the real one does
    // (the program directory, or the settings directory when the user keeps a copy there).
    std::string programDir;
    // The same for the simulated FTDI and GPIO adapters and IspAdapters.ini.
    std::string adapterDir;
    // Serial: the device behind every COM number. Parallel ISP: the only ppdev device tried
    // (/dev/parport1). FTDI: "ftdi", "ftdi:SERIAL" or "ftdi:VID:PID[:SERIAL]". GPIO: the chip
    // (/dev/gpiochip0). Empty: the usual devices.
    std::string devicePath;
    // Serial, while devicePath is empty: the device behind COM 1..4 each; an empty entry
    // keeps the on-board port.
    std::array<std::string, 4> comPortDevices;
    // ISP: every parallel-port register access, FTDI exchange or GPIO line change is
    // written to this file. Empty: none.
    std::string portLogPath;
    // Serial: how long the programmer may take to answer a command.
    AnswerTimeouts answerTimeouts;
    // A simulated programmer or cable, with `simulatedChip` in its socket, instead of hardware.
    bool simulate = false;
    ChipRecord simulatedChip;
    // Keeps the simulated chip between runs; empty: memory only.
    std::string simulatedChipFile;
    // The simulated serial programmer takes as long as the hardware at this baud rate: the
    // wire time of every byte and the programming time of every block. 0: full speed.
    int simulatedPaceBaud = 0;
};

// Builds the back-end for a programmer type, on the hardware or on a simulator, and owns what
// lives beside it: the simulated serial programmer and the port log. Problems met on the way
// are collected as one-line errors naming the file or device and the reason.
//
// Prepare, Create and Finish run on the console's thread; a simulated cable reports a chip
// file it cannot keep from the back-end's worker thread.
class ProgrammerFactory final : public BackendFactory {
public:
    explicit ProgrammerFactory(ProgrammerOptions options);
    ~ProgrammerFactory() override;
    ProgrammerFactory(const ProgrammerFactory&) = delete;
    ProgrammerFactory& operator=(const ProgrammerFactory&) = delete;

    // Checks and opens what the options name, before anything is sent: the port log is
    // created, and a simulated chip file that exists must be a regular file. Empty when all
    // is well, else the reason.
    std::string Prepare();

    // A new back-end for `programmerType`, not yet initialised; null, with the reason in
    // errors(), for a type no programmer has or a simulator that did not start. The manager
    // has stopped the previous back-end by then, so its simulator is stopped here.
    std::unique_ptr<Backend> Create(int programmerType) override;

    // Stops the simulator, which then keeps its chip file, and checks that the port log was
    // written whole. Call after the back-end has stopped.
    void Finish();

    // Everything that went wrong, oldest first.
    std::vector<std::string> errors() const;

private:
    std::unique_ptr<Backend> CreateSerial();
    std::unique_ptr<Backend> CreateIsp(int programmerType);
    std::unique_ptr<Backend> CreateAdapter(int programmerType);
    std::unique_ptr<LineBank> FtdiLineBank(const AdapterWiring& cableWiring);
    std::unique_ptr<LineBank> GpioLineBank(const AdapterWiring& cableWiring);
    sim::TargetOptions SimulatedChipOptions();
    void StopSimulator();
    void AddError(std::string error);

    ProgrammerOptions options_;
    std::unique_ptr<sim::SimulatedSerialProgrammer> serialSim_;
    std::shared_ptr<std::ostream> portLog_;

    mutable std::mutex errorLock_;
    std::vector<std::string> errors_;
};

}  // namespace korvan
