#include "data/profile.h"

#include <gtest/gtest.h>

#include <sys/stat.h>
#include <unistd.h>

#include <array>
#include <filesystem>
#include <string>
#include <vector>

#include "tests/support/temp_dir.h"

namespace korvan::profile {
namespace {

using korvan::testing::TempDir;

class ProfileFile : public ::testing::Test {
protected:
    std::string Path() const { return dir.file("Test.ini"); }
    void Store(const std::string& content) const { dir.Write("Test.ini", content); }
    std::string Stored() const { return dir.Read("Test.ini"); }

    TempDir dir;
};

TEST_F(ProfileFile, MissingFileGivesFallbacks) {
    EXPECT_EQ(ReadInt(Path(), "Pin Control", "MOSI", 14), 14);
    EXPECT_EQ(ReadString(Path(), "LastFile", "File 0", "", 199), "");
    EXPECT_EQ(ReadString(Path(), "LastFile", "File 0", "abcdef", 3), "abc");
    std::array<std::uint8_t, 3> out{7, 8, 9};
    EXPECT_FALSE(ReadStruct(Path(), "InfoSave", "m_InfoSave", out));
    EXPECT_EQ(out, (std::array<std::uint8_t, 3>{7, 8, 9}));
    EXPECT_FALSE(std::filesystem::exists(Path()));
}

TEST_F(ProfileFile, NewFileIsWrittenWithCrLfAndReadsBack) {
    ASSERT_TRUE(WriteString(Path(), "File Number", "n", "0"));
    EXPECT_EQ(Stored(), "[File Number]\r\nn=0\r\n");
    ASSERT_TRUE(WriteString(Path(), "LastFile", "File 0", "C:\\FW\\A.HEX"));
    ASSERT_TRUE(WriteString(Path(), "File Number", "n", "1"));
    EXPECT_EQ(Stored(), "[File Number]\r\nn=1\r\n[LastFile]\r\nFile 0=C:\\FW\\A.HEX\r\n");
    EXPECT_EQ(ReadInt(Path(), "File Number", "n", 0), 1);
    EXPECT_EQ(ReadString(Path(), "LastFile", "File 0", "", 199), "C:\\FW\\A.HEX");
    EXPECT_EQ(ReadString(Path(), "LastFile", "File 1", "none", 199), "none");
}

TEST_F(ProfileFile, WriteKeepsCommentsBlankLinesAndLfEndings) {
    Store("; pin map of the cable\n"
          "[Pin Control]\n"
          "MOSI=14   ; data 0\n"
          "; SCK=3\n"
          "MISO=15\n"
          "\n"
          "[Lock Control(LE)]\n"
          "Enable=1\n");
    ASSERT_TRUE(WriteString(Path(), "Pin Control", "SCK", "1"));
    ASSERT_TRUE(WriteString(Path(), "Lock Control(LE)", "Enable", "0"));
    ASSERT_TRUE(WriteString(Path(), "Output Control(OE)", "Enable", "0"));
    EXPECT_EQ(Stored(),
              "; pin map of the cable\n"
              "[Pin Control]\n"
              "MOSI=14   ; data 0\n"
              "; SCK=3\n"
              "MISO=15\n"
              "SCK=1\n"
              "\n"
              "[Lock Control(LE)]\n"
              "Enable=0\n"
              "[Output Control(OE)]\n"
              "Enable=0\n");
}

TEST_F(ProfileFile, CrLfFileKeepsItsEndingsAndAMissingLastOne) {
    Store("[A]\r\nx=1\r\n[B]\r\ny=2");
    ASSERT_TRUE(WriteString(Path(), "B", "z", "3"));
    EXPECT_EQ(Stored(), "[A]\r\nx=1\r\n[B]\r\ny=2\r\nz=3\r\n");
    ASSERT_TRUE(WriteString(Path(), "A", "x", "9"));
    EXPECT_EQ(Stored(), "[A]\r\nx=9\r\n[B]\r\ny=2\r\nz=3\r\n");
    EXPECT_EQ(ReadInt(Path(), "B", "y", 0), 2);
    EXPECT_EQ(ReadString(Path(), "B", "z", "", 10), "3");
}

TEST_F(ProfileFile, NamesMatchWithoutRegardToCase) {
    Store("[pin control]\r\nmosi=9\r\n");
    EXPECT_EQ(ReadInt(Path(), "Pin Control", "MOSI", 14), 9);
    EXPECT_EQ(ReadInt(Path(), "PIN CONTROL", "Mosi", 14), 9);
    ASSERT_TRUE(WriteString(Path(), "PIN CONTROL", "MOSI", "7"));
    // The key keeps the file's spelling; no second line appears.
    EXPECT_EQ(Stored(), "[pin control]\r\nmosi=7\r\n");
}

TEST_F(ProfileFile, BlanksAroundNamesAndValuesAreTrimmedAndQuotesDropped) {
    Store("  [ Pin Control ]  \n\t MOSI \t=  12  \nName = \"C:\\my file.hex\" \nQ='x'\nLone\n");
    EXPECT_EQ(ReadInt(Path(), "Pin Control", "MOSI", 0), 12);
    EXPECT_EQ(ReadString(Path(), "Pin Control", "MOSI", "", 99), "12");
    EXPECT_EQ(ReadString(Path(), "Pin Control", "Name", "", 99), "C:\\my file.hex");
    EXPECT_EQ(ReadString(Path(), "Pin Control", "Q", "", 99), "x");
    EXPECT_EQ(ReadString(Path(), "Pin Control", "Lone", "fallback", 99), "");
}

TEST_F(ProfileFile, IntegersTakeTheLeadingDecimalDigits) {
    Store("[N]\nneg=-5\nplus=+7\ntail=12abc\nword=abc\nempty=\nhex=0x10\nbig=4294967297\nquoted=\"42\"\n");
    EXPECT_EQ(ReadInt(Path(), "N", "neg", 1), -5);
    EXPECT_EQ(ReadInt(Path(), "N", "plus", 1), 7);
    EXPECT_EQ(ReadInt(Path(), "N", "tail", 1), 12);
    EXPECT_EQ(ReadInt(Path(), "N", "word", 1), 0);
    EXPECT_EQ(ReadInt(Path(), "N", "empty", 1), 1);
    EXPECT_EQ(ReadInt(Path(), "N", "hex", 1), 0);
    EXPECT_EQ(ReadInt(Path(), "N", "big", 1), 1);
    EXPECT_EQ(ReadInt(Path(), "N", "quoted", 1), 42);
    EXPECT_EQ(ReadInt(Path(), "N", "absent", 3), 3);
    EXPECT_EQ(ReadInt(Path(), "Other", "neg", 4), 4);
}

TEST_F(ProfileFile, OnlyTheFirstSectionOfANameAndKeysInsideSectionsCount) {
    Store("n=1\n;n=2\n[S]\n;n=3\nm=4\n[S]\nn=5\n");
    EXPECT_EQ(ReadInt(Path(), "S", "n", 0), 0);
    EXPECT_EQ(ReadInt(Path(), "S", "m", 0), 4);
    ASSERT_TRUE(WriteString(Path(), "S", "n", "6"));
    EXPECT_EQ(Stored(), "n=1\n;n=2\n[S]\n;n=3\nm=4\nn=6\n[S]\nn=5\n");
}

TEST_F(ProfileFile, StringsAreCutToTheRequestedLength) {
    const std::string longPath = "C:\\" + std::string(247, 'p');
    ASSERT_EQ(longPath.size(), 250u);
    ASSERT_TRUE(WriteString(Path(), "LastFile", "File 0", longPath));
    EXPECT_EQ(ReadString(Path(), "LastFile", "File 0", "", 199), longPath.substr(0, 199));
    // A cut never leaves half of a UTF-8 character behind.
    ASSERT_TRUE(WriteString(Path(), "LastFile", "File 1", "ab\xC3\xA9"));
    EXPECT_EQ(ReadString(Path(), "LastFile", "File 1", "", 3), "ab");
}

TEST_F(ProfileFile, StructUsesTheWindowsTextAndChecksum) {
    const std::array<std::uint8_t, 3> bytes{0x01, 0x02, 0xAB};
    ASSERT_TRUE(WriteStruct(Path(), "InfoSave", "m_InfoSave", bytes));
    EXPECT_EQ(Stored(), "[InfoSave]\r\nm_InfoSave=0102ABAE\r\n");

    std::array<std::uint8_t, 3> out{};
    Store("[InfoSave]\r\nm_InfoSave=FF01020002\r\n");  // checksum wraps: 0xFF + 1 + 2 + 0 = 0x102
    std::array<std::uint8_t, 4> four{};
    ASSERT_TRUE(ReadStruct(Path(), "infosave", "M_INFOSAVE", four));
    EXPECT_EQ(four, (std::array<std::uint8_t, 4>{0xFF, 0x01, 0x02, 0x00}));

    Store("[InfoSave]\r\nm_InfoSave=0102abae\r\n");
    ASSERT_TRUE(ReadStruct(Path(), "InfoSave", "m_InfoSave", out));
    EXPECT_EQ(out, bytes);
}

TEST_F(ProfileFile, StructReadFailsOnAnyMismatchAndLeavesOutputAlone) {
    const std::array<std::uint8_t, 3> before{9, 9, 9};
    for (const char* value : {"0102ABAF", "0102AB", "0102ABAE00", "0102ABA", "01 2ABAE", "0102ABGE", ""}) {
        SCOPED_TRACE(value);
        Store(std::string("[InfoSave]\nm_InfoSave=") + value + "\n");
        std::array<std::uint8_t, 3> out = before;
        EXPECT_FALSE(ReadStruct(Path(), "InfoSave", "m_InfoSave", out));
        EXPECT_EQ(out, before);
    }
    Store("[InfoSave]\nother=0102ABAE\n");
    std::array<std::uint8_t, 3> out = before;
    EXPECT_FALSE(ReadStruct(Path(), "InfoSave", "m_InfoSave", out));
    EXPECT_EQ(out, before);
}

TEST_F(ProfileFile, SettingsRecordSizedStructRoundTrips) {
    std::array<std::uint8_t, 260> record{};
    for (std::size_t i = 0; i < record.size(); ++i) {
        record[i] = static_cast<std::uint8_t>(i * 37 + 11);
    }
    ASSERT_TRUE(WriteStruct(Path(), "InfoSave", "m_InfoSave", record));
    std::array<std::uint8_t, 260> back{};
    ASSERT_TRUE(ReadStruct(Path(), "InfoSave", "m_InfoSave", back));
    EXPECT_EQ(back, record);
    // One altered digit breaks the checksum and the whole record is refused.
    std::string text = Stored();
    const std::size_t digit = text.find('=') + 5;
    text[digit] = text[digit] == '0' ? '1' : '0';
    Store(text);
    EXPECT_FALSE(ReadStruct(Path(), "InfoSave", "m_InfoSave", back));
}

TEST_F(ProfileFile, UnstorableNamesAndValuesAreRefusedAndTheFileKept) {
    Store("[S]\nk=1\n");
    EXPECT_FALSE(WriteString(Path(), "S", "k", "line\nbreak"));
    EXPECT_FALSE(WriteString(Path(), "S", "k", "carriage\rreturn"));
    EXPECT_FALSE(WriteString(Path(), "S", "a=b", "1"));
    EXPECT_FALSE(WriteString(Path(), "S", "", "1"));
    EXPECT_FALSE(WriteString(Path(), "S", ";k", "1"));
    EXPECT_FALSE(WriteString(Path(), "S", "[k", "1"));
    EXPECT_FALSE(WriteString(Path(), "S]", "k", "1"));
    EXPECT_FALSE(WriteString(Path(), "  ", "k", "1"));
    EXPECT_EQ(Stored(), "[S]\nk=1\n");
}

TEST_F(ProfileFile, WriteReplacesTheFileWholeAndKeepsItsMode) {
    Store("[S]\nk=1\n");
    ASSERT_EQ(::chmod(Path().c_str(), 0640), 0);
    ASSERT_TRUE(WriteString(Path(), "S", "k", "2"));
    struct stat info {};
    ASSERT_EQ(::stat(Path().c_str(), &info), 0);
    EXPECT_EQ(info.st_mode & 0777, 0640u);
    // No temporary file is left beside it.
    std::vector<std::string> names;
    for (const auto& entry : std::filesystem::directory_iterator(dir.path())) {
        names.push_back(entry.path().filename().string());
    }
    EXPECT_EQ(names, std::vector<std::string>{"Test.ini"});
}

TEST_F(ProfileFile, UnreadableTargetIsNotReplaced) {
    std::filesystem::create_directory(Path());
    EXPECT_FALSE(WriteString(Path(), "S", "k", "1"));
    EXPECT_TRUE(std::filesystem::is_directory(Path()));
    EXPECT_FALSE(WriteString(dir.file("missing/Test.ini"), "S", "k", "1"));
}

TEST_F(ProfileFile, WriteThroughASymbolicLinkUpdatesTheLinkedFile) {
    dir.Write("real.ini", "[S]\nk=1\n");
    std::filesystem::create_symlink(dir.file("real.ini"), Path());
    ASSERT_TRUE(WriteString(Path(), "S", "k", "2"));
    EXPECT_TRUE(std::filesystem::is_symlink(Path()));
    EXPECT_EQ(dir.Read("real.ini"), "[S]\nk=2\n");
}

TEST(ProfileText, ByteOrderMarkIsSkippedAndKept) {
    const std::string text = "\xEF\xBB\xBF[S]\nk=1\n";
    EXPECT_EQ(FindValue(text, "S", "k"), "1");
    EXPECT_EQ(SetValue(text, "S", "k", "2"), "\xEF\xBB\xBF[S]\nk=2\n");
}

TEST(ProfileText, NewKeyGoesBeforeTrailingBlankLinesOfItsSection) {
    EXPECT_EQ(SetValue("[S]\r\n\r\n\r\n[T]\r\n", "S", "k", "v"), "[S]\r\nk=v\r\n\r\n\r\n[T]\r\n");
    EXPECT_EQ(SetValue("", "S", "k", ""), "[S]\r\nk=\r\n");
    EXPECT_EQ(FindValue("[S]\r\nk=\r\n", "S", "k"), "");
    EXPECT_EQ(FindValue("[S]\r\nk=\r\n", "S", "j"), std::nullopt);
}

TEST(ProfileText, StructEncodingMatchesWindows) {
    const std::array<std::uint8_t, 3> bytes{0x01, 0x02, 0xAB};
    EXPECT_EQ(EncodeStruct(bytes), "0102ABAE");
    EXPECT_EQ(EncodeStruct(std::span<const std::uint8_t>{}), "00");
    std::array<std::uint8_t, 3> out{};
    EXPECT_TRUE(DecodeStruct("0102ABAE", out));
    EXPECT_EQ(out, bytes);
}

}  // namespace
}  // namespace korvan::profile
