#pragma once

#include <gtest/gtest.h>

#include <chrono>
#include <condition_variable>
#include <memory>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "data/message_sink.h"
#include "engine/backend.h"
#include "engine/event_code.h"
#include "engine/event_sink.h"
#include "engine/programmer_manager.h"
#include "serial/serial_programmer.h"
#include "sim/serial/simulated_serial_programmer.h"
#include "tests/support/recording_events.h"

namespace korvan::testing {

class SerialFactory : public BackendFactory {
public:
    std::unique_ptr<Backend> Create(int programmerType) override {
        if (programmerType != SerialProgrammerType) {
            return nullptr;
        }
        auto port = std::make_unique<SerialPort>();
        createdPort = port.get();
        auto programmer = std::make_unique<SerialProgrammer>(devices, std::move(port));
        programmer->SetAnswerTimeouts(timeouts);
        created = programmer.get();
        return programmer;
    }
    SerialDeviceMap devices;
    AnswerTimeouts timeouts;
    SerialProgrammer* created = nullptr;
    SerialPort* createdPort = nullptr;  // owned by `created`
};

// Two test chips: index 0 is 4 KiB, index 1 is 8 KiB.
inline std::vector<ChipRecord> TestChips() {
    return {{"TEST4K", 0x21, 4, 5.0F, {0x1E, 0x51, 0x06}},
            {"TEST8K", 0x22, 8, 5.0F, {0x1E, 0x52, 0x06}}};
}

using Bytes = std::vector<std::uint8_t>;

// A manager driving the real SerialProgrammer against the simulator on a pseudo-terminal.
struct SerialRig {
    explicit SerialRig(std::size_t chipIndex = 0, sim::SerialSimOptions options = {},
                       AnswerTimeouts timeouts = {})
        : sim(TestChips()[chipIndex], std::move(options)) {
        const sim::SimResult started = sim.Start();
        EXPECT_TRUE(started.ok) << started.message;
        factory.devices.Set(1, sim.DevicePath());
        factory.timeouts = timeouts;
        manager.catalogue().Parse(EncodeCatalogue(TestChips()));
        manager.SetComPort(1);
        manager.SetBaudIndex(3);
        events.messages = &messages;
        events.results = &manager;
    }

    int Init() { return manager.Init(events, SerialProgrammerType, 0, factory); }
    // Init, then the start-up Ready probe answered.
    void StartUp(int chipIndex = 0) {
        ASSERT_EQ(Init(), 1);
        manager.CheckReady(chipIndex);
        ASSERT_EQ(events.Next(2), (std::vector<int>{SerialInitDone, ProgrammerReady}));
        sim.ClearTraffic();
    }
    SerialProgrammer& programmer() { return *factory.created; }
    // Polls a flag the back-end offers no event for, until it holds or ten seconds passed.
    template <typename Condition>
    bool WaitUntil(Condition holds) {
        const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(10);
        while (!holds()) {
            if (std::chrono::steady_clock::now() >= deadline) {
                return false;
            }
            std::this_thread::sleep_for(std::chrono::milliseconds(1));
        }
        return true;
    }
    // The simulator may still be reading the host's last bytes when an event arrives.
    std::vector<Bytes> WaitTraffic(std::size_t count) {
        return sim.WaitTraffic(count, std::chrono::seconds(10));
    }

    sim::SimulatedSerialProgrammer sim;
    SerialFactory factory;
    RecordingEvents events;
    RecordingMessages messages;
    ProgrammerManager manager;  // last: its back-end goes first
};

// A Command Frame as the host sends it: code and chip code, the rest is not checked.
inline void ExpectCommand(const Bytes& frame, std::uint8_t code, std::uint8_t chipCode) {
    ASSERT_EQ(frame.size(), kFrameLength);
    EXPECT_EQ(frame[0], code);
    EXPECT_EQ(frame[1], chipCode);
}

}  // namespace korvan::testing
