#pragma once

#include <cstddef>
#include <cstdint>
#include <span>
#include <string>

namespace korvan {

// Reads and writes INI ("private profile") files as the Windows profile functions do, so a
// file written by either side reads the same on the other. Section and key names match
// without regard to case; CRLF and LF files both read. A write keeps every other line,
// comments included, and replaces the file atomically.
namespace profile {

// The leading decimal digits of the value (an optional sign first), as the Windows reader
// takes them; `fallback` when the file, section or key is missing.
int ReadInt(const std::string& path, const std::string& section, const std::string& key, int fallback);

// The value, cut to at most `maxChars` characters; `fallback` when missing.
std::string ReadString(const std::string& path, const std::string& section, const std::string& key,
                       const std::string& fallback, std::size_t maxChars);

// Creates the file, section and key as needed. False when the file cannot be written.
bool WriteString(const std::string& path, const std::string& section, const std::string& key,
                 const std::string& value);

// A struct value: two upper-case hex digits per byte, then the checksum byte (low 8 bits of
// the sum of the bytes). False on a missing key, a wrong length or a wrong checksum; `out`
// is then unchanged.
bool ReadStruct(const std::string& path, const std::string& section, const std::string& key,
                std::span<std::uint8_t> out);
bool WriteStruct(const std::string& path, const std::string& section, const std::string& key,
                 std::span<const std::uint8_t> bytes);

}  // namespace profile
}  // namespace korvan
