#pragma once

#include <cstdint>
#include <memory>

namespace korvan {

class ProgrammerManager;

// A programmer back-end: the serial programmer or an ISP cable. Every operation returns at
// once; the outcome arrives later as events posted through the manager.
class Backend {
public:
    virtual ~Backend() = default;

    // Opens the hardware with the manager's settings and posts the init event.
    // Returns 1 when the back-end is usable, 0 otherwise.
    virtual int Init(ProgrammerManager& manager) = 0;

    virtual void CheckReady(std::uint8_t chipCode) = 0;
    virtual void ReadSignature(std::uint8_t chipCode) = 0;
    virtual void EraseChip(std::uint8_t chipCode) = 0;
    virtual void WriteChip(std::uint8_t chipCode) = 0;
    virtual void ReadChip(std::uint8_t chipCode) = 0;
    virtual void WriteLockBits(std::uint8_t chipCode, int level) = 0;
};

// Whoever composes the program (window, command line, tests) decides which concrete
// back-end serves a programmer type, and whether it drives hardware or a simulator.
class BackendFactory {
public:
    virtual ~BackendFactory() = default;
    // A new, not yet initialised back-end for programmerType 0..3; null for other types.
    virtual std::unique_ptr<Backend> Create(int programmerType) = 0;
};

}  // namespace korvan
