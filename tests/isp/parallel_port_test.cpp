#include "isp/parallel_port.h"

#include <gtest/gtest.h>

#include <memory>
#include <sstream>
#include <string>
#include <vector>

#include "isp/logging_register_access.h"

namespace korvan {
namespace {

// Registers with preset read values that remember every access.
class ScriptedRegisters final : public RegisterAccess {
public:
    std::uint8_t ReadData() override { return Note("R D", data); }
    std::uint8_t ReadStatus() override { return Note("R S", status); }
    std::uint8_t ReadControl() override { return Note("R C", control); }
    void WriteData(std::uint8_t value) override { Note("W D", value); }
    void WriteControl(std::uint8_t value) override { Note("W C", value); }

    std::uint8_t data = 0;
    std::uint8_t status = 0;
    std::uint8_t control = 0;
    std::vector<std::string> accesses;

private:
    std::uint8_t Note(const char* what, std::uint8_t value) {
        char text[16];
        std::snprintf(text, sizeof text, "%s 0x%02x", what, value);
        accesses.emplace_back(text);
        return value;
    }
};

struct PortFixture : ::testing::Test {
    PortFixture() {
        auto owned = std::make_unique<ScriptedRegisters>();
        registers = owned.get();
        port = std::make_unique<ParallelPort>(std::move(owned));
        EXPECT_EQ(port->Open(0x378), 1);
    }
    ScriptedRegisters* registers = nullptr;
    std::unique_ptr<ParallelPort> port;
};

using Accesses = std::vector<std::string>;

TEST_F(PortFixture, InvertedControlPinsClearTheirBitWhenHigh) {
    EXPECT_EQ(port->SetPinLow(1), 1);
    EXPECT_EQ(port->SetPinHigh(1), 1);
    EXPECT_EQ(port->SetPinLow(14), 1);
    EXPECT_EQ(port->SetPinLow(17), 1);
    EXPECT_EQ(port->SetPinHigh(14), 1);
    EXPECT_EQ(port->SetPinHigh(17), 1);
    EXPECT_EQ(registers->accesses,
              (Accesses{"W C 0x01", "W C 0x00", "W C 0x02", "W C 0x0a", "W C 0x08", "W C 0x00"}));
}

TEST_F(PortFixture, PinSixteenIsNotInverted) {
    port->SetPinHigh(16);
    port->SetPin(16, 0);
    port->SetPin(16, 7);
    EXPECT_EQ(registers->accesses, (Accesses{"W C 0x04", "W C 0x00", "W C 0x04"}));
}

TEST_F(PortFixture, DataPinsWriteTheWholeShadowOnce) {
    port->SetPinHigh(7);
    port->SetPinHigh(2);
    port->SetPinHigh(9);
    port->SetPinLow(7);
    EXPECT_EQ(registers->accesses, (Accesses{"W D 0x20", "W D 0x21", "W D 0xa1", "W D 0x81"}));
}

TEST_F(PortFixture, PinsThatCannotBeDrivenWriteNothing) {
    for (int pin : {0, 10, 11, 12, 13, 15, 18, 25, 100, -1}) {
        EXPECT_EQ(port->SetPinHigh(pin), 0) << pin;
        EXPECT_EQ(port->SetPinLow(pin), 0) << pin;
        EXPECT_EQ(port->SetPin(pin, 1), 0) << pin;
    }
    EXPECT_TRUE(registers->accesses.empty());
}

TEST_F(PortFixture, ReadPinUndoesTheInversions) {
    registers->status = 0x00;
    EXPECT_EQ(port->ReadPin(11), 1);
    EXPECT_EQ(port->ReadPin(10), 0);
    registers->status = 0xC8;
    EXPECT_EQ(port->ReadPin(11), 0);
    EXPECT_EQ(port->ReadPin(10), 0x40);
    EXPECT_EQ(port->ReadPin(15), 0x08);
    EXPECT_EQ(port->ReadPin(12), 0);
    registers->control = 0x0B;
    EXPECT_EQ(port->ReadPin(1), 0);
    EXPECT_EQ(port->ReadPin(14), 0);
    EXPECT_EQ(port->ReadPin(16), 0);
    EXPECT_EQ(port->ReadPin(17), 0);
    registers->control = 0x04;
    EXPECT_EQ(port->ReadPin(1), 1);
    EXPECT_EQ(port->ReadPin(16), 0x04);
    registers->data = 0x80;
    EXPECT_NE(port->ReadPin(9), 0);
    EXPECT_EQ(port->ReadPin(8), 0);
    EXPECT_EQ(port->ReadPin(0), 0);
    EXPECT_EQ(port->ReadPin(26), 0);
}

TEST_F(PortFixture, ReadingAPinReloadsThatRegistersShadow) {
    registers->control = 0x05;
    port->ReadPin(16);
    port->SetPinHigh(17);  // clears bit 3 of what was read, keeps the rest
    registers->data = 0x40;
    port->ReadPin(2);
    port->SetPinHigh(2);
    EXPECT_EQ(registers->accesses, (Accesses{"R C 0x05", "W C 0x05", "R D 0x40", "W D 0x41"}));
}

TEST(ParallelPortWithoutAccess, BehavesAsAnAbsentPort) {
    ParallelPort port;
    EXPECT_EQ(port.SetPinHigh(2), 1);
    EXPECT_EQ(port.ReadStatus(), 0xFF);
    EXPECT_NE(port.ReadPin(15), 0);
    EXPECT_EQ(port.ReadPin(11), 0);
}

TEST(LoggingRegisterAccess, WritesOneLinePerAccessAndPassesItOn) {
    auto inner = std::make_unique<ScriptedRegisters>();
    ScriptedRegisters* registers = inner.get();
    registers->status = 0x78;
    registers->data = 0x3C;
    auto log = std::make_shared<std::ostringstream>();
    LoggingRegisterAccess logged(std::move(inner), log);
    logged.WriteControl(0x0B);
    EXPECT_EQ(logged.ReadStatus(), 0x78);
    logged.WriteData(0xFF);
    EXPECT_EQ(logged.ReadData(), 0x3C);
    EXPECT_EQ(logged.ReadControl(), 0x00);
    EXPECT_EQ(log->str(), "W C 0x0b\nR S 0x78\nW D 0xff\nR D 0x3c\nR C 0x00\n");
    EXPECT_EQ(registers->accesses.size(), 5U);
}

TEST(LoggingRegisterAccess, AnUnwritableLogFileIsAnError) {
    std::string error;
    EXPECT_EQ(OpenPortLog("/nonexistent-dir/port.log", error), nullptr);
    EXPECT_NE(error.find("/nonexistent-dir/port.log"), std::string::npos);
}

}  // namespace
}  // namespace korvan
