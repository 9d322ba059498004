#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <memory>
#include <ostream>
#include <string>

namespace korvan {

class ProgrammerManager;

inline constexpr std::size_t kIspBufferSize = 10;
using IspBuffer = std::array<std::uint8_t, kIspBufferSize>;

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
};

// An ISP adapter as the back-end owns it: the lines, plus its wiring, its device and the
// state the lines rest in between chip operations.
class IspLineDriver : public IspLines {
public:
    // Reads and checks the wiring for the manager's programmer type. When it cannot be used,
    // the operator is shown why, the manager keeps the reason, and false is returned.
    virtual bool LoadWiring(ProgrammerManager& manager) = 0;
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
};

}  // namespace korvan
