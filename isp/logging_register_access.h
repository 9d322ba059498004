#pragma once

#include <cstdint>
#include <memory>
#include <ostream>
#include <string>

#include "isp/register_access.h"

namespace korvan {

// Writes one line per register access ("W C 0x0b", "R S 0x78"; registers D, S, C) and passes
// the access on, so the traffic on a cable can be inspected.
class LoggingRegisterAccess final : public RegisterAccess {
public:
    LoggingRegisterAccess(std::unique_ptr<RegisterAccess> inner, std::shared_ptr<std::ostream> log);

    std::uint8_t ReadData() override;
    std::uint8_t ReadStatus() override;
    std::uint8_t ReadControl() override;
    void WriteData(std::uint8_t value) override;
    void WriteControl(std::uint8_t value) override;

private:
    void Record(char direction, char registerLetter, std::uint8_t value);

    std::unique_ptr<RegisterAccess> inner_;
    std::shared_ptr<std::ostream> log_;
};

// A log file for LoggingRegisterAccess, or null with `error` set when it cannot be created.
std::shared_ptr<std::ostream> OpenPortLog(const std::string& path, std::string& error);

}  // namespace korvan
