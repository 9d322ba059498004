#include "app/hex_layout.h"

#include <array>
#include <cstdio>

namespace korvan {

namespace {

// Two blank cells part the address from the bytes; one more follows the last byte's own gap.
constexpr int kAddressGap = 2;
constexpr int kCellsPerHexByte = 3;  // two digits and a space
constexpr int kHexToCharactersGap = 1;

}  // namespace

int HexLayout::HexColumn(int column) const {
    return addressDigits + kAddressGap + column * kCellsPerHexByte;
}

int HexLayout::CharColumn(int column) const {
    return HexColumn(bytesPerRow) + kHexToCharactersGap + column;
}

int HexLayout::RowCells() const { return CharColumn(bytesPerRow); }

int HexLayout::RowCount(std::size_t length) const {
    const auto perRow = static_cast<std::size_t>(bytesPerRow);
    return static_cast<int>((length + perRow - 1) / perRow);
}

std::optional<HexLayout::Hit> HexLayout::HitTest(int cell) const {
    if (cell < 0) return std::nullopt;
    if (cell < addressDigits) return Hit{Part::Address, 0, false};
    const int hexStart = HexColumn(0);
    const int hexEnd = HexColumn(bytesPerRow);
    if (cell >= hexStart && cell < hexEnd) {
        const int withinByte = (cell - hexStart) % kCellsPerHexByte;
        if (withinByte == 2) return std::nullopt;  // the space between two bytes
        return Hit{Part::Hex, (cell - hexStart) / kCellsPerHexByte, withinByte == 1};
    }
    const int charStart = CharColumn(0);
    if (cell >= charStart && cell < charStart + bytesPerRow) {
        return Hit{Part::Characters, cell - charStart, false};
    }
    return std::nullopt;
}

RowSpan VisibleRows(int scrollTopPixels, int viewportHeightPixels, int rowHeightPixels, std::size_t rowCount) {
    if (rowHeightPixels <= 0 || viewportHeightPixels <= 0 || scrollTopPixels < 0) return {};
    const auto first = static_cast<std::size_t>(scrollTopPixels / rowHeightPixels);
    if (first >= rowCount) return {first, 0};
    const auto lastInSight = static_cast<std::size_t>((scrollTopPixels + viewportHeightPixels - 1) / rowHeightPixels);
    const std::size_t last = lastInSight < rowCount ? lastInSight : rowCount - 1;
    return {first, last - first + 1};
}

std::string AddressText(std::uint32_t address, int digits) {
    std::array<char, 16> text{};
    std::snprintf(text.data(), text.size(), "%0*X", digits, static_cast<unsigned>(address));
    return text.data();
}

char PrintableChar(std::uint8_t byte) {
    return byte >= 0x20 && byte < 0x7F ? static_cast<char>(byte) : '.';
}

}  // namespace korvan
