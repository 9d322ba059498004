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
    // True when the back-end is usable.
    virtual bool Init(ProgrammerManager& manager) = 0;

    virtual void CheckReady(std::uint8_t chipCode) = 0;
    virtual void ReadSignature(std::uint8_t chipCode) = 0;
    virtual void EraseChip(std::uint8_t chipCode) = 0;
    virtual void WriteChip(std::uint8_t chipCode) = 0;
    virtual void ReadChip(std::uint8_t chipCode) = 0;
    virtual void WriteLockBits(std::uint8_t chipCode, int level) = 0;

    // Ends the back-end's threads and closes the hardware. Nothing is posted after it returns;
    // calling it again does nothing. A stopped back-end is not used again.
    virtual void Stop() = 0;

    // True when a write ends with a Ready probe of its own, after WriteDone or
    // ProgrammingError: the programmer refuses commands until that probe is answered, and
    // its answer (ProgrammerReady) ends the write's run.
    virtual bool ProbesAfterWrite() const = 0;
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
