#include "engine/catalogue_edit.h"

#include <algorithm>
#include <cctype>
#include <charconv>
#include <cmath>
#include <cstdio>
#include <type_traits>

#include "data/replace_file.h"
#include "data/text.h"

namespace korvan {
namespace {

// The chip codes the programmers know: 1 40-pin 12 V parts, 2 AT89S-class ISP parts, 3 20-pin
// parts, 4 40-pin 5 V parts. A chip of another code could be chosen but never programmed.
constexpr std::uint8_t kFirstChipCode = 1;
constexpr std::uint8_t kLastChipCode = 4;

std::optional<ChipFieldProblem> ChipCodeProblem(std::uint8_t code) {
    if (code >= kFirstChipCode && code <= kLastChipCode) {
        return std::nullopt;
    }
    return ChipFieldProblem{ChipField::kChipCode, "chip code " + std::to_string(code) +
                                                      " is none a programmer knows: 1 (40-pin, 12 V), 2 (AT89S, ISP), "
                                                      "3 (20-pin) or 4 (40-pin, 5 V)"};
}

constexpr std::string_view kBlanks = " \t\r";

ChipFieldProblem Problem(ChipField field, const std::string& rule) {
    return {field, std::string(ChipFieldName(field)) + " " + rule};
}

std::optional<ChipFieldProblem> NameProblem(std::string_view name) {
    if (name.empty() || name.size() > kChipNameField - 1) {
        return Problem(ChipField::kName, "must have 1 to 19 characters");
    }
    if (!std::all_of(name.begin(), name.end(), [](char c) { return c >= ' ' && c <= '~'; })) {
        return Problem(ChipField::kName, "must be printable ASCII characters");
    }
    if (name.front() == ' ' || name.back() == ' ') {
        return Problem(ChipField::kName, "must not start or end with a space");
    }
    if (std::all_of(name.begin(), name.end(), [](char c) { return c >= '0' && c <= '9'; })) {
        return Problem(ChipField::kName, "must not be a number (a number selects a chip by its index)");
    }
    return std::nullopt;
}

std::optional<ChipFieldProblem> RomSizeProblem(std::int32_t kib) {
    if (kib < 1 || kib > kMaxRomSizeKiB) {
        return Problem(ChipField::kRomSize, "must be 1 to 64 KiB");
    }
    return std::nullopt;
}

std::optional<ChipFieldProblem> VoltageProblem(float volts) {
    if (!std::isfinite(volts) || volts < kMinProgrammingVolts || volts > kMaxProgrammingVolts) {
        return Problem(ChipField::kVoltage, "must be 1 to 25 V");
    }
    return std::nullopt;
}

template <typename Number>
bool ReadNumber(std::string_view text, Number& value, int base = 10) {
    const std::optional<Number> number = ParseWhole<Number>(text, base);
    if (number) {
        value = *number;
    }
    return number.has_value();
}

std::string_view TrimBlanks(std::string_view text) { return Trim(text, kBlanks); }

std::vector<std::string_view> SplitBlanks(std::string_view text) {
    std::vector<std::string_view> words;
    std::size_t start = text.find_first_not_of(kBlanks);
    while (start != std::string_view::npos) {
        const std::size_t end = std::min(text.find_first_of(kBlanks, start), text.size());
        words.push_back(text.substr(start, end - start));
        start = text.find_first_not_of(kBlanks, end);
    }
    return words;
}

std::optional<ChipFieldProblem> ParseSignature(std::string_view text, Signature& signature) {
    const std::vector<std::string_view> bytes = SplitBlanks(text);
    if (bytes.size() != signature.size()) {
        return Problem(ChipField::kSignature, "must be three hex bytes 00..FF");
    }
    for (std::size_t i = 0; i < signature.size(); ++i) {
        if (bytes[i].size() > 2 || !ReadNumber(bytes[i], signature[i], 16)) {
            return Problem(ChipField::kSignature, "must be three hex bytes 00..FF");
        }
    }
    return std::nullopt;
}

std::optional<ChipFieldProblem> ParseInto(std::string_view text, ChipField field, ChipRecord& record) {
    switch (field) {
    case ChipField::kName:
        record.name = std::string(text);
        return NameProblem(text);
    case ChipField::kChipCode:
        if (!ReadNumber(TrimBlanks(text), record.chipCode)) {
            return Problem(field, "must be a number 0 to 255");
        }
        return ChipCodeProblem(record.chipCode);
    case ChipField::kRomSize:
        if (!ReadNumber(TrimBlanks(text), record.romSizeKiB)) {
            return Problem(field, "must be a number of KiB");
        }
        return RomSizeProblem(record.romSizeKiB);
    case ChipField::kVoltage:
        if (!ReadNumber(TrimBlanks(text), record.programmingVoltage)) {
            return Problem(field, "must be a number of volts");
        }
        return VoltageProblem(record.programmingVoltage);
    case ChipField::kSignature:
        return ParseSignature(text, record.signature);
    }
    return std::nullopt;
}

// Names match without regard to case, as --chip and the catalogue's lookup take them.
bool SameName(std::string_view a, std::string_view b) {
    return std::equal(a.begin(), a.end(), b.begin(), b.end(), [](char x, char y) {
        return std::tolower(static_cast<unsigned char>(x)) == std::tolower(static_cast<unsigned char>(y));
    });
}

// One chip's line: the name up to the first tab, then six blank-separated values.
std::optional<ChipFieldProblem> ParseTableLine(std::string_view line, ChipRecord& record) {
    const std::size_t tab = line.find('\t');
    if (tab == std::string_view::npos) {
        return Problem(ChipField::kName, "must be followed by a tab");
    }
    const std::vector<std::string_view> values = SplitBlanks(line.substr(tab + 1));
    if (values.size() != 6) {
        return ChipFieldProblem{ChipField::kChipCode,
                                "expected 6 values after the name: chip code, ROM KiB, volts, 3 signature bytes"};
    }
    const std::string signature = std::string(values[3]) + ' ' + std::string(values[4]) + ' ' + std::string(values[5]);
    const std::pair<std::string_view, ChipField> fields[] = {{line.substr(0, tab), ChipField::kName},
                                                             {values[0], ChipField::kChipCode},
                                                             {values[1], ChipField::kRomSize},
                                                             {values[2], ChipField::kVoltage},
                                                             {signature, ChipField::kSignature}};
    for (const auto& [text, field] : fields) {
        if (auto problem = ParseChipField(text, field, record)) {
            return problem;
        }
    }
    return std::nullopt;
}

}  // namespace

const char* ChipFieldName(ChipField field) {
    switch (field) {
    case ChipField::kName:
        return "name";
    case ChipField::kChipCode:
        return "chip code";
    case ChipField::kRomSize:
        return "ROM size";
    case ChipField::kVoltage:
        return "programming voltage";
    case ChipField::kSignature:
        return "signature";
    }
    return "";
}

std::optional<ChipFieldProblem> ValidateChipRecord(const ChipRecord& record) {
    if (auto problem = NameProblem(record.name)) {
        return problem;
    }
    if (auto problem = ChipCodeProblem(record.chipCode)) {
        return problem;
    }
    if (auto problem = RomSizeProblem(record.romSizeKiB)) {
        return problem;
    }
    return VoltageProblem(record.programmingVoltage);
}

std::string FormatChipField(const ChipRecord& record, ChipField field) {
    char text[32];
    switch (field) {
    case ChipField::kName:
        return record.name;
    case ChipField::kChipCode:
        return std::to_string(record.chipCode);
    case ChipField::kRomSize:
        return std::to_string(record.romSizeKiB);
    case ChipField::kVoltage: {
        const auto result = std::to_chars(text, text + sizeof text, record.programmingVoltage);
        return std::string(text, result.ptr);
    }
    case ChipField::kSignature:
        std::snprintf(text, sizeof text, "%02X %02X %02X", record.signature[0], record.signature[1],
                      record.signature[2]);
        return text;
    }
    return {};
}

std::optional<ChipFieldProblem> ParseChipField(std::string_view text, ChipField field, ChipRecord& record) {
    ChipRecord changed = record;
    if (auto problem = ParseInto(text, field, changed)) {
        return problem;
    }
    record = changed;
    return std::nullopt;
}

ChipTable ParseChipTable(std::string_view text) {
    ChipTable table;
    int number = 0;
    // Editors on some systems start a UTF-8 file with a byte order mark.
    constexpr std::string_view kByteOrderMark = "\xEF\xBB\xBF";
    if (text.starts_with(kByteOrderMark)) {
        text.remove_prefix(kByteOrderMark.size());
    }
    while (!text.empty()) {
        ++number;
        const std::size_t end = std::min(text.find('\n'), text.size());
        std::string_view line = text.substr(0, end);
        text.remove_prefix(std::min(end + 1, text.size()));
        if (!line.empty() && line.back() == '\r') {
            line.remove_suffix(1);
        }
        if (TrimBlanks(line).empty() || line.front() == '#') {
            continue;
        }
        ChipRecord record;
        std::optional<ChipFieldProblem> problem = ParseTableLine(line, record);
        if (!problem) {
            table.records.push_back(record);
            problem = RepeatProblem(table.records, table.records.size() - 1);
        }
        if (problem) {
            table.problemLine = number;
            table.problem = problem;
            return table;
        }
    }
    return table;
}

std::string FormatChipTable(const std::vector<ChipRecord>& records) {
    std::string text = "# name\tcode\trom_kib\tvolts\tsig1\tsig2\tsig3\n";
    for (const ChipRecord& record : records) {
        std::string signature = FormatChipField(record, ChipField::kSignature);
        std::replace(signature.begin(), signature.end(), ' ', '\t');
        text += record.name + '\t' + FormatChipField(record, ChipField::kChipCode) + '\t' +
                FormatChipField(record, ChipField::kRomSize) + '\t' + FormatChipField(record, ChipField::kVoltage) +
                '\t' + signature + '\n';
    }
    return text;
}

std::optional<ChipFieldProblem> RepeatProblem(const std::vector<ChipRecord>& records, std::size_t index) {
    const ChipRecord& record = records[index];
    for (std::size_t earlier = 0; earlier < index; ++earlier) {
        if (SameName(records[earlier].name, record.name)) {
            return ChipFieldProblem{ChipField::kName, "name " + record.name + " is already chip " +
                                                          std::to_string(earlier + 1) + "'s, " + records[earlier].name};
        }
        if (records[earlier].signature == record.signature) {
            return ChipFieldProblem{ChipField::kSignature,
                                    "signature " + FormatChipField(record, ChipField::kSignature) + " of " +
                                        record.name + " is already " + records[earlier].name +
                                        "'s: identification would always take " + records[earlier].name};
        }
    }
    return std::nullopt;
}

std::string DescribeChip(std::size_t index, const ChipRecord& record) {
    char line[96];
    std::snprintf(line, sizeof line, "%3zu  %-19s %3dK  %5.2fV  %02x %02x %02x", index, record.name.c_str(),
                  static_cast<int>(record.romSizeKiB), static_cast<double>(record.programmingVoltage),
                  record.signature[0], record.signature[1], record.signature[2]);
    return line;
}

std::string SaveChipCatalogue(const std::string& path, const std::vector<ChipRecord>& records) {
    for (std::size_t i = 0; i < records.size(); ++i) {
        std::optional<ChipFieldProblem> problem = ValidateChipRecord(records[i]);
        if (!problem) {
            problem = RepeatProblem(records, i);
        }
        if (problem) {
            return "chip " + std::to_string(i + 1) + ": " + problem->message;
        }
    }
    const std::vector<std::uint8_t> bytes = EncodeCatalogue(records);
    return ReplaceFileAtomically(path,
                                 std::string_view(reinterpret_cast<const char*>(bytes.data()), bytes.size()));
}

}  // namespace korvan
