// Large image files read by a worker: the operator sees what a load at once shows.
#include <deque>
#include <functional>

#include "console/worker.h"
#include "data/hex_file.h"
#include "tests/console/console_fixture.h"

namespace korvan::testing {
namespace {

using ::testing::ElementsAre;
using ::testing::ElementsAreArray;
using ::testing::IsEmpty;

// A worker the test drives: work and done run when the test says, on the test's thread.
class HandWorker final : public Worker {
public:
    void Run(std::function<void()> work, std::function<void()> done) override {
        jobs.push_back({std::move(work), std::move(done)});
    }
    void RunWork() { jobs.front().work(); }
    void Deliver() {
        const Job job = std::move(jobs.front());
        jobs.pop_front();
        job.done();
    }
    void Finish() {
        RunWork();
        Deliver();
    }

    struct Job {
        std::function<void()> work;
        std::function<void()> done;
    };
    std::deque<Job> jobs;
};

// `copies` whole 64 KiB images as HEX data records, copy k holding address + k at each
// address, then one end record: well above the size a worker reads.
std::string LargeHexText(int copies) {
    std::string text;
    for (int copy = 0; copy < copies; ++copy) {
        Image image;
        for (std::size_t address = 0; address < kImageSize; ++address) {
            image[address] = static_cast<std::uint8_t>(address + static_cast<std::size_t>(copy));
        }
        std::string records = FormatHexImage(image, kImageSize);
        records.resize(records.rfind(":00000001FF"));
        text += records;
    }
    return text + ":00000001FF\r\n";
}

// The same Open on a console without a worker, from the same Buffer1.
struct LoadAtOnce {
    explicit LoadAtOnce(const std::string& path, const Image& buffer1) {
        manager.Buffer1() = buffer1;
        console.SetButtonsIdle(1);
        console.OnOpen(path);
    }
    ProgrammerManager manager;
    RecordingView view;
    TimerQueue timer;
    Console console{manager, view, timer};
};

class WorkerTest : public ConsoleTest {
protected:
    void SetUp() override {
        ConsoleTest::SetUp();
        Start(1);
        console.SetWorker(&worker);
    }

    // Opens `name` through the worker and checks that nothing of the load shows before its
    // done; then compares what the operator sees with a load at once.
    void ExpectLoadAsAtOnce(const std::string& name) {
        SCOPED_TRACE(name);
        const std::string path = dir.file(name);
        const LoadAtOnce reference(path, manager.Buffer1());
        const Image before = manager.Buffer1();
        view.ForgetLines();
        view.messages.clear();
        view.details.clear();
        const int failures = view.failures;

        console.OnOpen(path);
        ASSERT_EQ(worker.jobs.size(), 1U);
        worker.RunWork();
        EXPECT_THAT(view.lines, ElementsAre("Reading " + path + " ..."));
        EXPECT_THAT(view.messages, IsEmpty());
        EXPECT_EQ(manager.Buffer1(), before);
        EXPECT_TRUE(console.loadPending());
        EXPECT_FALSE(view.IsEnabled(Button::Open));

        worker.Deliver();
        std::vector<std::string> expected = {"Reading " + path + " ..."};
        expected.insert(expected.end(), reference.view.lines.begin(), reference.view.lines.end());
        EXPECT_THAT(view.lines, ElementsAreArray(expected));
        EXPECT_EQ(view.messages, reference.view.messages);
        EXPECT_EQ(view.details, reference.view.details);
        EXPECT_EQ(manager.Buffer1(), reference.manager.Buffer1());
        EXPECT_EQ(console.buffer1().At(0x31), reference.console.buffer1().At(0x31));
        EXPECT_FALSE(console.buffer1().CanUndo());
        EXPECT_EQ(view.failures - failures, reference.view.failures);
        EXPECT_EQ(view.title, reference.view.title);
        EXPECT_FALSE(console.loadPending());
        EXPECT_TRUE(view.IsEnabled(Button::Open));
    }

