#include "isp/logging_register_access.h"

#include <cerrno>
#include <cstring>
#include <fstream>

namespace korvan {

LoggingRegisterAccess::LoggingRegisterAccess(std::unique_ptr<RegisterAccess> inner, std::shared_ptr<std::ostream> log)
    : inner_(std::move(inner)), log_(std::move(log)) {}

std::uint8_t LoggingRegisterAccess::ReadData() {
    const std::uint8_t value = inner_->ReadData();
    Record('R', 'D', value);
    return value;
}

std::uint8_t LoggingRegisterAccess::ReadStatus() {
    const std::uint8_t value = inner_->ReadStatus();
    Record('R', 'S', value);
    return value;
}

std::uint8_t LoggingRegisterAccess::ReadControl() {
    const std::uint8_t value = inner_->ReadControl();
    Record('R', 'C', value);
    return value;
}

void LoggingRegisterAccess::WriteData(std::uint8_t value) {
    Record('W', 'D', value);
    inner_->WriteData(value);
}

void LoggingRegisterAccess::WriteControl(std::uint8_t value) {
    Record('W', 'C', value);
    inner_->WriteControl(value);
}

void LoggingRegisterAccess::Record(char direction, char registerLetter, std::uint8_t value) {
    static constexpr char kHex[] = "0123456789abcdef";
    const char line[] = {direction, ' ', registerLetter, ' ', '0', 'x', kHex[value >> 4], kHex[value & 0x0F], '\n'};
    log_->write(line, sizeof line);
}

std::shared_ptr<std::ostream> OpenPortLog(const std::string& path, std::string& error) {
    auto file = std::make_shared<std::ofstream>(path, std::ios::out | std::ios::trunc);
    if (!*file) {
        error = "Cannot write the port log " + path + ": " + std::strerror(errno);
        return nullptr;
    }
    return file;
}

}  // namespace korvan
