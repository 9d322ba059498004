#include "engine/catalogue_edit.h"

#include <gtest/gtest.h>
#include <sys/resource.h>

#include <csignal>
#include <filesystem>
#include <iterator>

#include "tests/engine/test_chips.h"
#include "tests/support/temp_dir.h"

namespace korvan {
namespace {

// The field a text is refused for, or nothing when it is taken; a refusal leaves the record.
std::optional<ChipField> Refusal(ChipField field, const std::string& text) {
    ChipRecord record = TestChip("AT89C51", 1, 4, {0x1E, 0x51, 0xFF});
    const ChipRecord before = record;
    const auto problem = ParseChipField(text, field, record);
    if (!problem) {
        return std::nullopt;
    }
    EXPECT_EQ(EncodeCatalogue({record}), EncodeCatalogue({before})) << text;
    EXPECT_EQ(problem->message.rfind(ChipFieldName(problem->field), 0), 0U) << problem->message;
    return problem->field;
}

TEST(ChipRecordChecks, EachFieldTakesItsLimitsAndRefusesPastThem) {
    struct Case {
        ChipField field;
        const char* text;
        bool taken;
    };
    const Case cases[] = {
        {ChipField::kName, "A23456789012345678S", true},  // 19 characters
        {ChipField::kName, "A234567890123456789S", false},
        {ChipField::kName, "", false},
        {ChipField::kName, " AT89", false},
        {ChipField::kName, "AT\xE4", false},
        {ChipField::kName, "8052", false},  // would read as a chip index
        {ChipField::kName, "AT89 C51", true},
        {ChipField::kChipCode, "0", false},
        {ChipField::kChipCode, "1", true},
        {ChipField::kChipCode, "4", true},
        {ChipField::kChipCode, "5", false},
        {ChipField::kChipCode, "255", false},
        {ChipField::kChipCode, "256", false},
        {ChipField::kChipCode, "-1", false},
        {ChipField::kChipCode, "2x", false},
        {ChipField::kRomSize, "1", true},
        {ChipField::kRomSize, "64", true},
        {ChipField::kRomSize, "0", false},
        {ChipField::kRomSize, "65", false},
        {ChipField::kVoltage, "1", true},
        {ChipField::kVoltage, "25.0", true},
        {ChipField::kVoltage, "0.99", false},
        {ChipField::kVoltage, "25.01", false},
        {ChipField::kVoltage, "nan", false},
        {ChipField::kVoltage, "12,5", false},
        {ChipField::kSignature, "00 ff 7A", true},
        {ChipField::kSignature, "1E 51", false},
        {ChipField::kSignature, "1E 51 100", false},
        {ChipField::kSignature, "1E 51 G0", false},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(Refusal(c.field, c.text), c.taken ? std::nullopt : std::optional(c.field)) << c.text;
    }

    // A record read from a damaged file is judged by the same rules.
    ChipRecord damaged = TestChip("AT89C51", 1, 0, {1, 2, 3});
    EXPECT_EQ(ValidateChipRecord(damaged)->field, ChipField::kRomSize);
    damaged.romSizeKiB = 4;
    EXPECT_EQ(ValidateChipRecord(damaged), std::nullopt);
}

TEST(ChipTable, ShippedTableExportsAndImportsToTheSameBytes) {
    const std::string shipped = testing::BuiltProgramDir() + "ChipList.chip";
    ChipCatalogue catalogue;
    ASSERT_TRUE(catalogue.Load(shipped));
    ASSERT_GT(catalogue.size(), 10U);
    std::vector<ChipRecord> records = catalogue.records();
    records.push_back(TestChip("Odd volts", 4, 64, {0, 0x7F, 0xFF}));
    records.back().programmingVoltage = 12.345678F;  // needs every digit to read back the same

    const std::string table = FormatChipTable(records);
    const ChipTable parsed = ParseChipTable(table);
    ASSERT_FALSE(parsed.problem) << parsed.problem->message;
    EXPECT_EQ(EncodeCatalogue(parsed.records), EncodeCatalogue(records));
    EXPECT_EQ(FormatChipTable(parsed.records), table);
}

TEST(ChipTable, RefusesTheFirstBadLineNamingLineAndField) {
    const ChipTable table = ParseChipTable(
        "# comment\r\n"
        "AT89C51\t1 4 12.0 1E 51 FF\r\n"
        "\n"
        "AT89C52\t1\t8\t12.0\t1E\t52\n"
        "AT89C55\t1 99 12.0 1E 55 FF\n");
    ASSERT_TRUE(table.problem);
    EXPECT_EQ(table.problemLine, 4);
    EXPECT_EQ(table.problem->field, ChipField::kChipCode);  // a value missing
    ASSERT_EQ(table.records.size(), 1U);
    EXPECT_EQ(table.records[0].name, "AT89C51");

    const ChipTable noTab = ParseChipTable("AT89C51 1 4 12.0 1E 51 FF");
    EXPECT_EQ(noTab.problemLine, 1);
    EXPECT_EQ(noTab.problem->field, ChipField::kName);
    EXPECT_EQ(ParseChipTable("X\t1 4 30 1E 51 FF\n").problem->message, "programming voltage must be 1 to 25 V");
}

// Two chips of one name (case aside) or one signature cannot both be found: the second is
// refused, by the table and by a save; a byte order mark before the table is no chip.
TEST(ChipTable, RepeatedNamesAndSignaturesAreRefused) {
    const ChipTable marked = ParseChipTable("\xEF\xBB\xBF" "AT89C51\t1 4 12.0 1E 51 FF\n");
    ASSERT_FALSE(marked.problem) << marked.problem->message;
    EXPECT_EQ(marked.records.at(0).name, "AT89C51");

    const ChipTable sameName = ParseChipTable("AT89C51\t1 4 12.0 1E 51 FF\n# x\nat89c51\t1 8 12.0 1E 52 FF\n");
    ASSERT_TRUE(sameName.problem);
    EXPECT_EQ(sameName.problemLine, 3);
    EXPECT_EQ(sameName.problem->message, "name at89c51 is already chip 1's, AT89C51");

    const ChipTable sameSignature = ParseChipTable("X1\t1 4 12.0 1E 51 FF\nX2\t1 8 12.0 1E 51 FF\n");
    ASSERT_TRUE(sameSignature.problem);
    EXPECT_EQ(sameSignature.problemLine, 2);
    EXPECT_EQ(sameSignature.problem->message,
              "signature 1E 51 FF of X2 is already X1's: identification would always take X1");

    testing::TempDir dir;
    EXPECT_EQ(SaveChipCatalogue(dir.file("ChipList.chip"), {TestChip("A", 1, 4, {1, 2, 3}), TestChip("B", 1, 4, {1, 2, 3})}),
              "chip 2: signature 01 02 03 of B is already A's: identification would always take A");
    EXPECT_FALSE(std::filesystem::exists(dir.file("ChipList.chip")));
}

TEST(ChipCatalogueSave, FailedOrRefusedSaveLeavesTheOldFileWhole) {
    testing::TempDir dir;
    const std::string path = dir.file("ChipList.chip");
    const std::vector<ChipRecord> old = {TestChip("Old", 1, 4, {1, 2, 3})};
    ASSERT_EQ(SaveChipCatalogue(path, old), "");
    const std::string oldBytes = dir.Read("ChipList.chip");

    std::vector<ChipRecord> many;
    for (std::uint8_t i = 0; i < 40; ++i) {
        many.push_back(TestChip("New" + std::to_string(i), 2, 8, {4, 5, i}));
    }
    many[39].romSizeKiB = 65;
    EXPECT_EQ(SaveChipCatalogue(path, many), "chip 40: ROM size must be 1 to 64 KiB");
    EXPECT_EQ(dir.Read("ChipList.chip"), oldBytes);

    many[39].romSizeKiB = 64;
    rlimit saved{};
    ::getrlimit(RLIMIT_FSIZE, &saved);
    const auto oldHandler = std::signal(SIGXFSZ, SIG_IGN);
    rlimit small = saved;
    small.rlim_cur = 1000;  // the new file is 8 + 40 * 36 bytes
    ::setrlimit(RLIMIT_FSIZE, &small);
    const std::string problem = SaveChipCatalogue(path, many);
    ::setrlimit(RLIMIT_FSIZE, &saved);
    std::signal(SIGXFSZ, oldHandler);

    EXPECT_NE(problem.find("cannot write"), std::string::npos) << problem;
    EXPECT_EQ(dir.Read("ChipList.chip"), oldBytes);
    EXPECT_EQ(std::distance(std::filesystem::directory_iterator(dir.path()), {}), 1);  // no file left beside

    EXPECT_EQ(SaveChipCatalogue(path, many), "");
    ChipCatalogue reread;
    ASSERT_TRUE(reread.Load(path));
    EXPECT_EQ(reread.size(), 40U);
}

}  // namespace
}  // namespace korvan
