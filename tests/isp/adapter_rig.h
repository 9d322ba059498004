#pragma once

#include <array>
#include <memory>
#include <optional>
#include <sstream>
#include <string>
#include <vector>

#include "isp/adapter_wiring.h"
#include "isp/bit_bang_lines.h"
#include "isp/ftdi_bank.h"
#include "isp/gpio_bank.h"
#include "sim/adapters/simulated_ftdi_device.h"
#include "sim/adapters/simulated_gpio_chip.h"
#include "tests/isp/isp_rig.h"

namespace korvan::testing {

struct AdapterRigOptions {
    AdapterKind kind = AdapterKind::Ftdi;
    TestChip chip = kS52;
    // Written as IspAdapters.ini into the program directory when not empty.
    std::string ini;
    // The cable actually plugged in; by default wired as the program reads the file.
    std::optional<AdapterWiring> cable;
    sim::TargetOptions target;
};

// A manager with an ISP back-end on a simulated FTDI device or GPIO chip, whose wire (every
// byte written, every set of line levels) is kept, and a log of the adapter's traffic.
class AdapterRig {
public:
    explicit AdapterRig(AdapterRigOptions options = {}) {
        WriteTestCatalogue(dir);
        if (!options.ini.empty()) {
            dir.Write(kAdapterIniName, options.ini);
        }
        manager.SetProgramDirectory(dir.dir());
        events.messages = &messages;
        manager.LoadChipList();
        manager.SelectChip(options.chip);
        cable = options.cable.value_or(LoadAdapterWiring(options.kind, dir.dir()).wiring);
        const ChipRecord chip = TestChips()[static_cast<std::size_t>(options.chip)];
        std::unique_ptr<LineBank> bank;
        if (options.kind == AdapterKind::Ftdi) {
            ftdi->keepWire = true;
            auto device = std::make_unique<sim::SimulatedFtdiDevice>(cable, chip, options.target, ftdi);
            target = &device->target();
            bank = std::make_unique<FtdiBank>(std::move(device));
        } else {
            gpio->keepWire = true;
            auto device = std::make_unique<sim::SimulatedGpioChip>(cable, chip, options.target, gpio);
            target = &device->target();
            bank = std::make_unique<GpioBank>(std::move(device));
        }
        auto owned = std::make_unique<IspProgrammer>(std::make_unique<BitBangLines>(options.kind, std::move(bank)),
                                                     IspOptions{.portLog = log, .sleeper = sleeper});
        programmer = owned.get();
        OneBackendFactory factory(std::move(owned));
        initResult = manager.Init(events, options.kind == AdapterKind::Ftdi ? FtdiUsbType : LinuxGpioType, 2, factory);
    }

    // The line levels (MOSI, SCK, RST) at the target's pins, in the order they were set.
    std::vector<std::array<bool, 3>> WireLevels() const {
        if (!ftdi->wire.empty()) {
            std::vector<std::array<bool, 3>> levels;
            for (const std::uint8_t byte : ftdi->wire) {
                const auto at = [&](const AdapterLine& line) { return (((byte >> line.pin) & 1) != 0) == (line.level != 0); };
                levels.push_back({at(cable.mosi), at(cable.sck), at(cable.rst)});
            }
            return levels;
        }
        return gpio->wire;
    }

    // The wire read back into instructions: MOSI at each rising SCK edge while RST is high,
    // 32 bits to an instruction.
    std::vector<IspInstruction> Instructions() const {
        std::vector<IspInstruction> instructions;
        IspInstruction current{};
        int bits = 0;
        bool sck = false;
        for (const auto& [mosi, clock, rst] : WireLevels()) {
            if (!rst) {
                bits = 0;
            } else if (clock && !sck) {
                auto& byte = current[static_cast<std::size_t>(bits / 8)];
                byte = static_cast<std::uint8_t>((byte << 1) | (mosi ? 1 : 0));
                if (++bits == 32) {
                    instructions.push_back(current);
                    bits = 0;
                }
            }
            sck = clock;
        }
        return instructions;
    }

    TempDir dir;
    RecordingEvents events;
    RecordingMessages messages;
    std::shared_ptr<RecordingSleeper> sleeper = std::make_shared<RecordingSleeper>();
    std::shared_ptr<std::ostringstream> log = std::make_shared<std::ostringstream>();
    std::shared_ptr<sim::FtdiTraffic> ftdi = std::make_shared<sim::FtdiTraffic>();
    std::shared_ptr<sim::GpioTraffic> gpio = std::make_shared<sim::GpioTraffic>();
    AdapterWiring cable;
    ProgrammerManager manager;
    // Gone with the back-end.
    sim::SimulatedTarget* target = nullptr;
    IspProgrammer* programmer = nullptr;
    int initResult = -1;
};

inline void FillPattern(ProgrammerManager& manager, std::size_t bytes) {
    for (std::size_t address = 0; address < bytes; ++address) {
        manager.Buffer1()[address] = static_cast<std::uint8_t>(address * 7 + 3);
    }
}

}  // namespace korvan::testing
