#include "data/hex_file.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <iterator>
#include <random>
#include <string>
#include <vector>

#include "tests/support/temp_dir.h"

namespace korvan {
namespace {

class RecordingSink : public MessageSink {
public:
    void ShowMessage(const Message& message) override { shown.push_back(message); }
    std::vector<Message> shown;
};

// One well-formed record line, checksum included.
std::string Record(unsigned type, unsigned address, const std::vector<std::uint8_t>& data) {
    char field[16];
    std::snprintf(field, sizeof field, ":%02X%04X%02X", static_cast<unsigned>(data.size()), address, type);
    std::string line = field;
    unsigned sum = static_cast<unsigned>(data.size()) + (address >> 8) + (address & 0xFF) + type;
    for (const std::uint8_t byte : data) {
        std::snprintf(field, sizeof field, "%02X", byte);
        line += field;
        sum += byte;
    }
    std::snprintf(field, sizeof field, "%02X\r\n", (0x100 - (sum & 0xFF)) & 0xFF);
    return line + field;
}

class HexConversion : public ::testing::Test {
protected:
    // An image with recognisable content, to tell "untouched" from "cleared".
    void SetUp() override {
        for (std::size_t i = 0; i < image.size(); ++i) {
            image[i] = static_cast<std::uint8_t>(i * 7 + 3);
        }
        earlier = image;
    }

    int Convert(std::string_view text) { return ConvertHexFile(text, image, sink); }
    int ConvertHandEdited(std::string_view text) {
        return ConvertHexFile(text, image, sink, HexReadOptions{.ignoreChecksums = true});
    }

    void ExpectOnlyMessage(const char* text, const std::string& detail = {}) {
        ASSERT_EQ(sink.shown.size(), 1u);
        EXPECT_EQ(sink.shown[0].text, text);
        EXPECT_EQ(sink.shown[0].caption, kDefaultCaption);
        if (!detail.empty()) {
            EXPECT_EQ(sink.shown[0].detail, detail);
        }
    }

    void ExpectBlankExcept(std::size_t from, const std::vector<std::uint8_t>& bytes) {
        for (std::size_t i = 0; i < image.size(); ++i) {
            const bool inside = i >= from && i < from + bytes.size();
            ASSERT_EQ(image[i], inside ? bytes[i - from] : kBlank) << "address " << i;
        }
    }

