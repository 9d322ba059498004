// Feeds arbitrary text to the Intel HEX conversion and checks its promises about the image:
// as given, with checksums ignored, and with every record's last byte made its right
// checksum (so that mutated records still reach the address and placement rules).
#include <algorithm>
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
        last = message;
    }
    int count = 0;
    korvan::Message last;
};

void Require(bool condition) {
    if (!condition) {
        std::abort();
    }
}

// Not the blank value, so a clearing shows.
constexpr std::uint8_t kEarlierContent = 0x5A;

struct Outcome {
    int result = 0;
    korvan::Image image;
};

Outcome Convert(std::string_view text, korvan::HexReadOptions options) {
    Outcome outcome;
    outcome.image.fill(kEarlierContent);
    LastMessage messages;
    outcome.result = korvan::ConvertHexFile(text, outcome.image, messages, options);

    Require(outcome.result >= -1);
    Require(messages.count <= 1);
    if (outcome.result >= 0) {
        // Each data byte takes two characters of text.
        Require(messages.count == 0);
        Require(static_cast<std::size_t>(outcome.result) <= text.size() / 2);
        Require(korvan::HasIntelHexForm(text));
        return outcome;
    }
    const std::string& shown = messages.last.text;
    if (messages.count == 0 || shown == korvan::kHexNoEndRecord || shown == korvan::kHexBadCharacter) {
        // Failures of the character scan never touch the image, and the text is not HEX in form.
        korvan::Image untouched;
        untouched.fill(kEarlierContent);
        Require(outcome.image == untouched);
        Require(!korvan::HasIntelHexForm(text));
    } else {
        Require(shown == korvan::kHexBadRecord || shown == korvan::kHexOver64k);
        Require(messages.last.detail.starts_with("line "));
        Require(korvan::HasIntelHexForm(text));
    }
    Require(shown == korvan::kHexNoEndRecord || messages.count == 0 || messages.last.detail.starts_with("line "));
    return outcome;
}

// The text with the last byte pair of every record replaced by the record's checksum.
std::string WithRightChecksums(std::string_view text) {
    std::string fixed(text);
    std::size_t i = 0;
    while (i < fixed.size()) {
        if (fixed[i] != ':') {
            ++i;
            continue;
        }
        ++i;
        unsigned sum = 0;
        std::size_t lastPair = std::string::npos;
        std::uint8_t byte = 0;
        while (i + 1 < fixed.size() && korvan::HexPairToByte(fixed[i], fixed[i + 1], byte)) {
            sum += byte;
            lastPair = i;
            i += 2;
        }
        if (lastPair != std::string::npos) {
            korvan::HexPairToByte(fixed[lastPair], fixed[lastPair + 1], byte);
            const unsigned checksum = (0x100 - ((sum - byte) & 0xFF)) & 0xFF;
            constexpr char kDigits[] = "0123456789ABCDEF";
            fixed[lastPair] = kDigits[checksum >> 4];
            fixed[lastPair + 1] = kDigits[checksum & 0x0F];
        }
    }
    return fixed;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::string_view text(reinterpret_cast<const char*>(data), size);
    const Outcome strict = Convert(text, {});
    const Outcome handEdited = Convert(text, {.ignoreChecksums = true});
    // Ignoring checksums only ever accepts more.
    if (strict.result >= 0) {
        Require(handEdited.result == strict.result);
        Require(handEdited.image == strict.image);
    }
    Convert(WithRightChecksums(text), {});
    return 0;
}
