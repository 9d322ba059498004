#pragma once

#include <array>
#include <chrono>
#include <cstddef>
#include <cstdint>
#include <memory>
#include <ostream>
#include <span>
#include <string>

namespace korvan {

class ProgrammerManager;

inline constexpr std::size_t kIspBufferSize = 10;
using IspBuffer = std::array<std::uint8_t, kIspBufferSize>;
// One 4-byte serial programming instruction as it goes out.
using IspInstruction = std::array<std::uint8_t, 4>;

// The line layer of an ISP cable, as a chip algorithm drives it: the target's MOSI, RST and
// SCK lines, its MISO answer, and whole bytes shifted both ways through two buffers.
class IspLines {
public:
    virtual ~IspLines() = default;

    // Level 0 drives the line low, any other value high.
    virtual void SetMosi(int level) = 0;
    virtual void SetReset(int level) = 0;
    virtual void SetSck(int level) = 0;
    // 0 when MISO is low, non-zero when high.
    virtual int ReadMiso() = 0;
    // Exchanges `count` bytes (at most kIspBufferSize) MSB first: transmit byte i goes out while
    // receive byte i comes in.
    virtual void Transfer(int count) = 0;
    virtual IspBuffer& transmitBuffer() = 0;
    virtual const IspBuffer& receiveBuffer() const = 0;

    // Sends the instructions back to back; answers[i] is the byte that came in while the
    // fourth byte of instruction i went out. Lines that cost a round trip per exchange (a USB
    // adapter) send them all in one; the others one Transfer(4) each.
    virtual void Exchange(std::span<const IspInstruction> instructions, std::span<std::uint8_t> answers);
    // How many instructions one Exchange should carry at most.
    virtual std::size_t instructionsPerExchange() const { return 1; }
    // How long one instruction takes on the wire when the adapter clocks them back to back;
    // zero when it cannot say, and waits are then found by asking again.
    virtual std::chrono::nanoseconds instructionTime() const { return {}; }
};

// An ISP adapter as the back-end owns it: the lines, plus its wiring, its device and the
// state the lines rest in between chip operations.
class IspLineDriver : public IspLines {
public:
    // Reads and checks the wiring for the manager's programmer type. Empty when it can be used;
    // otherwise the operator is shown why, and one line with the reason and its fix is returned.
    virtual std::string LoadWiring(ProgrammerManager& manager) = 0;
    // Opens the device. Empty when open; otherwise one line with the reason and its fix.
    virtual std::string Open() = 0;
    virtual void Close() = 0;
    // The box the operator sees when Open fails.
    virtual const char* openFailureBox() const = 0;
    // Writes the traffic on the device to `log`, once it is open.
    virtual void LogTransfersTo(std::shared_ptr<std::ostream> log) = 0;
    // The lines' resting state after Open; before and after each chip operation.
    virtual void Rest() {}
    virtual void BeginRun() {}
    virtual void EndRun() {}
    // Whether a run stops with "Programmer: Error." and what to check when the target does
    // not echo Programming Enable (the parallel cables carry on and read what they get).
    virtual bool checksEnableEcho() const { return false; }
};

}  // namespace korvan