    Image image{};
    Image earlier{};
    RecordingSink sink;
};

TEST(HexPair, AcceptsBothCasesAndRejectsEverythingElse) {
    std::uint8_t byte = 0;
    ASSERT_TRUE(HexPairToByte('0', '0', byte));
    EXPECT_EQ(byte, 0x00);
    ASSERT_TRUE(HexPairToByte('9', 'a', byte));
    EXPECT_EQ(byte, 0x9A);
    ASSERT_TRUE(HexPairToByte('F', 'e', byte));
    EXPECT_EQ(byte, 0xFE);
    ASSERT_TRUE(HexPairToByte('7', 'F', byte));
    EXPECT_EQ(byte, 0x7F);
    for (const char bad : {'g', 'G', ' ', ':', '/', '@', '`', '\0', '\x80', '\xFF'}) {
        EXPECT_FALSE(HexPairToByte(bad, '0', byte)) << static_cast<int>(bad);
        EXPECT_FALSE(HexPairToByte('0', bad, byte)) << static_cast<int>(bad);
    }
}

TEST_F(HexConversion, EndRecordAloneGivesBlankImageAndZero) {
    EXPECT_EQ(Convert(":00000001FF"), 0);
    EXPECT_TRUE(sink.shown.empty());
    ExpectBlankExcept(0, {});
}

TEST_F(HexConversion, PlacesDataRecordWhateverTheLayout) {
    const std::vector<std::uint8_t> bytes{0x02, 0x33, 0x7A};
    for (const char* text : {":0300300002337A1E\r\n:00000001FF\r\n", ":0300300002337a1e\n:00000001ff",
                             ":0300300002337A1E:00000001FF", "\r\n\r\n:03003000\r\n02337A1E\n\n:00000001FF"}) {
        SCOPED_TRACE(text);
        sink.shown.clear();
        image = earlier;
        EXPECT_EQ(Convert(text), 3);
        EXPECT_TRUE(sink.shown.empty());
        ExpectBlankExcept(0x30, bytes);
    }
}

TEST_F(HexConversion, RecordsMustMatchTheirCountAndChecksum) {
    const std::string good = Record(0, 0x10, {0x11, 0x22});
    const struct {
        const char* record;
        const char* detail;
    } cases[] = {
        {":0300300002337A00\r\n", "line 2: checksum 00, expected 1E"},
        {":0100400055\r\n", "line 2: the checksum is missing"},
        {":0100400055560C\r\n", "line 2: byte count 01 makes a record of 6 bytes, this one has 7"},
        {":02004000AA\r\n", "line 2: byte count 02 makes a record of 7 bytes, this one has 5"},
        {":00000000FF\r\n", "line 2: checksum FF, expected 00"},
        {":00000000\r\n", "line 2: a record has at least 5 bytes, this one has 4"},
    };
    for (const auto& bad : cases) {
        SCOPED_TRACE(bad.record);
        sink.shown.clear();
        image = earlier;
        EXPECT_EQ(Convert(good + bad.record + Record(0, 0x30, {0x99}) + ":00000001FF"), -1);
        ExpectOnlyMessage(kHexBadRecord, bad.detail);
        ExpectBlankExcept(0x10, {0x11, 0x22});
    }
}

TEST_F(HexConversion, FiftyThousandExtraBytesAreRefusedUnlessChecksumsAreIgnored) {
    const std::string text = ":0100000042BD" + std::string(100000, '0') + "\n:00000001FF";
    EXPECT_EQ(Convert(text), -1);
    ExpectOnlyMessage(kHexBadRecord, "line 1: byte count 01 makes a record of 6 bytes, this one has 50006");
    sink.shown.clear();
    EXPECT_EQ(ConvertHandEdited(text), 1);
    EXPECT_TRUE(sink.shown.empty());
    ExpectBlankExcept(0, {0x42});
}

TEST_F(HexConversion, EndRecordNeedsItsChecksum) {
    for (const char* text : {":0100000042BD\n:00000001", ":0100000042BD\n:00000001\r\n", ":0100000042BD\n:00000001F"}) {
        SCOPED_TRACE(text);
        sink.shown.clear();
        EXPECT_EQ(Convert(text), -1);
        ExpectOnlyMessage(kHexBadRecord, "line 2: the end record's checksum is missing");
    }
    sink.shown.clear();
    EXPECT_EQ(Convert("\n\n:00000001FE"), -1);
    ExpectOnlyMessage(kHexBadRecord, "line 3: checksum FE, expected FF");
}

TEST_F(HexConversion, IgnoringChecksumsAcceptsHandEditedRecords) {
    EXPECT_EQ(ConvertHandEdited(":0300300002337A00\r\n:0100400055\r\n:0100500066FF00\r\n:00000000FF\n:00000001"), 5);
    EXPECT_EQ(image[0x30], 0x02);
    EXPECT_EQ(image[0x32], 0x7A);
    EXPECT_EQ(image[0x40], 0x55);
    EXPECT_EQ(image[0x50], 0x66);
    EXPECT_TRUE(sink.shown.empty());
    // Data bytes are still required.
    EXPECT_EQ(ConvertHandEdited(":02004000AA\r\n:00000001FF"), -1);
    ExpectOnlyMessage(kHexBadRecord, "line 1: byte count 02 asks for 2 data bytes, the record holds 1");
}

TEST_F(HexConversion, LinesAreNamedWhateverTheLineEnds) {
    for (const char* text : {":0100000042BD\r\n\r\n:01000100EE00\r\n:00000001FF",
                             ":0100000042BD\n\n:01000100EE00\n:00000001FF",
                             ":0100000042BD\r\r:01000100EE00\r:00000001FF"}) {
        SCOPED_TRACE(text);
        sink.shown.clear();
        EXPECT_EQ(Convert(text), -1);
        ExpectOnlyMessage(kHexBadRecord, "line 3: checksum 00, expected 10");
    }
}

TEST_F(HexConversion, LaterRecordOverwritesAndBothAreCounted) {
    EXPECT_EQ(Convert(":020010001122BB\n:01001100AA44\n:00000001FF"), 3);
    EXPECT_EQ(image[0x10], 0x11);
    EXPECT_EQ(image[0x11], 0xAA);
}

TEST_F(HexConversion, EverythingFromTheMarkerOnIsIgnored) {
    EXPECT_EQ(Convert(":0100000042BD\n:00000001FF\n:01000100EE10\nnot hex at all \x01"), 1);
    EXPECT_EQ(image[0], 0x42);
    EXPECT_EQ(image[1], kBlank);
}

TEST_F(HexConversion, RecordOfEmptyDataPlacesNothing) {
    EXPECT_EQ(Convert(":0000000000\n:00000001FF"), 0);
    ExpectBlankExcept(0, {});
    EXPECT_EQ(ConvertHandEdited(":00000000FF\n:00000001FF"), 0);
    EXPECT_TRUE(sink.shown.empty());
}

TEST_F(HexConversion, LastByteOfImageCanBeWritten) {
    EXPECT_EQ(Convert(":02FFFE00A1B2AE\n:00000001FF"), 2);
    EXPECT_EQ(image[0xFFFE], 0xA1);
    EXPECT_EQ(image[0xFFFF], 0xB2);
}

TEST_F(HexConversion, MissingMarkerLeavesImageUntouched) {
    for (const char* text : {"", ":0100000042BD\n", ":0000001FF", ":0000000", "\n:0000 0001FF"}) {
        SCOPED_TRACE(text);
        sink.shown.clear();
        EXPECT_EQ(Convert(text), -1);
        ExpectOnlyMessage(kHexNoEndRecord);
        EXPECT_EQ(image, earlier);
    }
}

TEST_F(HexConversion, MarkerNeedNotEndTheRecordList) {
    EXPECT_EQ(Convert(":0100000042BD:00000001FF"), 1);
    EXPECT_EQ(image[0], 0x42);
    // Nine characters are enough when checksums are ignored.
    image = earlier;
    EXPECT_EQ(ConvertHandEdited(":0100000042BD:00000001"), 1);
    EXPECT_EQ(image[0], 0x42);
}

TEST_F(HexConversion, NulByteHidesTheMarker) {
    const std::string text = std::string(":0100000042BD\n") + '\0' + ":00000001FF\n";
    EXPECT_EQ(Convert(text), -1);
    ExpectOnlyMessage(kHexNoEndRecord);
    EXPECT_EQ(image, earlier);
}

TEST_F(HexConversion, BadCharacterLeavesImageUntouched) {
    for (const char* text : {":0100000042BD \r\n:00000001FF",       // blank at the line's end
                             ":0100000042BD\t\n:00000001FF",        // tab
                             ":0100000042B\r\n:00000001FF",         // lone digit before line end
                             ":0100000042B:00000001FF",             // lone digit before the marker
                             ":010000004\n2BD\n:00000001FF",        // pair split by a line end
                             ":01000000\xC3\xA9\n:00000001FF",      // byte above 0x7F
                             ":0100000042BD\n:0G00000001\n:00000001FF"}) {
        SCOPED_TRACE(text);
        sink.shown.clear();
        EXPECT_EQ(Convert(text), -1);
        ExpectOnlyMessage(kHexBadCharacter);
        EXPECT_EQ(image, earlier);
    }
}

TEST_F(HexConversion, BadCharacterIsLocatedByLineAndColumn) {
    const struct {
        const char* text;
        const char* detail;
    } cases[] = {
        {":0100000042BD\r\n:0100010042 \r\n:00000001FF", "line 2, column 12: ' ' is not a hexadecimal digit"},
        {":0100000042BD\n\n:01000\t", "line 3, column 7: byte 0x09 is not a hexadecimal digit"},
        {":0100000042B\r\n:00000001FF", "line 1, column 13: a digit without its pair"},
        {"\r:01000000\xC3\xA9\n:00000001FF", "line 2, column 10: byte 0xC3 is not a hexadecimal digit"},
    };
    for (const auto& bad : cases) {
        SCOPED_TRACE(bad.text);
        sink.shown.clear();
        EXPECT_EQ(Convert(std::string(bad.text) + "\n:00000001FF"), -1);
        ExpectOnlyMessage(kHexBadCharacter, bad.detail);
    }
}

TEST_F(HexConversion, BytesBeforeFirstColonFailSilently) {
    EXPECT_EQ(Convert("0100000042BD\n:00000001FF"), -1);
    EXPECT_TRUE(sink.shown.empty());
    EXPECT_EQ(image, earlier);
}

TEST_F(HexConversion, BadCharacterBeforeFirstColonIsStillReported) {
    EXPECT_EQ(Convert("x:0100000042BD\n:00000001FF"), -1);
    ExpectOnlyMessage(kHexBadCharacter);
    EXPECT_EQ(image, earlier);
}

TEST_F(HexConversion, BadRecordsKeepEarlierRecordsOfAClearedImage) {
    const std::string good = Record(0, 0x10, {0x11, 0x22});
    const struct {
        std::string record;
        const char* detail;
    } cases[] = {
        {":\n", "line 2: a record has at least 5 bytes, this one has 0"},
        {":00000101FE\n", "line 2: an end record reads :00000001FF"},
        {Record(0x06, 0, {0x01}), "line 2: unknown record type 06"},
        {Record(0x04, 0, {0x00}), "line 2: an address record holds 2 data bytes, this one 1"},
        {Record(0x02, 0, {0x00, 0x00, 0x00}), "line 2: an address record holds 2 data bytes, this one 3"},
    };
    for (const auto& bad : cases) {
        SCOPED_TRACE(bad.record);
        for (const bool handEdited : {false, true}) {
            sink.shown.clear();
            image = earlier;
            const std::string text = good + bad.record + Record(0, 0x30, {0x99}) + ":00000001FF";
            EXPECT_EQ(handEdited ? ConvertHandEdited(text) : Convert(text), -1);
            ExpectOnlyMessage(kHexBadRecord, bad.detail);
            ExpectBlankExcept(0x10, {0x11, 0x22});
        }
    }
}

TEST_F(HexConversion, AddressRecordsThatKeepDataBelow64kAreFollowed) {
    // As srec_cat and objcopy write them: a linear base of 0, a start address at the end.
    EXPECT_EQ(Convert(":020000040000FA\r\n" + Record(0, 0x30, {0x02, 0x33, 0x7A}) +
                      ":0400000500000030C7\r\n:0400000300000030C9\r\n:00000001FF\r\n"),
              3);
    EXPECT_TRUE(sink.shown.empty());
    ExpectBlankExcept(0x30, {0x02, 0x33, 0x7A});

    // A segment counts in 16-byte paragraphs and moves the following data records; a
    // linear base above 64 KiB with no data under it does no harm.
    EXPECT_EQ(Convert(Record(0x04, 0, {0x00, 0x01}) + Record(0x02, 0, {0x01, 0x00}) + Record(0, 0x0030, {0xAB}) +
                      Record(0x04, 0, {0x00, 0x00}) + Record(0, 0x0040, {0xCD}) + ":00000001FF"),
              2);
    EXPECT_TRUE(sink.shown.empty());
    EXPECT_EQ(image[0x1030], 0xAB);
    EXPECT_EQ(image[0x0040], 0xCD);
    EXPECT_EQ(image[0x0030], kBlank);
}

TEST_F(HexConversion, DataAbove64kGivesThe64kMessage) {
    const std::string good = Record(0, 0x10, {0x11, 0x22});
    const struct {
        std::string records;
        const char* detail;
    } cases[] = {
        {Record(0x04, 0, {0x00, 0x01}) + Record(0, 0x0000, {0x42}), "line 3: data at 0x10000 to 0x10000 lies above 64 KiB"},
        {":020000021000EC\n" + Record(0, 0x0030, {0x42}), "line 3: data at 0x10030 to 0x10030 lies above 64 KiB"},
        {Record(0x02, 0, {0x0F, 0xFF}) + Record(0, 0x000F, {0x01, 0x02}), "line 3: data at 0x0FFFF to 0x10000 lies above 64 KiB"},
        {"\n" + Record(0, 0xFFF8, std::vector<std::uint8_t>(16, 0x33)), "line 3: data at 0x0FFF8 to 0x10007 lies above 64 KiB"},
    };
    for (const auto& over : cases) {
        SCOPED_TRACE(over.records);
        sink.shown.clear();
        image = earlier;
        EXPECT_EQ(Convert(good + over.records + ":00000001FF"), -1);
        ExpectOnlyMessage(kHexOver64k, over.detail);
        ExpectBlankExcept(0x10, {0x11, 0x22});
    }
}

TEST(HexForm, TellsHexTextFromOtherContent) {
    EXPECT_TRUE(HasIntelHexForm(":00000001FF"));
    EXPECT_TRUE(HasIntelHexForm("\r\n:0300300002337A1E\r\n:00000001FF\r\n"));
    EXPECT_TRUE(HasIntelHexForm(":0300300002337A00\n:00000001FF\nanything after the end"));  // checksums are not looked at
    EXPECT_FALSE(HasIntelHexForm(""));
    EXPECT_FALSE(HasIntelHexForm(":0300300002337A1E\r\n"));                 // no end record
    EXPECT_FALSE(HasIntelHexForm("0300300002337A1E\n:00000001FF"));          // data before the first record
    EXPECT_FALSE(HasIntelHexForm(":0300300002337A1E \n:00000001FF"));        // a blank
    EXPECT_FALSE(HasIntelHexForm(std::string("\x02\x00\x30:00000001FF", 14)));  // binary that holds the marker
    EXPECT_FALSE(HasIntelHexForm(std::string(":0100000042BD\n\0:00000001FF", 26)));
}

class HexWriting : public ::testing::Test {
protected:
    void SetUp() override {
        std::mt19937 generator(8051);
        for (std::uint8_t& byte : image) {
            byte = static_cast<std::uint8_t>(generator());
        }
        image[0x20] = kBlank;  // blanks inside the data are written too
    }
    // What a reader makes of the first `length` bytes: those bytes, blank after them.
    Image Expected(std::size_t length) const {
        Image expected;
        ClearImage(expected);
        std::copy_n(image.begin(), length, expected.begin());
        return expected;
    }

