#include "cli/cli_backends.h"

#include "engine/programmer_manager.h"
#include "isp/isp_programmer.h"
#include "serial/serial_programmer.h"
#include "sim/parallel/simulated_parallel_port.h"

namespace korvan {

CliBackendFactory::CliBackendFactory(BackendSetup setup) : setup_(std::move(setup)) {}

CliBackendFactory::~CliBackendFactory() { StopSimulator(); }

void CliBackendFactory::StopSimulator() {
    if (serialSim_) {
        const sim::SimResult stopped = serialSim_->Stop();
        if (!stopped && error_.empty()) {
            error_ = stopped.message;
        }
        serialSim_.reset();
    }
    std::lock_guard lock(chipFileLock_);
    if (!chipFileError_.empty() && error_.empty()) {
        error_ = chipFileError_;
    }
}

std::unique_ptr<Backend> CliBackendFactory::Create(int programmerType) {
    if (programmerType == SerialProgrammerType) {
        SerialDeviceMap devices;
        if (setup_.portPath) {
            devices.Set(setup_.comPort, *setup_.portPath);
        }
        if (setup_.simulate) {
            sim::SerialSimOptions simOptions;
            simOptions.chipFile = setup_.simChipFile;
            serialSim_ = std::make_unique<sim::SimulatedSerialProgrammer>(setup_.simChip, simOptions);
            const sim::SimResult started = serialSim_->Start();
            if (!started) {
                error_ = "the simulated programmer did not start: " + started.message;
                serialSim_.reset();
                return nullptr;
            }
            devices.Set(setup_.comPort, serialSim_->DevicePath());
        }
        return std::make_unique<SerialProgrammer>(std::move(devices));
    }
    if (programmerType < FerrowIspType || programmerType > AlteraByteBlasterType) {
        return nullptr;
    }
    IspOptions options;
    options.portLogPath = setup_.portLog;
    std::unique_ptr<RegisterAccess> access;
    if (setup_.simulate) {
        sim::TargetOptions target;
        target.chipFile = setup_.simChipFile;
        target.onChipFileError = [this](const std::string& why) {
            std::lock_guard lock(chipFileLock_);
            chipFileError_ = why;
        };
        access = sim::SimulatedParallelPort::ForCable(programmerType, setup_.programDir, setup_.simChip, target);
    }
    return std::make_unique<IspProgrammer>(std::move(access), std::move(options));
}

}  // namespace korvan
