#include "engine/catalogue.h"

#include <gtest/gtest.h>

#include <cstring>

#include "tests/engine/test_chips.h"
#include "tests/support/temp_dir.h"

namespace korvan {
namespace {

TEST(ChipCatalogue, ParsesRecordsInFileOrder) {
    const std::vector<ChipRecord> chips = {TestChip("AT89C51", 1, 4, {0x1E, 0x51, 0xFF}),
                                           TestChip("AT89C52", 1, 8, {0x1E, 0x52, 0xFF}),
                                           TestChip("AT89S52", 2, 8, {0x1E, 0x52, 0x06})};
    ChipCatalogue catalogue;
    catalogue.Parse(EncodeCatalogue(chips));
    ASSERT_EQ(catalogue.size(), 3U);
    for (std::size_t i = 0; i < chips.size(); ++i) {
        EXPECT_EQ(catalogue[i].name, chips[i].name);
        EXPECT_EQ(catalogue[i].chipCode, chips[i].chipCode);
        EXPECT_EQ(catalogue[i].romSizeKiB, chips[i].romSizeKiB);
        EXPECT_FLOAT_EQ(catalogue[i].programmingVoltage, 12.0F);
        EXPECT_EQ(catalogue[i].signature, chips[i].signature);
    }
}

TEST(ChipCatalogue, TruncatedFileKeepsOnlyWholeRecords) {
    std::vector<std::uint8_t> bytes = EncodeCatalogue(
        {TestChip("A", 1, 4, {1, 2, 3}), TestChip("B", 1, 4, {4, 5, 6}), TestChip("C", 1, 4, {7, 8, 9})});
    bytes.resize(bytes.size() - 1);  // the third record loses its last byte
    ChipCatalogue catalogue;
    catalogue.Parse(bytes);
    ASSERT_EQ(catalogue.size(), 2U);
    EXPECT_EQ(catalogue[1].name, "B");
}

TEST(ChipCatalogue, CountAboveRecordsPresentIsBoundedByFile) {
    std::vector<std::uint8_t> bytes = EncodeCatalogue({TestChip("A", 1, 4, {1, 2, 3})});
    bytes[4] = 0xFF;
    bytes[5] = 0xFF;  // claims 65535 records
    ChipCatalogue catalogue;
    catalogue.Parse(bytes);
    EXPECT_EQ(catalogue.size(), 1U);
}

TEST(ChipCatalogue, ZeroOrNegativeCountAndShortHeaderGiveNoRecords) {
    std::vector<std::uint8_t> bytes = EncodeCatalogue({TestChip("A", 1, 4, {1, 2, 3})});
    ChipCatalogue catalogue;
    bytes[4] = 0;
    catalogue.Parse(bytes);
    EXPECT_TRUE(catalogue.empty());
    bytes[4] = 0xFF;
    bytes[5] = 0xFF;
    bytes[6] = 0xFF;
    bytes[7] = 0xFF;  // -1
    catalogue.Parse(bytes);
    EXPECT_TRUE(catalogue.empty());
    catalogue.Parse(std::vector<std::uint8_t>(7, 1));
    EXPECT_TRUE(catalogue.empty());
}

TEST(ChipCatalogue, NamesAreCutBeforeTheChipCode) {
    std::vector<std::uint8_t> bytes = EncodeCatalogue({TestChip("ABCDEFGHIJKLMNOPQRS", 0x41, 4, {1, 2, 3})});
    ChipCatalogue catalogue;
    catalogue.Parse(bytes);
    ASSERT_EQ(catalogue.size(), 1U);
    EXPECT_EQ(catalogue[0].name, "ABCDEFGHIJKLMNOPQRS");  // 19 characters, whole

    // A name filling all 20 bytes without a terminator is cut at 19 characters.
    std::memset(bytes.data() + kCatalogueHeaderSize, 'X', kChipNameField);
    catalogue.Parse(bytes);
    EXPECT_EQ(catalogue[0].name, std::string(19, 'X'));
    EXPECT_EQ(catalogue[0].chipCode, 0x41);
}

TEST(ChipCatalogue, RomBytesNeverExceedTheImage) {
    EXPECT_EQ(TestChip("big", 1, 1000, {}).RomBytes(), 65536U);
    EXPECT_EQ(TestChip("neg", 1, -4, {}).RomBytes(), 0U);
    EXPECT_EQ(TestChip("max", 1, 64, {}).RomBytes(), 65536U);
    EXPECT_EQ(TestChip("4k", 1, 4, {}).RomBytes(), 4096U);
}

TEST(ChipCatalogue, FindTakesTheFirstMatchAndNamesIgnoreCase) {
    ChipCatalogue catalogue;
    catalogue.Parse(EncodeCatalogue({TestChip("First", 1, 4, {0x12, 0x34, 0x56}),
                                     TestChip("Second", 1, 4, {0xAA, 0xBB, 0xCC}),
                                     TestChip("Third", 1, 4, {0xAA, 0xBB, 0xCC})}));
    EXPECT_EQ(catalogue.Find({0xAA, 0xBB, 0xCC}), 1U);
    EXPECT_EQ(catalogue.Find({0xAA, 0xBB, 0xCD}), std::nullopt);
    EXPECT_EQ(catalogue.FindByName("third"), 2U);
    EXPECT_EQ(catalogue.FindByName("Fourth"), std::nullopt);
}

TEST(ChipCatalogue, MissingFileLoadsNothing) {
    testing::TempDir dir;
    ChipCatalogue catalogue;
    EXPECT_FALSE(catalogue.Load(dir.file("ChipList.chip")));
    EXPECT_TRUE(catalogue.empty());
}

// The sites of one command line hold one copy of the records, and reading another catalogue
// into one holder leaves the others as they were.
TEST(ChipCatalogue, CopiesShareTheRecordsAndALaterReadChangesOnlyItsOwn) {
    ChipCatalogue first;
    first.Parse(EncodeCatalogue({TestChip("AT89C51", 1, 4, {0x1E, 0x51, 0xFF}),
                                 TestChip("AT89C52", 1, 8, {0x1E, 0x52, 0xFF})}));
    const ChipCatalogue site = first;
    EXPECT_EQ(&site.records(), &first.records());

    first.Parse(EncodeCatalogue({TestChip("AT89S52", 2, 8, {0x1E, 0x52, 0x06})}));
    ASSERT_EQ(site.size(), 2U);
    EXPECT_EQ(site[1].name, "AT89C52");
    EXPECT_EQ(first.FindByName("AT89S52"), std::optional<std::size_t>(0));

    testing::TempDir dir;
    first.Load(dir.file("ChipList.chip"));
    EXPECT_TRUE(first.empty());
    EXPECT_EQ(site.size(), 2U);
}

// The catalogue the build ships: every record usable by the program as it stands.
TEST(ShippedCatalogue, RecordsAreWellFormedAndDistinct) {
    ChipCatalogue catalogue;
    ASSERT_TRUE(catalogue.Load(testing::BuiltProgramDir() + "ChipList.chip"));
    ASSERT_GE(catalogue.size(), 10U);
    for (std::size_t i = 0; i < catalogue.size(); ++i) {
        const ChipRecord& chip = catalogue[i];
        SCOPED_TRACE(chip.name);
        EXPECT_FALSE(chip.name.empty());
        EXPECT_GT(chip.romSizeKiB, 0);
        EXPECT_LE(chip.romSizeKiB, kMaxRomSizeKiB);
        EXPECT_GT(chip.programmingVoltage, 0.0F);
        // A signature listed twice would make the later chip impossible to identify.
        EXPECT_EQ(catalogue.Find(chip.signature), i);
        EXPECT_EQ(catalogue.FindByName(chip.name), i);
    }
    const auto s52 = catalogue.FindByName("AT89S52");
    ASSERT_TRUE(s52.has_value());
    EXPECT_EQ(catalogue[*s52].chipCode, 2);
    EXPECT_EQ(catalogue[*s52].RomBytes(), 8192U);
}

}  // namespace
}  // namespace korvan
