#include <fcntl.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <unistd.h>

#include <chrono>
#include <csignal>
#include <filesystem>
#include <fstream>
#include <future>
#include <thread>

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
    EXPECT_EQ(console.buffer1().At(0x31), 0x33);
    EXPECT_EQ(view.failures, 0);
    EXPECT_EQ(view.successes, 0);  // a load continues without notification
}

TEST_F(FilesTest, HexAndBinNamesDecideTheFormatWhateverTheCase) {
    const std::string text = ":0100000055AA\n:00000001FF\n";
    dir.Write("image.Hex", text);
    Open("image.Hex");
    EXPECT_EQ(manager.Buffer1()[0], 0x55);
    EXPECT_EQ(console.imageExt(), "HEX");

    dir.Write("image.BIN", text);
    const std::string bin = Open("image.BIN");
    EXPECT_EQ(manager.Buffer1()[0], ':');  // raw bytes
    EXPECT_EQ(manager.Buffer1()[text.size()], 0xFF);
    EXPECT_EQ(view.lines.back(), "Read " + bin + " Buffer1(" + std::to_string(text.size()) + " Bytes).");
    EXPECT_EQ(view.lines.size(), 2U);  // no line about the content
}

TEST_F(FilesTest, OtherNamesAreReadByTheirContentAndSaySo) {
    const std::string text = ":0100000055AA\r\n:00000001FF\r\n";
    dir.Write("app.ihx", text);
    const std::string ihx = Open("app.ihx");
    EXPECT_EQ(manager.Buffer1()[0], 0x55);
    EXPECT_EQ(manager.Buffer1()[1], 0xFF);

    std::filesystem::create_directory(dir.path() / "old.fw");
    const std::string binary("\x02\x00\x30:00000001FF", 14);
    dir.Write("old.fw/image", binary);
    const std::string image = Open("old.fw/image");
    EXPECT_EQ(console.imageExt(), "FW/IMAGE");
    EXPECT_EQ(manager.Buffer1()[0], 0x02);
    EXPECT_EQ(manager.Buffer1()[3], ':');
    EXPECT_THAT(view.lines, ElementsAre("Content of " + ihx + " is Intel HEX.",
                                        "Read " + ihx + " Buffer1(" + std::to_string(text.size()) + " Bytes).",
                                        "Content of " + image + " is not Intel HEX: read as binary.",
                                        "Read " + image + " Buffer1(14 Bytes)."));

    // HEX in form with a wrong checksum is refused as HEX, never programmed as text.
    dir.Write("stale", ":0100000055AB\n:00000001FF\n");
    Open("stale");
    EXPECT_THAT(view.messages, ElementsAre(kHexBadRecord));
    EXPECT_THAT(view.details, ElementsAre("line 1: checksum AB, expected AA"));
    EXPECT_EQ(view.lines.back(), "Hex File Conversion Error.");
}

