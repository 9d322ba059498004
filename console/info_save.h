#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <optional>
#include <span>
#include <string>

namespace korvan {

inline constexpr std::size_t kInfoSaveSize = 260;
inline constexpr std::size_t kLastFilePathField = 202;
inline constexpr std::size_t kLastFilePathMax = kLastFilePathField - 1;  // room for the NUL
inline constexpr const char* kSettingsFileName = "Korvan.ini";
inline constexpr const char* kInfoSaveSection = "InfoSave";
inline constexpr const char* kInfoSaveKey = "m_InfoSave";

// The settings record kept in Korvan.ini: 260 bytes, little-endian, fields back to back.
struct InfoSave {
    std::int32_t programmerType = 0;
    std::int32_t comPort = 1;
    std::int32_t baudIndex = 0;
    std::int32_t downloadSpeed = 0;
    std::int32_t autoCheck = 1;
    std::int32_t soundOn = 1;
    std::int32_t hotKeysOn = 1;
    std::int32_t autoOpen = 1;
    std::int32_t autoErase = 1;
    std::int32_t autoWrite = 1;
    std::int32_t autoRead = 0;
    std::int32_t autoVerify = 1;
    std::int32_t autoEncrypt = 0;
    std::int32_t chipIndex = 0;
    std::uint8_t hotKeyCode = 'K';
    std::uint8_t hotKeyModifiers = 6;  // Ctrl+Alt
    std::array<std::uint8_t, kLastFilePathField> lastFilePath{};

    bool operator==(const InfoSave&) const = default;
};

// The values used when no record can be read: the serial programmer on COM 1 at 9600 baud,
// all switches on, Open/Erase/Write/Verify marked for Auto, the first chip.
inline InfoSave FirstStartInfoSave() { return InfoSave{}; }

std::array<std::uint8_t, kInfoSaveSize> EncodeInfoSave(const InfoSave& record);
InfoSave DecodeInfoSave(std::span<const std::uint8_t, kInfoSaveSize> bytes);

// The path up to its first NUL (the whole field when there is none).
std::string LastFilePath(const InfoSave& record);
// Stores `path` with its NUL. A path too long for the field would name another file once
// cut, so the field is emptied instead and false returned.
bool SetLastFilePath(InfoSave& record, const std::string& path);

// Korvan.ini as a struct value; nullopt when missing, of the wrong length or checksum.
std::optional<InfoSave> ReadInfoSave(const std::string& iniPath);
bool WriteInfoSave(const std::string& iniPath, const InfoSave& record);

}  // namespace korvan
