#pragma once

#include <cstdint>
#include <string_view>

#include "data/image.h"
#include "data/message_sink.h"

namespace korvan {

// The four conversion failure messages, exactly as the operator sees them.
inline constexpr const char* kHexNoEndRecord = "*.Hex文件转换失败(未找到\":00000001\"记录)!";
inline constexpr const char* kHexBadCharacter = "*.Hex文件转换失败(错误的字符)!";
inline constexpr const char* kHexBadRecord = "*.Hex文件转换失败(错误的记录)!";
inline constexpr const char* kHexOver64k = "*.Hex文件转换失败(不支持大于64k)!";

// Two hexadecimal digits to one byte, the first giving the high four bits.
// False when either character is not a hexadecimal digit.
bool HexPairToByte(char high, char low, std::uint8_t& byte);

// Converts Intel HEX text (16-bit subset: data and end records) into `image`.
// `text` is the file's content; a NUL byte ends it. Returns the sum of the data records'
// byte counts, or -1 after showing the failure message through `messages` (no message for
// bytes before the first ':'). Character errors leave `image` untouched; record errors
// leave it cleared with the records before the bad one placed.
int ConvertHexFile(std::string_view text, Image& image, MessageSink& messages);

}  // namespace korvan
