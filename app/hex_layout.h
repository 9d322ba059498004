#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>

namespace korvan {

// Where things sit in a hex view: an address column, `bytesPerRow` two-digit byte cells and
// the same bytes as characters. Measured in character cells of a fixed-pitch font, so the
// maths is the same at every font size; the widget multiplies by the cell size.
struct HexLayout {
    int bytesPerRow = 8;
    int addressDigits = 4;  // 0000..FFFF for a 64 KiB image

    int AddressColumn() const { return 0; }
    // First cell of byte column `column` in the hexadecimal part ("00 11 22 ...").
    int HexColumn(int column) const;
    // Cell of byte column `column` in the character part.
    int CharColumn(int column) const;
    // Cells in a whole row: address, hexadecimal part, character part.
    int RowCells() const;

    int RowCount(std::size_t length) const;
    std::size_t RowOf(std::size_t offset) const { return offset / static_cast<std::size_t>(bytesPerRow); }
    int ColumnOf(std::size_t offset) const { return static_cast<int>(offset % static_cast<std::size_t>(bytesPerRow)); }

    // Which part of the row a cell falls in.
    enum class Part { Address, Hex, Characters };
    struct Hit {
        Part part = Part::Address;
        int column = 0;  // byte column; 0 for the address part
        bool lowNibble = false;  // in the hexadecimal part: the second digit
    };
    // The part and byte column under cell `cell` of a row, if a byte is there.
    std::optional<Hit> HitTest(int cell) const;
};

// The rows to paint for a viewport: the first is partly hidden when the view is scrolled by
// less than a row; the last is cut off at the image's end.
struct RowSpan {
    std::size_t first = 0;
    std::size_t count = 0;
};
RowSpan VisibleRows(int scrollTopPixels, int viewportHeightPixels, int rowHeightPixels, std::size_t rowCount);

// "%04X" of an address; "%02X" of a byte; a byte as a character, '.' when it does not print.
std::string AddressText(std::uint32_t address, int digits);
char PrintableChar(std::uint8_t byte);

}  // namespace korvan
