#include <filesystem>
#include <fstream>

#include "data/hex_file.h"
#include "engine/event_code.h"
#include "tests/console/console_fixture.h"

namespace korvan::testing {
namespace {

using ::testing::ElementsAre;

class FilesTest : public ConsoleTest {
protected:
    void SetUp() override {
        ConsoleTest::SetUp();
        Start(1);
    }
    std::string Open(const std::string& name) {
        const std::string path = dir.file(name);
        console.OnOpen(path);
        return path;
    }
};

TEST_F(FilesTest, HexFileIsReportedWithItsFileLength) {
    const std::string text = ":0300300002337A1E\r\n:00000001FF\r\n";
    dir.Write("a.hex", text);
    const std::string path = Open("a.hex");
    EXPECT_THAT(view.lines, ElementsAre("Read " + path + " Buffer1(" + std::to_string(text.size()) + " Bytes)."));
    EXPECT_EQ(view.title, "Korvan v2.3  <" + path + ">");
    EXPECT_EQ(manager.Buffer1()[0x30], 0x02);
    EXPECT_EQ(manager.Buffer1()[0x32], 0x7A);
    EXPECT_EQ(view.buffer1View[0x31], 0x33);
    EXPECT_EQ(view.failures, 0);
    EXPECT_EQ(view.successes, 0);  // a load continues without notification
}

TEST_F(FilesTest, ExtensionDecidesTheFormatAfterUpperCasing) {
    const std::string text = ":0100000055AA\n:00000001FF\n";
    dir.Write("image.Hex", text);
    Open("image.Hex");
    EXPECT_EQ(manager.Buffer1()[0], 0x55);
    EXPECT_EQ(console.imageExt(), "HEX");

    dir.Write("image.ihx", text);
    Open("image.ihx");
    EXPECT_EQ(manager.Buffer1()[0], ':');  // raw bytes
    EXPECT_EQ(manager.Buffer1()[text.size()], 0xFF);

    std::filesystem::create_directory(dir.path() / "old.fw");
    dir.Write("old.fw/image", text);
    Open("old.fw/image");
    EXPECT_EQ(console.imageExt(), "FW/IMAGE");
    EXPECT_EQ(manager.Buffer1()[0], ':');
}

TEST_F(FilesTest, BinaryFilesAreCutAtTheImageSize) {
    dir.Write("big.bin", std::string(70000, '\x11'));
    const std::string big = Open("big.bin");
    dir.Write("empty.bin", "");
    const std::string empty = Open("empty.bin");
    EXPECT_THAT(view.lines,
                ElementsAre("Read " + big + " Buffer1(65536 Bytes).", "Read " + empty + " Buffer1(0 Bytes)."));
    EXPECT_EQ(manager.UsedLength(manager.Buffer1().data(), kImageSize), 0);
}

TEST_F(FilesTest, MissingPathOrFileFailsTheLoad) {
    EXPECT_EQ(console.LoadImageFile(), 0);
    Open("missing.bin");
    console.OnOpen(dir.dir());
    EXPECT_THAT(view.lines, ElementsAre("Open File.", "File Open Error.", "File Open Error."));
    EXPECT_EQ(view.failures, 3);
    EXPECT_EQ(view.title, "Korvan v2.3  <" + dir.dir() + ">");
}

TEST_F(FilesTest, FailedHexConversionIsAFailedLoad) {
    dir.Write("keep.bin", std::string("\x42", 1));
    Open("keep.bin");
    view.ForgetLines();

    dir.Write("bad.hex", ":0100000055 \n:00000001FF\n");
    Open("bad.hex");
    EXPECT_THAT(view.messages, ElementsAre(kHexBadCharacter));
    EXPECT_THAT(view.lines, ElementsAre("Hex File Conversion Error."));
    EXPECT_EQ(view.failures, 1);
    EXPECT_EQ(manager.Buffer1()[0], 0x42);  // character errors leave Buffer1 alone

    dir.Write("nomarker.hex", "");
    Open("nomarker.hex");
    EXPECT_THAT(view.messages, ElementsAre(kHexBadCharacter, kHexNoEndRecord));
    EXPECT_EQ(view.failures, 2);
}

TEST_F(FilesTest, FailedHexConversionReloadsTheViewOnlyWhenBuffer1Changed) {
    view.buffer1View[0x10] = 0x5A;  // an edit not yet written
    dir.Write("badchar.hex", ":0100000055 \n:00000001FF\n");
    Open("badchar.hex");
    EXPECT_EQ(view.buffer1View[0x10], 0x5A);
    EXPECT_EQ(manager.Buffer1()[0x10], 0xFF);

    dir.Write("badrecord.hex", ":0100000055AA\n:0400000300000000F9\n:00000001FF\n");
    Open("badrecord.hex");
    EXPECT_THAT(view.messages, ElementsAre(kHexBadCharacter, kHexBadRecord));
    EXPECT_EQ(view.buffer1View[0x00], 0x55);  // the record placed before the bad one
    EXPECT_EQ(view.buffer1View[0x10], 0xFF);
}

TEST_F(FilesTest, OversizedHexFileIsRefusedWithoutReadingIt) {
    const std::string path = dir.file("huge.hex");
    { std::ofstream(path) << ":00000001FF"; }
    std::filesystem::resize_file(path, kMaxHexFileSize + 1);
    Open("huge.hex");
    EXPECT_THAT(view.lines, ElementsAre("File Too Large."));
    EXPECT_EQ(view.failures, 1);
}

TEST_F(FilesTest, SaveWritesBuffer2UpToItsUsedLength) {
    view.SelectChip(0);  // 4 KiB
    manager.SelectChip(0);
    view.buffer2View.assign(kImageSize, 0xFF);
    for (std::size_t i = 0; i < 4096 - 100; ++i) {
        view.buffer2View[i] = static_cast<std::uint8_t>(i);
    }
    const std::string path = dir.file("r.bin");
    EXPECT_EQ(console.OnSave(path), SaveOutcome::Saved);
    EXPECT_THAT(view.lines, ElementsAre("Buffer2 has " + path + "(3996 Bytes)."));
    EXPECT_EQ(std::filesystem::file_size(path), 3996U);
    EXPECT_EQ(manager.total, 0);  // measuring Buffer2 leaves the write's figure alone
    EXPECT_EQ(manager.Buffer2()[0x0F00], 0x00);  // the view's bytes reached Buffer2

    view.buffer2View[0x2000] = 0x01;  // beyond the 4 KiB chip: cut at the ROM size
    EXPECT_EQ(console.OnSave(path), SaveOutcome::Saved);
    EXPECT_EQ(std::filesystem::file_size(path), 4096U);

    view.buffer2View.assign(kImageSize, 0xFF);
    EXPECT_EQ(console.OnSave(path), SaveOutcome::Saved);
    EXPECT_EQ(view.lines.back(), "Buffer2 has " + path + "(0 Bytes).");
    EXPECT_EQ(std::filesystem::file_size(path), 0U);
}

TEST_F(FilesTest, SaveThatCannotCreateOrWriteIsNotReportedAsDone) {
    manager.Buffer2()[0] = 0x33;
    EXPECT_EQ(console.OnSave(dir.file("no/such/dir/r.bin")), SaveOutcome::CannotCreate);
    EXPECT_TRUE(view.lines.empty());
    EXPECT_EQ(manager.Buffer2()[0], 0x33);  // left as it was

    if (!std::filesystem::exists("/dev/full")) {
        GTEST_SKIP() << "no /dev/full";
    }
    view.buffer2View.assign(kImageSize, 0x00);
    EXPECT_EQ(console.OnSave("/dev/full"), SaveOutcome::WriteFailed);
    EXPECT_THAT(view.lines, ElementsAre("Save Error."));
    EXPECT_TRUE(std::filesystem::exists("/dev/full"));
}

TEST_F(FilesTest, VerificationListsEveryDifference) {
    manager.Buffer1()[0x30] = 0x02;
    manager.Buffer2()[0xFFFF] = 0x00;
    EXPECT_EQ(console.VerifyBuffers(), 0);
    EXPECT_THAT(view.lines, ElementsAre("-------------------Verification Starts------------------",
                                        "    00001 - ADDR:0030  WRITE:02  READ:FF",
                                        "    00002 - ADDR:FFFF  WRITE:FF  READ:00", "Total 2 Bytes Wrong!",
                                        "-------------------Verification Done------------------"));
    EXPECT_EQ(view.selectedLine, console.lineCount() - 1);

    view.ForgetLines();
    manager.Buffer2() = manager.Buffer1();
    EXPECT_EQ(console.VerifyBuffers(), 1);
    EXPECT_THAT(view.lines, ElementsAre("-------------------Verification Starts------------------",
                                        "All Data Matched!",
                                        "-------------------Verification Done------------------"));
}

TEST_F(FilesTest, DifferenceLinesDoNotSelectOrSwitchPages) {
    manager.Buffer1()[1] = 0;
    manager.Buffer1()[2] = 0;
    console.ShowPage(Buffer2Page);
    console.AddStatus("x");  // back on Status
    console.ShowPage(Buffer2Page);
    view.pages.clear();
    manager.Buffer2().fill(0xFF);
    // Difference lines go in at the counter without selecting; the closing lines select.
    const int first = console.lineCount();
    console.VerifyBuffers();
    EXPECT_THAT(view.pages, ElementsAre(StatusPage));
    EXPECT_EQ(view.lines[static_cast<std::size_t>(first + 1 - view.forgottenLines)], "    00001 - ADDR:0001  WRITE:00  READ:FF");
    EXPECT_EQ(view.selectedLine, first + 4);
}

}  // namespace
}  // namespace korvan::testing
