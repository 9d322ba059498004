#include "programmers/programmer_factory.h"

#include <algorithm>
#include <chrono>
#include <filesystem>

#include "engine/programmer_manager.h"
#include "isp/isp_programmer.h"
#include "isp/logging_register_access.h"
#include "isp/bit_bang_lines.h"
#include "isp/ftdi_bank.h"
#include "isp/gpio_bank.h"
#include "isp/libftdi_device.h"
#include "isp/libgpiod_chip.h"
#include "isp/parallel_port_lines.h"
#include "programmers/programmer_types.h"
#include "sim/adapters/simulated_ftdi_device.h"
#include "sim/adapters/simulated_gpio_chip.h"
#include "sim/parallel/simulated_parallel_port.h"
#include "sim/serial/simulated_serial_programmer.h"

namespace korvan {
namespace {

// A paced simulator takes as long as the programmer with a flash chip: an erase of the whole
// chip, and 16 bytes programmed at about 125 us each.
constexpr std::chrono::milliseconds kPacedEraseTime{200};
constexpr std::chrono::microseconds kPacedBlockProgrammingTime{2000};

}  // namespace

ProgrammerFactory::ProgrammerFactory(ProgrammerOptions options) : options_(std::move(options)) {}

ProgrammerFactory::~ProgrammerFactory() { StopSimulator(); }

std::string ProgrammerFactory::Prepare() {
    if (options_.simulate && !options_.simulatedChipFile.empty()) {
        std::error_code error;
        const auto status = std::filesystem::status(options_.simulatedChipFile, error);
        if (std::filesystem::exists(status) && !std::filesystem::is_regular_file(status)) {
            return "the simulated chip file " + options_.simulatedChipFile + " is not a regular file";
        }
    }
    if (!options_.portLogPath.empty()) {
        std::string error;
        portLog_ = OpenPortLog(options_.portLogPath, error);
        if (!portLog_) {
            return error;
        }
    }
    return {};
}

std::unique_ptr<Backend> ProgrammerFactory::Create(int programmerType) {
    StopSimulator();
    if (programmerType == SerialProgrammerType) {
        return CreateSerial();
    }
    if (IsIspCable(programmerType)) {
        return CreateIsp(programmerType);
    }
    if (IsIspAdapter(programmerType)) {
        return CreateAdapter(programmerType);
    }
    AddError("there is no programmer type " + std::to_string(programmerType));
    return nullptr;
}

std::unique_ptr<Backend> ProgrammerFactory::CreateSerial() {
    std::string device = options_.devicePath;
    if (options_.simulate) {
        sim::SerialSimOptions simOptions;
        simOptions.chipFile = options_.simulatedChipFile;
        if (options_.simulatedPaceBaud > 0) {
            simOptions.baud = options_.simulatedPaceBaud;
            simOptions.eraseDuration = kPacedEraseTime;
            simOptions.blockProgrammingTime = kPacedBlockProgrammingTime;
        }
        serialSim_ = std::make_unique<sim::SimulatedSerialProgrammer>(options_.simulatedChip, simOptions);
        const sim::SimResult started = serialSim_->Start();
        if (!started) {
            AddError("the simulated programmer did not start: " + started.message);
            serialSim_.reset();
            return nullptr;
        }
        device = serialSim_->DevicePath();
    }
    SerialDeviceMap devices;
    for (int port = kFirstComPort; port <= kLastComPort; ++port) {
        const std::string& mapped = options_.comPortDevices[static_cast<std::size_t>(port - kFirstComPort)];
        if (!device.empty()) {
            devices.Set(port, device);
        } else if (!mapped.empty()) {
            devices.Set(port, mapped);
        }
    }
    auto programmer = std::make_unique<SerialProgrammer>(std::move(devices));
    programmer->SetAnswerTimeouts(options_.answerTimeouts);
    return programmer;
}

std::unique_ptr<Backend> ProgrammerFactory::CreateIsp(int programmerType) {
    IspOptions ispOptions;
    ispOptions.portLog = portLog_;
    PortSearch search;
    search.devicePath = options_.devicePath;
    std::unique_ptr<RegisterAccess> access;
    if (options_.simulate) {
        access = sim::SimulatedParallelPort::ForCable(programmerType, options_.programDir, options_.simulatedChip,
                                                      SimulatedChipOptions());
    }
    return std::make_unique<IspProgrammer>(std::make_unique<ParallelPortLines>(std::move(access), std::move(search)),
                                           std::move(ispOptions));
}

sim::TargetOptions ProgrammerFactory::SimulatedChipOptions() {
    sim::TargetOptions target;
    target.chipFile = options_.simulatedChipFile;
    target.onChipFileError = [this](const std::string& why) { AddError(why); };
    return target;
}

// The simulated adapters are wired as the program itself reads IspAdapters.ini.
std::unique_ptr<Backend> ProgrammerFactory::CreateAdapter(int programmerType) {
    const AdapterKind kind = programmerType == FtdiUsbType ? AdapterKind::Ftdi : AdapterKind::Gpio;
    const AdapterWiring cableWiring = LoadAdapterWiring(kind, options_.adapterDir).wiring;
    std::unique_ptr<LineBank> bank = kind == AdapterKind::Ftdi ? FtdiLineBank(cableWiring) : GpioLineBank(cableWiring);
    if (!bank) {
        return nullptr;
    }
    IspOptions ispOptions;
    ispOptions.portLog = portLog_;
    return std::make_unique<IspProgrammer>(std::make_unique<BitBangLines>(kind, std::move(bank)), std::move(ispOptions));
}

std::unique_ptr<LineBank> ProgrammerFactory::FtdiLineBank(const AdapterWiring& cableWiring) {
    if (options_.simulate) {
        return std::make_unique<FtdiBank>(
            std::make_unique<sim::SimulatedFtdiDevice>(cableWiring, options_.simulatedChip, SimulatedChipOptions()));
    }
    const std::string port = options_.devicePath.empty() ? kFtdiPortPrefix : options_.devicePath;
    std::optional<FtdiSelector> selector = ParseFtdiPort(port);
    if (!selector) {
        AddError(port + " names no FTDI device: give ftdi, ftdi:SERIAL or ftdi:VID:PID[:SERIAL] (VID and PID in hex)");
        return nullptr;
    }
    return std::make_unique<FtdiBank>(std::make_unique<LibftdiDevice>(std::move(*selector)));
}

std::unique_ptr<LineBank> ProgrammerFactory::GpioLineBank(const AdapterWiring& cableWiring) {
    if (options_.simulate) {
        return std::make_unique<GpioBank>(
            std::make_unique<sim::SimulatedGpioChip>(cableWiring, options_.simulatedChip, SimulatedChipOptions()));
    }
    return std::make_unique<GpioBank>(
        std::make_unique<LibgpiodChip>(options_.devicePath.empty() ? kDefaultGpioChip : options_.devicePath));
}

void ProgrammerFactory::Finish() {
    StopSimulator();
    if (portLog_ && !portLog_->flush()) {
        AddError("Cannot write the port log " + options_.portLogPath + ": a write failed, the log is incomplete");
    }
    portLog_.reset();
}

void ProgrammerFactory::StopSimulator() {
    if (!serialSim_) {
        return;
    }
    const sim::SimResult stopped = serialSim_->Stop();
    if (!stopped) {
        AddError(stopped.message);
    }
    serialSim_.reset();
}

// A simulated cable tells of a chip file it cannot write each time programming mode ends:
// the operator hears of it once.
void ProgrammerFactory::AddError(std::string error) {
    std::lock_guard lock(errorLock_);
    if (std::find(errors_.begin(), errors_.end(), error) == errors_.end()) {
        errors_.push_back(std::move(error));
    }
}

std::vector<std::string> ProgrammerFactory::errors() const {
    std::lock_guard lock(errorLock_);
    return errors_;
}

}  // namespace korvan
