#include "app/hex_layout.h"

#include <gtest/gtest.h>

#include <string>

namespace korvan {
namespace {

// Puts a row's address, digits and characters where the layout says: they must neither
// overlap nor run together.
std::string RenderRow(const HexLayout& layout, std::uint32_t address, const std::string& bytes) {
    std::string row(static_cast<std::size_t>(layout.RowCells()), ' ');
    row.replace(static_cast<std::size_t>(layout.AddressColumn()), static_cast<std::size_t>(layout.addressDigits),
                AddressText(address, layout.addressDigits));
    for (int column = 0; column < static_cast<int>(bytes.size()); ++column) {
        const auto byte = static_cast<std::uint8_t>(bytes[static_cast<std::size_t>(column)]);
        row.replace(static_cast<std::size_t>(layout.HexColumn(column)), 2, AddressText(byte, 2));
        row[static_cast<std::size_t>(layout.CharColumn(column))] = PrintableChar(byte);
    }
    return row;
}

TEST(HexLayout, RowPlacesAddressDigitsAndCharactersApart) {
    const HexLayout layout;
    EXPECT_EQ(RenderRow(layout, 0x0010, std::string("AB\x01 z\x7F\x80~", 8)),
              "0010  41 42 01 20 7A 7F 80 7E  AB. z..~");
    HexLayout wide;
    wide.bytesPerRow = 4;
    wide.addressDigits = 6;
    EXPECT_EQ(RenderRow(wide, 0x12345, "0123"), "012345  30 31 32 33  0123");
}

TEST(HexLayout, HitTestFindsEveryDigitAndCharacter) {
    const HexLayout layout;
    for (int column = 0; column < layout.bytesPerRow; ++column) {
        const auto high = layout.HitTest(layout.HexColumn(column));
        ASSERT_TRUE(high.has_value());
        EXPECT_EQ(high->part, HexLayout::Part::Hex);
        EXPECT_EQ(high->column, column);
        EXPECT_FALSE(high->lowNibble);
        const auto low = layout.HitTest(layout.HexColumn(column) + 1);
        ASSERT_TRUE(low.has_value());
        EXPECT_EQ(low->column, column);
        EXPECT_TRUE(low->lowNibble);
        EXPECT_FALSE(layout.HitTest(layout.HexColumn(column) + 2).has_value()) << "gap after " << column;
        const auto character = layout.HitTest(layout.CharColumn(column));
        ASSERT_TRUE(character.has_value());
        EXPECT_EQ(character->part, HexLayout::Part::Characters);
        EXPECT_EQ(character->column, column);
    }
    EXPECT_EQ(layout.HitTest(0)->part, HexLayout::Part::Address);
    EXPECT_FALSE(layout.HitTest(layout.addressDigits).has_value());
    EXPECT_FALSE(layout.HitTest(layout.RowCells()).has_value());
    EXPECT_FALSE(layout.HitTest(-1).has_value());
}

TEST(HexLayout, RowsOfAnImage) {
    const HexLayout layout;
    EXPECT_EQ(layout.RowCount(65536), 8192);
    EXPECT_EQ(layout.RowCount(0), 0);
    EXPECT_EQ(layout.RowCount(9), 2);
    EXPECT_EQ(layout.RowOf(0xFFFF), 8191u);
    EXPECT_EQ(layout.ColumnOf(0xFFFF), 7);
}

TEST(HexLayout, VisibleRowsAtTheTopInBetweenAndAtTheEnd) {
    constexpr int rowHeight = 16;
    constexpr std::size_t rows = 8192;
    const RowSpan top = VisibleRows(0, 200, rowHeight, rows);
    EXPECT_EQ(top.first, 0u);
    EXPECT_EQ(top.count, 13u);  // twelve whole rows and the top of the thirteenth
    const RowSpan halfRow = VisibleRows(8, 200, rowHeight, rows);
    EXPECT_EQ(halfRow.first, 0u);
    EXPECT_EQ(halfRow.count, 13u);
    const RowSpan end = VisibleRows((rows - 12) * rowHeight, 200, rowHeight, rows);
    EXPECT_EQ(end.first, rows - 12);
    EXPECT_EQ(end.count, 12u);  // cut off at the image's end
    EXPECT_EQ(VisibleRows(0, 200, rowHeight, 3).count, 3u);
    EXPECT_EQ(VisibleRows(0, 0, rowHeight, rows).count, 0u);
    EXPECT_EQ(VisibleRows(0, 200, 0, rows).count, 0u);
    EXPECT_EQ(VisibleRows(0, 200, rowHeight, 0).count, 0u);
}

}  // namespace
}  // namespace korvan