    Image image{};
    RecordingSink sink;
};

TEST_F(HexWriting, WritesSixteenByteRecordsAndTheEndRecord) {
    Image small;
    ClearImage(small);
    small[0] = 0x02;
    small[1] = 0x33;
    small[2] = 0x7A;
    EXPECT_EQ(FormatHexImage(small, 3), ":0300000002337A4E\r\n:00000001FF\r\n");
    EXPECT_EQ(FormatHexImage(small, 0), ":00000001FF\r\n");
    const std::string full = FormatHexImage(small, 17);
    EXPECT_EQ(full.substr(0, 9), ":10000000");
    EXPECT_NE(full.find("\r\n:01001000FFF0\r\n:00000001FF\r\n"), std::string::npos) << full;
}

TEST_F(HexWriting, ReadingBackGivesTheSameBytes) {
    for (const std::size_t length : {std::size_t{1}, std::size_t{15}, std::size_t{16}, std::size_t{33}, kImageSize}) {
        SCOPED_TRACE(length);
        Image read;
        read.fill(0x5A);
        EXPECT_EQ(ConvertHexFile(FormatHexImage(image, length), read, sink), static_cast<int>(length));
        EXPECT_TRUE(sink.shown.empty());
        EXPECT_EQ(read, Expected(length));
    }
}

TEST_F(HexWriting, ObjcopyReadsTheSameBytes) {
    if (std::system("objcopy --version >/dev/null 2>&1") != 0) {
        GTEST_SKIP() << "no objcopy (binutils)";
    }
    korvan::testing::TempDir dir;
    for (const std::size_t length : {std::size_t{1}, std::size_t{1000}, kImageSize}) {
        SCOPED_TRACE(length);
        const std::string hex = dir.file("image.hex");
        const std::string bin = dir.file("image.bin");
        ASSERT_TRUE(WriteHexImage(std::fopen(hex.c_str(), "wb"), image, length));
        ASSERT_EQ(std::system(("objcopy -I ihex -O binary '" + hex + "' '" + bin + "'").c_str()), 0);
        std::ifstream in(bin, std::ios::binary);
        const std::string bytes((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
        ASSERT_EQ(bytes.size(), length);
        EXPECT_TRUE(std::equal(bytes.begin(), bytes.end(), image.begin(),
                               [](char a, std::uint8_t b) { return static_cast<std::uint8_t>(a) == b; }));
    }
}

TEST_F(HexWriting, RefusesALengthBeyondTheImage) {
    korvan::testing::TempDir dir;
    EXPECT_FALSE(WriteHexImage(std::fopen(dir.file("x.hex").c_str(), "wb"), image, kImageSize + 1));
    EXPECT_FALSE(WriteHexImage(nullptr, image, 1));
}

TEST_F(HexConversion, FullImageOfSixteenByteRecords) {
    std::string text;
    char line[64];
    for (unsigned address = 0; address < kImageSize; address += 16) {
        std::snprintf(line, sizeof line, ":10%04X00", address);
        text += line;
        for (unsigned k = 0; k < 16; ++k) {
            std::snprintf(line, sizeof line, "%02X", (address + k * 13) & 0xFF);
            text += line;
        }
        text += "00\r\n";
    }
    // Every checksum above is 00: right for some records only, so these are hand-edited.
    text += ":00000001FF\r\n";
    EXPECT_EQ(ConvertHandEdited(text), static_cast<int>(kImageSize));
    for (std::size_t i = 0; i < kImageSize; ++i) {
        ASSERT_EQ(image[i], (i - i % 16 + (i % 16) * 13) & 0xFF) << i;
    }
}

}  // namespace
}  // namespace korvan
