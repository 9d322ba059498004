#pragma once

#include <cstddef>
#include <cstdint>

namespace korvan {

// The serial programmer's wire protocol, shared by the host side and the simulator.
inline constexpr std::size_t kFrameLength = 18;
inline constexpr std::size_t kBlockDataLength = 16;
inline constexpr std::size_t kFrameDataOffset = 2;

// Byte 0 of a Command Frame (host to programmer).
enum SerialCommand : std::uint8_t {
    CommandReadyProbe = 0x00,
    CommandReadSignature = 0x01,
    CommandErase = 0x02,
    CommandWriteStart = 0x03,
    CommandReadStart = 0x04,
    CommandWriteLockBits = 0x05,
    CommandDataBlock = 0x07,
};

// Byte 0 of a Reply Frame (programmer to host).
enum SerialReply : std::uint8_t {
    ReplyReady = 0x00,
    ReplySignature = 0x01,
    ReplyEraseDone = 0x02,
    ReplyWriteGoAhead = 0x03,
    ReplyReadGoAhead = 0x04,
    ReplyLockBitsDone = 0x05,
    ReplyDataBlock = 0x06,
    ReplyError = 0xFF,
};

// Single bytes of the data phases.
inline constexpr std::uint8_t kBlockAccepted = 0x01;
inline constexpr std::uint8_t kBlockFailed = 0xFF;
inline constexpr std::uint8_t kRequestNextBlock = 0x01;
inline constexpr std::uint8_t kRequestBlockAgain = 0xFF;
inline constexpr std::uint8_t kRequestStop = 0x00;

}  // namespace korvan
