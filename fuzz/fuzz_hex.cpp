// Feeds arbitrary text to the Intel HEX conversion and checks its promises about the image.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string>
#include <string_view>

#include "data/hex_file.h"

namespace {

class LastMessage : public korvan::MessageSink {
public:
    void ShowMessage(const korvan::Message& message) override {
        ++count;
        last = message.text;
    }
    int count = 0;
    std::string last;
};

void Require(bool condition) {
    if (!condition) {
        std::abort();
    }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::string_view text(reinterpret_cast<const char*>(data), size);
    // Not the blank value, so a clearing shows.
    constexpr std::uint8_t kEarlierContent = 0x5A;
    korvan::Image before;
    before.fill(kEarlierContent);
    korvan::Image image = before;
    LastMessage messages;
    const int result = korvan::ConvertHexFile(text, image, messages);

    Require(result >= -1);
    Require(messages.count <= 1);
    if (result >= 0) {
        // Each data byte takes two characters of text.
        Require(messages.count == 0);
        Require(static_cast<std::size_t>(result) <= size / 2);
        return 0;
    }
    // Failures of the character scan never touch the image.
    if (messages.count == 0 || messages.last == korvan::kHexNoEndRecord || messages.last == korvan::kHexBadCharacter) {
        Require(image == before);
    } else {
        Require(messages.last == korvan::kHexBadRecord || messages.last == korvan::kHexOver64k);
    }
    return 0;
}
