#pragma once

#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "engine/catalogue.h"

namespace korvan {

// Writing the chip catalogue: what a record may hold so that the programs reading
// ChipList.chip show and use it as meant, the readable table it is kept in, and saving.

enum class ChipField { kName, kChipCode, kRomSize, kVoltage, kSignature };
inline constexpr int kChipFieldCount = 5;

// "name", "chip code", "ROM size", "programming voltage", "signature".
const char* ChipFieldName(ChipField field);

// The voltages a record may give: the range a programmer can supply to a chip.
inline constexpr float kMinProgrammingVolts = 1.0F;
inline constexpr float kMaxProgrammingVolts = 25.0F;

// Why a record, or the text for one of its fields, is refused; the message names the field.
struct ChipFieldProblem {
    ChipField field = ChipField::kName;
    std::string message;
};

// A record the catalogue reader shows whole: a name of 1..19 printable ASCII characters, not
// starting or ending with a space and not all digits (a number selects a chip by index),
// ROM size 1..64 KiB, a finite programming voltage within the range above, a chip code a
// programmer knows (1..4). Every signature byte is valid.
std::optional<ChipFieldProblem> ValidateChipRecord(const ChipRecord& record);

// Why `records[index]` cannot join the chips before it: one of them has its name (case aside)
// or its signature, so --chip or identification would always find that one instead.
std::optional<ChipFieldProblem> RepeatProblem(const std::vector<ChipRecord>& records, std::size_t index);

// The field as the table and the editor write it: the name; the chip code and ROM size in
// decimal; the voltage as the shortest text that reads back to the same float; the signature
// as three hex bytes "1E 51 FF".
std::string FormatChipField(const ChipRecord& record, ChipField field);
// Reads `text` in the form above into `record`'s field and checks it against the rules of
// ValidateChipRecord; on refusal `record` is left as it was.
std::optional<ChipFieldProblem> ParseChipField(std::string_view text, ChipField field, ChipRecord& record);

// The readable catalogue table: one chip a line, the name, a tab, then chip code, ROM KiB,
// volts and the three signature bytes in hex, separated by blanks; '#' starts a comment line,
// a byte order mark before the first line is skipped. A repeated name or signature is refused.
struct ChipTable {
    std::vector<ChipRecord> records;
    // The first refused line (1-based) and why; the records are then incomplete.
    int problemLine = 0;
    std::optional<ChipFieldProblem> problem;
};
ChipTable ParseChipTable(std::string_view text);
std::string FormatChipTable(const std::vector<ChipRecord>& records);

// One line of a chip listing: "  0  AT89C51               4K  12.00V  1e 51 ff".
std::string DescribeChip(std::size_t index, const ChipRecord& record);

// Writes the catalogue file atomically after checking every record; a refused record or a
// failed write leaves the old file whole. Returns why it was not saved, empty on success.
std::string SaveChipCatalogue(const std::string& path, const std::vector<ChipRecord>& records);

}  // namespace korvan
