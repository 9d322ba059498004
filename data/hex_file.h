#pragma once

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <string>
#include <string_view>

#include "data/image.h"
#include "data/message_sink.h"

namespace korvan {

// The four conversion failure messages, exactly as the operator sees them.
inline constexpr const char* kHexNoEndRecord = "*.Hex文件转换失败(未找到\":00000001\"记录)!";
inline constexpr const char* kHexBadCharacter = "*.Hex文件转换失败(错误的字符)!";
inline constexpr const char* kHexBadRecord = "*.Hex文件转换失败(错误的记录)!";
inline constexpr const char* kHexOver64k = "*.Hex文件转换失败(不支持大于64k)!";

struct HexReadOptions {
    // Hand-edited files often carry a stale or missing checksum, or bytes after it: with
    // this set, a record needs only its data bytes and the rest is not looked at.
    bool ignoreChecksums = false;
};

// Two hexadecimal digits to one byte, the first giving the high four bits.
// False when either character is not a hexadecimal digit.
bool HexPairToByte(char high, char low, std::uint8_t& byte);

// Converts Intel HEX text into `image`: data records, the end record, address records (02,
// 04) whose data stays below 64 KiB; start-address records (03, 05) are skipped.
// `text` is the file's content; a NUL byte ends it. Every record must be exactly as long as
// its byte count says and sum to zero with its checksum, unless `options` relaxes that.
// Returns the sum of the data records' byte counts, or -1 after showing the failure message
// through `messages`, its detail naming the line and what was wrong (no message for bytes
// before the first ':'). Character errors leave `image` untouched; record errors leave it
// cleared with the records before the bad one placed.
int ConvertHexFile(std::string_view text, Image& image, MessageSink& messages, HexReadOptions options = {});

// Whether `text` has the form of Intel HEX: it starts with a record, holds nothing but
// records and line ends up to an end record. Says nothing about the records' content.
bool HasIntelHexForm(std::string_view text);

// The first `length` bytes of `image` as Intel HEX: 16-byte data records from address 0,
// CR LF line ends, then the end record. Every byte is written, blanks included, so that a
// converter that fills gaps gives back the same bytes.
std::string FormatHexImage(const Image& image, std::size_t length);

// Writes FormatHexImage to a file opened for writing, which it closes in every case. False
// when `length` exceeds the image or not every byte could be written and flushed.
bool WriteHexImage(std::FILE* file, const Image& image, std::size_t length);

}  // namespace korvan
