#include "app/hot_key_layout.h"

#include <gtest/gtest.h>

namespace korvan {
namespace {

TEST(HotKeyBytes, EveryModifierByteShowsItsBoxesAndComesBackUnchanged) {
    for (int modifiers = 0; modifiers < 8; ++modifiers) {
        const HotKeyBoxes boxes = BoxesOfModifiers(static_cast<std::uint8_t>(modifiers));
        EXPECT_EQ(boxes.shift, (modifiers & 1) != 0) << modifiers;
        EXPECT_EQ(boxes.alt, (modifiers & 2) != 0) << modifiers;
        EXPECT_EQ(boxes.ctrl, (modifiers & 4) != 0) << modifiers;
        EXPECT_EQ(ModifiersOfBoxes(boxes), modifiers);
    }
    EXPECT_EQ(ModifiersOfBoxes({.shift = true, .ctrl = true, .alt = false}), 5);
}

// The field shows the stored byte, and what it shows gives the byte back; lower case becomes upper.
TEST(HotKeyBytes, TheKeyIsOneCharacterUpperCased) {
    EXPECT_EQ(KeyCodeOfText(U"a"), 0x41);
    EXPECT_EQ(KeyCodeOfText(U"z"), 'Z');
    EXPECT_EQ(KeyTextOfCode(0), U"");
    for (std::uint8_t code = ' '; code <= '~'; ++code) {
        const bool lower = code >= 'a' && code <= 'z';
        EXPECT_EQ(KeyCodeOfText(KeyTextOfCode(code)), lower ? code - 'a' + 'A' : code) << int{code};
    }
}

TEST(HotKeyBytes, AKeyTextThatNoByteCanHoldIsRefused) {
    EXPECT_EQ(KeyCodeOfText(U""), std::nullopt);
    EXPECT_EQ(KeyCodeOfText(U"AB"), std::nullopt);
    EXPECT_EQ(KeyCodeOfText(U"\t"), std::nullopt);
    EXPECT_EQ(KeyCodeOfText(U"\x7f"), std::nullopt);
    EXPECT_EQ(KeyCodeOfText(U"é"), std::nullopt);
    EXPECT_EQ(KeyCodeOfText(U"键"), std::nullopt);
}

}  // namespace
}  // namespace korvan