TEST_F(FilesTest, FormatAndChecksumOptionsApplyToEveryName) {
    const std::string stale = ":0100000055AB\n:00000001FF\n";
    dir.Write("stale.bin", stale);
    dir.Write("stale.hex", stale);
    console.SetImageFileOptions({.format = ImageFormat::Hex, .hex = {.ignoreChecksums = true}});
    EXPECT_EQ(console.LoadImageFile(), 0);  // no file chosen yet
    Open("stale.bin");
    EXPECT_EQ(manager.Buffer1()[0], 0x55);
    EXPECT_TRUE(view.messages.empty());

    console.SetImageFileOptions({.format = ImageFormat::Binary, .hex = {}});
    Open("stale.hex");
    EXPECT_EQ(manager.Buffer1()[0], ':');
    EXPECT_EQ(view.failures, 1);  // only the load without a file
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

TEST_F(FilesTest, MissingPathOrFileFailsTheLoadNamingFileAndReason) {
    EXPECT_EQ(console.LoadImageFile(), 0);
    const std::string missing = Open("missing.bin");
    console.OnOpen(dir.dir());
    EXPECT_THAT(view.lines, ElementsAre("Open File.", "File Open Error.", "File Open Error."));
    EXPECT_THAT(view.messages, ElementsAre("File Open Error.", "File Open Error."));
    EXPECT_THAT(view.details, ElementsAre(missing + ": No such file or directory",
                                          dir.dir() + ": it is a directory, not a file"));
    EXPECT_EQ(view.failures, 3);
    EXPECT_EQ(view.title, "Korvan v2.3  <" + dir.dir() + ">");
}

TEST_F(FilesTest, FifoIsRefusedAtOnce) {
    const std::string fifo = dir.file("image.hex");
    ASSERT_EQ(::mkfifo(fifo.c_str(), 0600), 0);
    std::promise<void> opened;
    std::thread open([&] {
        console.OnOpen(fifo);
        opened.set_value();
    });
    const bool returned = opened.get_future().wait_for(std::chrono::seconds(10)) == std::future_status::ready;
    if (!returned) {
        ADD_FAILURE() << "Open waits for a writer on the FIFO";
        ::close(::open(fifo.c_str(), O_WRONLY | O_NONBLOCK));  // lets the blocked open go on
    }
    open.join();
    EXPECT_THAT(view.lines, ElementsAre("File Open Error."));
    EXPECT_THAT(view.details, ElementsAre(fifo + ": it is a FIFO, not a regular file"));
    EXPECT_EQ(view.failures, 1);
}

TEST_F(FilesTest, UnreadableFileGivesTheSystemReason) {
    if (::geteuid() == 0) {
        GTEST_SKIP() << "root reads every file";
    }
    const std::string path = dir.file("locked.hex");
    dir.Write("locked.hex", ":00000001FF\n");
    std::filesystem::permissions(path, std::filesystem::perms::none);
    Open("locked.hex");
    EXPECT_THAT(view.details, ElementsAre(path + ": Permission denied"));
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

TEST_F(FilesTest, FailedHexConversionKeepsTheEditsOnlyWhenBuffer1IsKept) {
    console.EditBuffer1(0x10, {0x5A});  // an edit not yet written
    dir.Write("badchar.hex", ":0100000055 \n:00000001FF\n");
    Open("badchar.hex");
    EXPECT_EQ(console.buffer1().At(0x10), 0x5A);
    EXPECT_TRUE(console.buffer1().CanUndo());
    EXPECT_EQ(manager.Buffer1()[0x10], 0xFF);

    dir.Write("badrecord.hex", ":0100000055AA\n:0100100066FF\n:00000001FF\n");
    Open("badrecord.hex");
    EXPECT_THAT(view.messages, ElementsAre(kHexBadCharacter, kHexBadRecord));
    EXPECT_EQ(console.buffer1().At(0x00), 0x55);  // the record placed before the bad one
    EXPECT_EQ(console.buffer1().At(0x10), 0xFF);
    EXPECT_FALSE(console.buffer1().HasUnwrittenEdits());
    EXPECT_FALSE(console.buffer1().CanUndo());
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
    console.SelectChip(0);  // 4 KiB
    manager.SelectChip(0);
    std::vector<std::uint8_t> edited(4096 - 100);
    for (std::size_t i = 0; i < edited.size(); ++i) {
        edited[i] = static_cast<std::uint8_t>(i);
    }
    console.EditBuffer2(0, edited);
    EXPECT_EQ(manager.Buffer2()[0x0F00], kBlank);  // edits wait for the save
    const std::string path = dir.file("r.bin");
    EXPECT_EQ(console.OnSave(path), SaveOutcome::Saved);
    EXPECT_THAT(view.lines, ElementsAre("Buffer2 has " + path + "(3996 Bytes)."));
    EXPECT_EQ(std::filesystem::file_size(path), 3996U);
    EXPECT_EQ(manager.total, 0);  // measuring Buffer2 leaves the write's figure alone
    EXPECT_EQ(manager.Buffer2()[0x0F00], 0x00);  // the edits reached Buffer2

    console.EditBuffer2(0x2000, {0x01});  // beyond the 4 KiB chip: cut at the ROM size
    EXPECT_EQ(console.OnSave(path), SaveOutcome::Saved);
    EXPECT_EQ(std::filesystem::file_size(path), 4096U);

    console.EditBuffer2(0, std::vector<std::uint8_t>(kImageSize, 0xFF));
    EXPECT_EQ(console.OnSave(path), SaveOutcome::Saved);
    EXPECT_EQ(view.lines.back(), "Buffer2 has " + path + "(0 Bytes).");
    EXPECT_EQ(std::filesystem::file_size(path), 0U);
}

TEST_F(FilesTest, SaveUnderAHexNameWritesIntelHexThatOpensAsTheSameBytes) {
    console.SelectChip(2);  // 64 KiB
    manager.SelectChip(2);
    std::vector<std::uint8_t> edited(1000);
    for (std::size_t i = 0; i < edited.size(); ++i) {
        edited[i] = static_cast<std::uint8_t>(i * 7);
    }
    console.EditBuffer2(0, edited);
    console.EditBuffer2(0x3000, {0x00});
    const std::string path = dir.file("dump.HEX");
    EXPECT_EQ(console.OnSave(path), SaveOutcome::Saved);
    EXPECT_EQ(view.lines.back(), "Buffer2 has " + path + "(12289 Bytes).");
    EXPECT_EQ(dir.Read("dump.HEX").substr(0, 9), ":10000000");

    Open("dump.HEX");
    EXPECT_TRUE(view.messages.empty());
    EXPECT_EQ(manager.Buffer1(), manager.Buffer2());
}

TEST_F(FilesTest, SaveThatCannotCreateOrWriteIsNotReportedAsDone) {
    manager.Buffer2()[0] = 0x33;
    EXPECT_EQ(console.OnSave(dir.file("no/such/dir/r.bin")), SaveOutcome::CannotCreate);
    EXPECT_TRUE(view.lines.empty());
    EXPECT_EQ(manager.Buffer2()[0], 0x33);  // left as it was

    if (!std::filesystem::exists("/dev/full")) {
        GTEST_SKIP() << "no /dev/full";
    }
    console.EditBuffer2(0, std::vector<std::uint8_t>(kImageSize, 0x00));
    EXPECT_EQ(console.OnSave("/dev/full"), SaveOutcome::WriteFailed);
    EXPECT_THAT(view.lines, ElementsAre("Save Error."));
    EXPECT_TRUE(std::filesystem::exists("/dev/full"));
}

// The file limit makes the write fail part-way, as a full disk would.
TEST_F(FilesTest, SaveThatFailsPartWayLeavesTheFileThatWasThereWhole) {
    dir.Write("r.bin", "the earlier dump");
    ::chmod(dir.file("r.bin").c_str(), 0640);
    console.EditBuffer2(0, std::vector<std::uint8_t>(kImageSize, 0x00));
    const auto filesBefore = std::distance(std::filesystem::directory_iterator(dir.path()), {});

    rlimit saved{};
    ::getrlimit(RLIMIT_FSIZE, &saved);
    const auto oldHandler = std::signal(SIGXFSZ, SIG_IGN);
    rlimit small = saved;
    small.rlim_cur = 1000;
    ::setrlimit(RLIMIT_FSIZE, &small);
    const SaveOutcome outcome = console.OnSave(dir.file("r.bin"));
    ::setrlimit(RLIMIT_FSIZE, &saved);
    std::signal(SIGXFSZ, oldHandler);

    EXPECT_EQ(outcome, SaveOutcome::WriteFailed);
    EXPECT_THAT(view.lines, ElementsAre("Save Error."));
    EXPECT_EQ(dir.Read("r.bin"), "the earlier dump");
    EXPECT_EQ(std::distance(std::filesystem::directory_iterator(dir.path()), {}), filesBefore);  // nothing left over

    EXPECT_EQ(console.OnSave(dir.file("r.bin")), SaveOutcome::Saved);
    EXPECT_GT(std::filesystem::file_size(dir.file("r.bin")), 1000u);
    struct stat info {};
    ::stat(dir.file("r.bin").c_str(), &info);
    EXPECT_EQ(info.st_mode & 0777, 0640u);  // the replaced file's permissions
}

TEST_F(FilesTest, WriteOfAnImageLargerThanTheChipIsRefusedBeforeItStarts) {
    console.SelectChip(0);  // "Small", 4 KiB
    console.EditBuffer1(0x3000, {0x00});
    console.OnWrite();
    EXPECT_THAT(view.lines, ElementsAre("Image data reaches 0x3000 (12289 bytes); the Small holds 4096 bytes."));
    EXPECT_TRUE(calls().empty());
    EXPECT_EQ(view.failures, 1);
    EXPECT_TRUE(view.IsEnabled(Button::Write));

    // In a sequence with an erase, the chip keeps its contents: nothing is erased either.
    view.ForgetLines();
    console.RunSteps(PendingSteps{.erase = true, .write = true});
    Post(ProgrammerReady);
    EXPECT_THAT(calls(), ElementsAre("CheckReady(11)"));
    EXPECT_THAT(view.lines, ElementsAre("Programmer: Ready.",
                                        "Image data reaches 0x3000 (12289 bytes); the Small holds 4096 bytes."));
    calls().clear();

    // Data up to the chip's last byte is written; with no selection the first chip counts,
    // as it does for the write itself.
    console.EditBuffer1(0x3000, {0xFF});
    console.EditBuffer1(0x0FFF, {0x00});
    console.SelectChip(-1);
    console.OnWrite();
    EXPECT_THAT(calls(), ElementsAre("WriteChip(11)"));
    Post(WriteDone);
    console.SelectChip(2);  // 64 KiB
    console.EditBuffer1(0xFFFF, {0x00});
    console.OnWrite();
    EXPECT_THAT(calls(), ElementsAre("WriteChip(11)", "WriteChip(13)"));
    EXPECT_EQ(view.failures, 2);  // the two refusals above
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
    // Buffer2 marks its bytes against what was written, the last address included.
    EXPECT_EQ(console.buffer2().DifferenceCount(), 2u);
    EXPECT_TRUE(console.buffer2().IsMarked(0x30));
    EXPECT_TRUE(console.buffer2().IsMarked(0xFFFF));
    EXPECT_FALSE(console.buffer2().IsMarked(0x31));
    console.EditBuffer2(0xFFFF, {0xFF});  // edited to match: unmarked at once
    EXPECT_EQ(console.buffer2().DifferenceCount(), 1u);
    EXPECT_FALSE(console.buffer2().IsMarked(0xFFFF));
    console.EditBuffer1(0x30, {0xFF});  // Buffer1's edits wait for a write: the marks stay
    EXPECT_EQ(console.buffer2().DifferenceCount(), 1u);

    view.ForgetLines();
    manager.Buffer2() = manager.Buffer1();
    EXPECT_EQ(console.VerifyBuffers(), 1);
    EXPECT_THAT(view.lines, ElementsAre("-------------------Verification Starts------------------",
                                        "All Data Matched!",
                                        "-------------------Verification Done------------------"));
}

// Every digit of every field: numbers and addresses run to five and four digits, the bytes
// through the whole hexadecimal range.
TEST_F(FilesTest, EveryByteDifferentListsSixtyFiveThousandNumberedLines) {
    for (std::size_t address = 0; address < kImageSize; ++address) {
        manager.Buffer1()[address] = static_cast<std::uint8_t>(address * 7);
        manager.Buffer2()[address] = static_cast<std::uint8_t>(address * 7 + 0x5A);
    }
    const int first = console.lineCount();
    EXPECT_EQ(console.VerifyBuffers(), 0);
    const auto line = [&](int number) {
        return view.lines[static_cast<std::size_t>(first + number - view.forgottenLines)];
    };
    EXPECT_EQ(line(1), "    00001 - ADDR:0000  WRITE:00  READ:5A");
    EXPECT_EQ(line(10), "    00010 - ADDR:0009  WRITE:3F  READ:99");
    EXPECT_EQ(line(0x3B7D), "    15229 - ADDR:3B7C  WRITE:64  READ:BE");
    EXPECT_EQ(line(43981), "    43981 - ADDR:ABCC  WRITE:94  READ:EE");
    EXPECT_EQ(line(65536), "    65536 - ADDR:FFFF  WRITE:F9  READ:53");
    EXPECT_EQ(line(65537), "Total 65536 Bytes Wrong!");
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
