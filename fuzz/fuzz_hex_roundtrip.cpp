// Writes the input, as the first bytes of an image, with the Intel HEX writer and reads it
// back: the reader must accept the text and give back exactly those bytes, blank after them.
#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string>

#include "data/hex_file.h"

namespace {

class NoMessages : public korvan::MessageSink {
public:
    void ShowMessage(const korvan::Message& /*message*/) override { std::abort(); }
};

void Require(bool condition) {
    if (!condition) {
        std::abort();
    }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::size_t length = std::min(size, korvan::kImageSize);
    korvan::Image written;
    korvan::ClearImage(written);
    std::copy_n(data, length, written.begin());

    const std::string text = korvan::FormatHexImage(written, length);
    Require(korvan::HasIntelHexForm(text));
    korvan::Image read;
    read.fill(0x5A);
    NoMessages messages;
    Require(korvan::ConvertHexFile(text, read, messages) == static_cast<int>(length));
    Require(read == written);
    return 0;
}
