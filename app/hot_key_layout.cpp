#include "app/hot_key_layout.h"

namespace korvan {

HotKeyBoxes BoxesOfModifiers(std::uint8_t modifiers) {
    return {.shift = (modifiers & kHotKeyShift) != 0,
            .ctrl = (modifiers & kHotKeyCtrl) != 0,
            .alt = (modifiers & kHotKeyAlt) != 0};
}

std::uint8_t ModifiersOfBoxes(HotKeyBoxes boxes) {
    std::uint8_t modifiers = boxes.shift ? kHotKeyShift : 0;
    if (boxes.ctrl) {
        modifiers |= kHotKeyCtrl;
    }
    if (boxes.alt) {
        modifiers |= kHotKeyAlt;
    }
    return modifiers;
}

std::u32string KeyTextOfCode(std::uint8_t code) {
    if (code == 0) {
        return {};
    }
    return std::u32string(1, static_cast<char32_t>(code));
}

std::optional<std::uint8_t> KeyCodeOfText(std::u32string_view text) {
    if (text.size() != 1) {
        return std::nullopt;
    }
    char32_t character = text.front();
    if (character < U' ' || character > U'~') {
        return std::nullopt;
    }
    if (character >= U'a' && character <= U'z') {
        character = character - U'a' + U'A';
    }
    return static_cast<std::uint8_t>(character);
}

}  // namespace korvan