    HandWorker worker;
};

TEST_F(WorkerTest, LargeFilesLoadThroughTheWorkerAsTheyLoadAtOnce) {
    std::string bytes(2 * 1024 * 1024, '\0');
    for (std::size_t i = 0; i < bytes.size(); ++i) {
        bytes[i] = static_cast<char>(i * 7);
    }
    dir.Write("large.bin", bytes);
    ExpectLoadAsAtOnce("large.bin");
    EXPECT_EQ(manager.Buffer1()[1], 7);

    const std::string hex = LargeHexText(8);
    ASSERT_GE(hex.size(), kBackgroundLoadSize);
    dir.Write("large.hex", hex);
    ExpectLoadAsAtOnce("large.hex");
    EXPECT_EQ(manager.Buffer1()[0x10], 0x17);  // the last copy's bytes: the whole text was converted
    EXPECT_EQ(view.lines.back(), "Read " + dir.file("large.hex") + " Buffer1(" + std::to_string(hex.size()) + " Bytes).");

    dir.Write("large.img", hex);  // the content decides: a line says which
    ExpectLoadAsAtOnce("large.img");
    EXPECT_EQ(view.lines[1], "Content of " + dir.file("large.img") + " is Intel HEX.");
}

TEST_F(WorkerTest, ALargeHexWithABadChecksumFailsAsAtOnceWithBuffer1PartlyFilled) {
    dir.Write("keep.bin", std::string(16, '\x42'));
    console.OnOpen(dir.file("keep.bin"));
    std::string hex = LargeHexText(8);
    const std::size_t lineEnd = hex.find("\r\n", hex.size() / 2);
    hex[lineEnd - 1] = hex[lineEnd - 1] == '0' ? '1' : '0';
    dir.Write("bad.hex", hex);
    ExpectLoadAsAtOnce("bad.hex");
    EXPECT_THAT(view.messages, ElementsAre(kHexBadRecord));
    EXPECT_EQ(view.lines.back(), "Hex File Conversion Error.");
    EXPECT_EQ(view.failures, 1);
}

TEST_F(WorkerTest, WhileAFileIsReadEveryCommandIsRefused) {
    dir.Write("large.hex", LargeHexText(8));
    dir.Write("other.hex", LargeHexText(8));
    console.OnOpen(dir.file("large.hex"));
    ASSERT_EQ(worker.jobs.size(), 1U);
    for (Button button : {Button::Open, Button::Auto, Button::Write, Button::Save}) {
        EXPECT_FALSE(console.CommandEnabled(button));
        EXPECT_FALSE(view.IsEnabled(button));
    }
    EXPECT_FALSE(view.selectionsEnabled);
    console.OnOpen(dir.file("other.hex"));
    console.OnAuto();
    console.OnWrite();
    EXPECT_EQ(worker.jobs.size(), 1U);
    EXPECT_EQ(console.imagePath(), dir.file("large.hex"));
    EXPECT_THAT(calls(), IsEmpty());
    // A sequence's end reported meanwhile does not give the commands back early.
    Post(ProgrammerReady);
    EXPECT_FALSE(console.CommandEnabled(Button::Open));

    worker.Finish();
    EXPECT_TRUE(console.CommandEnabled(Button::Open));
    EXPECT_TRUE(view.IsEnabled(Button::Auto));
}

TEST_F(WorkerTest, AutoGoesOnToTheReadyProbeOnlyWhenTheLoadIsDone) {
    dir.Write("large.hex", LargeHexText(8));
    console.SelectImageFile(dir.file("large.hex"));
    for (Button button : {Button::Erase, Button::Write, Button::Verify, Button::Encrypt}) {
        console.SetAutoState(button, false);
    }
    console.SetAutoState(Button::Open, true);
    console.SetSwitch(SettingItem::AutoCheck, false);
    console.OnAuto();
    ASSERT_EQ(worker.jobs.size(), 1U);
    EXPECT_THAT(calls(), IsEmpty());
    EXPECT_TRUE(console.pending().readyProbe);

    worker.Finish();
    EXPECT_THAT(calls(), ElementsAre("CheckReady(11)"));
    EXPECT_FALSE(console.CommandEnabled(Button::Auto));
    Post(ProgrammerReady);
    EXPECT_TRUE(console.CommandEnabled(Button::Auto));
    EXPECT_EQ(view.failures, 0);

    // A load that fails ends the run there.
    std::string bad = LargeHexText(8);
    bad[bad.find("\r\n", bad.size() / 2) - 1] = 'G';
    dir.Write("large.hex", bad);
    calls().clear();
    console.OnAuto();
    ASSERT_EQ(worker.jobs.size(), 1U);
    worker.Finish();
    EXPECT_THAT(calls(), IsEmpty());
    EXPECT_EQ(view.failures, 1);
    EXPECT_EQ(view.lines.back(), "Hex File Conversion Error.");
    EXPECT_TRUE(console.CommandEnabled(Button::Auto));
}

TEST_F(WorkerTest, MissingAndSmallFilesNeverWaitForTheWorker) {
    console.OnOpen(dir.file("missing.hex"));
    EXPECT_THAT(view.lines, ElementsAre("File Open Error."));
    EXPECT_THAT(view.messages, ElementsAre("File Open Error."));

    dir.Write("small.hex", ":0100000055AA\r\n:00000001FF\r\n");
    EXPECT_EQ(console.LoadImageFile(), 0);  // the missing file is still the one chosen
    console.OnOpen(dir.file("small.hex"));
    EXPECT_TRUE(worker.jobs.empty());
    EXPECT_EQ(manager.Buffer1()[0], 0x55);
    EXPECT_TRUE(console.CommandEnabled(Button::Open));
}

}  // namespace
}  // namespace korvan::testing
