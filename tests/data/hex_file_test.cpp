#include "data/hex_file.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <string>
#include <utility>
#include <vector>

namespace korvan {
namespace {

class RecordingSink : public MessageSink {
public:
    void ShowMessage(const Message& message) override { shown.emplace_back(message.text, message.caption); }
    std::vector<std::pair<std::string, std::string>> shown;
};

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

    void ExpectOnlyMessage(const char* text) {
        ASSERT_EQ(sink.shown.size(), 1u);
        EXPECT_EQ(sink.shown[0].first, text);
        EXPECT_EQ(sink.shown[0].second, kDefaultCaption);
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

TEST_F(HexConversion, ChecksumIsNeitherVerifiedNorRequired) {
    EXPECT_EQ(Convert(":0300300002337A00\r\n:0100400055\r\n:00000001FF"), 4);
    EXPECT_EQ(image[0x30], 0x02);
    EXPECT_EQ(image[0x32], 0x7A);
    EXPECT_EQ(image[0x40], 0x55);
    EXPECT_TRUE(sink.shown.empty());
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
    EXPECT_EQ(Convert(":00000000FF\n:00000001FF"), 0);
    ExpectBlankExcept(0, {});
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
    // Nine characters are enough; no checksum is needed after them.
    EXPECT_EQ(Convert(":0100000042BD:00000001"), 1);
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
    const char* good = ":0200100011223B\n";
    for (const char* bad : {":00000000\n",                  // four bytes only
                            ":\n",                          // empty record
                            ":02002000AA\n",                // count beyond the record's bytes
                            ":0400000300000000F9\n",        // type 03
                            ":00000101FE\n",                // an end record not at the marker
                            ":0100000542B8\n",              // type 05
                            ":10FFF80000112233445566778899AABBCCDDEEFF00\n"}) {  // runs past 0xFFFF
        SCOPED_TRACE(bad);
        sink.shown.clear();
        image = earlier;
        const std::string text = std::string(good) + bad + ":0100300099\n:00000001FF";
        EXPECT_EQ(Convert(text), -1);
        ExpectOnlyMessage(kHexBadRecord);
        ExpectBlankExcept(0x10, {0x11, 0x22});
    }
}

TEST_F(HexConversion, AddressExtensionRecordsGiveThe64kMessage) {
    for (const char* extension : {":020000040000FA\n", ":020000021000EC\n"}) {
        SCOPED_TRACE(extension);
        sink.shown.clear();
        image = earlier;
        const std::string text = std::string(":0200100011223B\n") + extension + ":0100300099\n:00000001FF";
        EXPECT_EQ(Convert(text), -1);
        ExpectOnlyMessage(kHexOver64k);
        ExpectBlankExcept(0x10, {0x11, 0x22});
    }
}

TEST_F(HexConversion, ShortExtensionRecordIsABadRecordFirst) {
    EXPECT_EQ(Convert(":00000004\n:00000001FF"), -1);
    ExpectOnlyMessage(kHexBadRecord);
    ExpectBlankExcept(0, {});
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
    text += ":00000001FF\r\n";
    EXPECT_EQ(Convert(text), static_cast<int>(kImageSize));
    for (std::size_t i = 0; i < kImageSize; ++i) {
        ASSERT_EQ(image[i], (i - i % 16 + (i % 16) * 13) & 0xFF) << i;
    }
}

}  // namespace
}  // namespace korvan
