// Parses arbitrary INI text and edits it, checking that an edit reads back and disturbs no
// other key. Input layout: text, then optionally NUL-separated section, key and value.
#include <array>
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "data/profile.h"

namespace {

void Require(bool condition) {
    if (!condition) {
        std::abort();
    }
}

std::string_view Trim(std::string_view text) {
    constexpr std::string_view kBlanks = " \t\r\v\f";
    const std::size_t first = text.find_first_not_of(kBlanks);
    if (first == std::string_view::npos) {
        return {};
    }
    return text.substr(first, text.find_last_not_of(kBlanks) - first + 1);
}

bool SameName(std::string_view a, std::string_view b) {
    a = Trim(a);
    b = Trim(b);
    if (a.size() != b.size()) {
        return false;
    }
    for (std::size_t k = 0; k < a.size(); ++k) {
        const auto lower = [](char c) { return (c >= 'A' && c <= 'Z') ? static_cast<char>(c + 32) : c; };
        if (lower(a[k]) != lower(b[k])) {
            return false;
        }
    }
    return true;
}

std::vector<std::string_view> SplitAtNul(std::string_view input) {
    std::vector<std::string_view> parts;
    while (parts.size() < 3) {
        const std::size_t nul = input.find('\0');
        if (nul == std::string_view::npos) {
            break;
        }
        parts.push_back(input.substr(0, nul));
        input.remove_prefix(nul + 1);
    }
    parts.push_back(input);
    return parts;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    namespace profile = korvan::profile;
    const std::vector<std::string_view> parts = SplitAtNul({reinterpret_cast<const char*>(data), size});
    const std::string_view text = parts[0];
    const std::string_view section = parts.size() > 1 ? parts[1] : "S";
    const std::string_view key = parts.size() > 2 ? parts[2] : "k";
    const std::string_view value = parts.size() > 3 ? parts[3] : "v";

    constexpr std::array<std::string_view, 3> kOtherSections{"S", "Pin Control", "InfoSave"};
    constexpr std::array<std::string_view, 3> kOtherKeys{"k", "n", "m_InfoSave"};

    const std::optional<std::string> found = profile::FindValue(text, section, key);
    if (found) {
        std::array<std::uint8_t, 4> record{};
        const std::array<std::uint8_t, 4> untouched = record;
        if (!profile::DecodeStruct(*found, record)) {
            Require(record == untouched);
        } else {
            Require(profile::EncodeStruct(record) == *found || found->find_first_of("abcdef") != std::string::npos);
        }
    }

    const std::optional<std::string> edited = profile::SetValue(text, section, key, value);
    if (!edited) {
        return 0;
    }
    Require(profile::FindValue(*edited, section, key) == std::string(Trim(value)));
    for (const std::string_view otherSection : kOtherSections) {
        for (const std::string_view otherKey : kOtherKeys) {
            if (SameName(otherSection, section) && SameName(otherKey, key)) {
                continue;
            }
            Require(profile::FindValue(text, otherSection, otherKey) ==
                    profile::FindValue(*edited, otherSection, otherKey));
        }
    }
    return 0;
}
