#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <string_view>

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

// The same rules on a file's text, without touching the disk; the functions above are built
// on these.

// The value of `key` in the first section named `section`, trimmed of surrounding blanks but
// not unquoted; nullopt when that section or key is missing. Lines before the first section
// header and lines starting with ';' are never keys.
std::optional<std::string> FindValue(std::string_view text, std::string_view section, std::string_view key);

// `text` with `key` of `section` set to `value`: an existing key line is rewritten in place,
// a new key goes after the last line of its section, a new section at the end. Every other
// byte, line endings included, is kept; new lines take the text's own line ending (CRLF when
// it has none). nullopt when the names or the value cannot be stored in an INI line: an
// empty name, a line break anywhere, '=' in the key or ']' in the section, a key starting
// with '[' or ';'.
std::optional<std::string> SetValue(std::string_view text, std::string_view section, std::string_view key,
                                    std::string_view value);

// The struct text of `bytes`: two upper-case hex digits per byte, then the checksum byte.
std::string EncodeStruct(std::span<const std::uint8_t> bytes);
// Decodes struct text into exactly `out.size()` bytes; false (and `out` unchanged) on a
// wrong length, a character that is not a hex digit or a checksum mismatch.
bool DecodeStruct(std::string_view text, std::span<std::uint8_t> out);

}  // namespace profile
}  // namespace korvan
