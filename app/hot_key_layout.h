#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

namespace korvan {

// The hot key as the settings record keeps it: a key byte (an upper-case character) and a
// modifier byte of these bits.
inline constexpr std::uint8_t kHotKeyShift = 1;
inline constexpr std::uint8_t kHotKeyAlt = 2;
inline constexpr std::uint8_t kHotKeyCtrl = 4;

// The three check boxes of the hot-key dialog.
struct HotKeyBoxes {
    bool shift = false;
    bool ctrl = false;
    bool alt = false;

    bool operator==(const HotKeyBoxes&) const = default;
};

HotKeyBoxes BoxesOfModifiers(std::uint8_t modifiers);
std::uint8_t ModifiersOfBoxes(HotKeyBoxes boxes);

// The key field's text for a key byte: its one character, empty for 0.
std::u32string KeyTextOfCode(std::uint8_t code);
// The key byte for what the key field holds: its one character upper-cased. Nothing when the
// text is not exactly one character, or that character is not a printable ASCII one (the
// byte could not hold it, or no key would give it back).
std::optional<std::uint8_t> KeyCodeOfText(std::u32string_view text);

}  // namespace korvan
