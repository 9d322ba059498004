#pragma once

#include <array>
#include <cstddef>
#include <cstdint>

#include "isp/sleeper.h"

namespace korvan {

inline constexpr std::size_t kIspBufferSize = 10;
using IspBuffer = std::array<std::uint8_t, kIspBufferSize>;

// The line layer of an ISP cable, as a chip algorithm drives it: the target's MOSI, RST and
// SCK lines, its MISO answer, and whole bytes shifted both ways through two buffers.
class IspLines {
public:
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
    // The protocol's waits (reset settling, erase, lock bits).
    virtual Sleeper& sleeper() = 0;

protected:
    ~IspLines() = default;
};

}  // namespace korvan
