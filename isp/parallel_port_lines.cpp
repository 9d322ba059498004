#include "isp/parallel_port_lines.h"

#include <algorithm>

#include "engine/programmer_manager.h"
#include "isp/pin_map.h"

namespace korvan {
namespace {

constexpr int kFastestSpeed = 2;
constexpr int kFastSpeed = 1;

}  // namespace

ParallelPortLines::ParallelPortLines(std::unique_ptr<RegisterAccess> access, PortSearch search)
    : port_(std::move(access)), search_(std::move(search)) {}

std::string ParallelPortLines::LoadWiring(ProgrammerManager& manager) {
    const int programmerType = manager.programmerType();
    downloadSpeed_ = manager.downloadSpeed();
    const LoadedPinMap loaded = LoadPinMap(programmerType, manager.KeptFileDirectory(kFerrowIniName));
    if (!loaded.replaced.empty()) {
        manager.messages().ShowMessage(
            {std::string(kFerrowIniName) + ": a value that is not a number was replaced by its default.",
             CableName(programmerType), DetailLines(loaded.replaced)});
    }
    if (!loaded.usable()) {
        manager.messages().ShowMessage({std::string("The pin map in ") + kFerrowIniName + " cannot be used.",
                                        CableName(programmerType), DetailLines(loaded.faults)});
        return "The pin map in " + loaded.path + " cannot be used: correct it, or remove it for the default map.";
    }
    pinMap_ = loaded.map;
    return {};
}

std::string ParallelPortLines::Open() {
    if (port_.Open(kParallelPortBase, search_) == 1) {
        return {};
    }
    return port_.openFailure();
}

void ParallelPortLines::Close() { port_.Close(); }

void ParallelPortLines::LogTransfersTo(std::shared_ptr<std::ostream> log) { port_.LogAccessesTo(std::move(log)); }

void ParallelPortLines::Rest() { port_.SetPin(pinMap_.le, pinMap_.leEnable); }

void ParallelPortLines::BeginRun() { port_.SetPin(pinMap_.oe, pinMap_.oeEnable); }

void ParallelPortLines::EndRun() { port_.SetPin(pinMap_.oe, pinMap_.oeDisable); }

void ParallelPortLines::LatchLines() {
    if (downloadSpeed_ == kFastestSpeed) {
        return;
    }
    port_.SetPin(pinMap_.le, pinMap_.leEnable);
    if (downloadSpeed_ != kFastSpeed) {
        port_.SetPin(pinMap_.le, pinMap_.leDisable);
    }
}

void ParallelPortLines::SetMosi(int level) {
    port_.SetPin(pinMap_.mosi, level);
    LatchLines();
}

void ParallelPortLines::SetReset(int level) {
    port_.SetPin(pinMap_.rst, level);
    LatchLines();
}

void ParallelPortLines::SetSck(int level) {
    port_.SetPin(pinMap_.sck, level);
    LatchLines();
}

int ParallelPortLines::ReadMiso() {
    LatchLines();
    return port_.ReadPin(pinMap_.miso);
}

void ParallelPortLines::Transfer(int count) {
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
