#include "console/buffer_model.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <vector>

namespace korvan {
namespace {

using Change = BufferModel::Change;
using ::testing::ElementsAre;

class BufferModelTest : public ::testing::Test {
protected:
    BufferModelTest() {
        ClearImage(image);
        model.AddObserver([this](Change change) { changes.push_back(change); });
    }
    Image image{};
    BufferModel model{image};
    std::vector<Change> changes;
};

// Edits wait beside the image; undo and redo walk them back and forth, colour included.
TEST_F(BufferModelTest, EditUndoAndRedoChangeWhatIsShownAndNotTheImage) {
    ASSERT_TRUE(model.Edit(0x100, {0x12, 0x34}));
    EXPECT_EQ(model.At(0x100), 0x12);
    EXPECT_EQ(model.At(0x101), 0x34);
    EXPECT_EQ(model.At(0x102), kBlank);
    EXPECT_EQ(image[0x100], kBlank);
    EXPECT_TRUE(model.IsUnwritten(0x101) && !model.IsUnwritten(0x102) && !model.IsUnwritten(0xFF));
    EXPECT_THAT(changes, ElementsAre(Change::Bytes, Change::Edits));

    changes.clear();
    ASSERT_TRUE(model.Undo());
    EXPECT_EQ(model.At(0x100), kBlank);
    EXPECT_EQ(model.At(0x101), kBlank);
    EXPECT_FALSE(model.HasUnwrittenEdits());
    EXPECT_THAT(changes, ElementsAre(Change::Bytes, Change::Edits));
    EXPECT_FALSE(model.Undo());
    EXPECT_TRUE(model.CanRedo());

    ASSERT_TRUE(model.Redo());
    EXPECT_EQ(model.At(0x101), 0x34);
    EXPECT_TRUE(model.IsUnwritten(0x100));
    EXPECT_FALSE(model.Redo());

    // A new edit after an undo drops what could have been redone.
    model.Undo();
    model.Edit(0x200, {0x01});
    EXPECT_FALSE(model.CanRedo());
    EXPECT_EQ(model.At(0x100), kBlank);
}

// Typing a byte's two digits is one step; an edit elsewhere, or after an undo, is a new one.
TEST_F(BufferModelTest, EditsOfTheSameBytesInARowAreOneStep) {
    model.Edit(0x10, {0xA0});
    model.Edit(0x10, {0xA5});
    model.Edit(0x11, {0x00});
    model.Undo();
    EXPECT_EQ(model.At(0x10), 0xA5);
    EXPECT_EQ(model.At(0x11), kBlank);
    model.Undo();
    EXPECT_EQ(model.At(0x10), kBlank);
    EXPECT_FALSE(model.CanUndo());

    model.Edit(0x20, {0x01});
    model.Undo();
    model.Redo();
    model.Edit(0x20, {0x02});  // after a redo: its own step
    model.Undo();
    EXPECT_EQ(model.At(0x20), 0x01);
}

// The first and the last address take edits; nothing lies beyond.
TEST_F(BufferModelTest, EditsStopAtTheImagesEnds) {
    EXPECT_TRUE(model.Edit(0x0000, {0x00}));
    EXPECT_TRUE(model.Edit(0xFFFE, {0x01, 0x02, 0x03}));
    EXPECT_EQ(model.At(0x0000), 0x00);
    EXPECT_EQ(model.At(0xFFFE), 0x01);
    EXPECT_EQ(model.At(0xFFFF), 0x02);
    EXPECT_TRUE(model.IsUnwritten(0xFFFF));
    EXPECT_FALSE(model.Edit(0x10000, {0x00}));
    EXPECT_FALSE(model.Edit(0x10, {}));
    EXPECT_FALSE(model.IsUnwritten(0x10000));
    EXPECT_FALSE(model.IsMarked(0x10000));

    model.Undo();
    EXPECT_EQ(model.At(0xFFFF), kBlank);
    EXPECT_EQ(model.At(0x0000), 0x00);
    model.Undo();
    EXPECT_EQ(model.At(0x0000), kBlank);
    EXPECT_TRUE(model.TakeEdits() == false);
}

// A load or a read replaces the image: edits, history and marks go with the old one.
TEST_F(BufferModelTest, ReplacedDropsEditsHistoryAndMarks) {
    const Image reference{};
    model.MarkDifferences(reference);
    model.Edit(0x30, {0x55});
    model.Undo();
    model.Edit(0x40, {0x66});
    changes.clear();
    image.fill(0x11);
    model.Replaced();
    EXPECT_THAT(changes, ElementsAre(Change::Replaced));
    EXPECT_EQ(model.At(0x40), 0x11);
    EXPECT_FALSE(model.CanUndo() || model.CanRedo() || model.HasUnwrittenEdits() || model.HasMarks());
    EXPECT_EQ(model.DifferenceCount(), 0u);
    EXPECT_FALSE(model.Undo());
}

// A write takes the edits into the image; what was edited counts as written only once the
// chip gets it, and an edit made in between stays to write. A byte shown as the image holds
// it is no edit to write, however it came back.
TEST_F(BufferModelTest, WriteTakesTheEditsAndMarksThemWritten) {
    model.Edit(0x10, {0x42});
    EXPECT_TRUE(model.TakeEdits());
    EXPECT_EQ(image[0x10], 0x42);
    EXPECT_EQ(model.At(0x10), 0x42);
    EXPECT_TRUE(model.IsUnwritten(0x10));
    EXPECT_FALSE(model.TakeEdits());

    model.Edit(0x20, {0x43});  // while the write is being prepared
    changes.clear();
    model.MarkWritten();
    EXPECT_FALSE(model.IsUnwritten(0x10));
    EXPECT_TRUE(model.IsUnwritten(0x20));
    EXPECT_TRUE(changes.empty());  // still edits: nothing to tell
    EXPECT_EQ(image[0x20], kBlank);

    // Taken back after the write, the byte differs from the chip: it is an edit to write.
    model.Undo();
    EXPECT_FALSE(model.IsUnwritten(0x20));
    model.Undo();
    EXPECT_EQ(model.At(0x10), kBlank);
    EXPECT_TRUE(model.IsUnwritten(0x10));
    model.Redo();
    EXPECT_EQ(model.At(0x10), 0x42);
    EXPECT_FALSE(model.HasUnwrittenEdits());

    model.Edit(0x30, {kBlank});  // the byte it was
    EXPECT_FALSE(model.IsUnwritten(0x30));
    EXPECT_TRUE(model.CanUndo());
}

// Marks compare what is shown with the reference; edits and their undo count again.
TEST_F(BufferModelTest, MarksFollowEditsAndUndo) {
    Image reference = image;
    reference[0x0000] = 0x00;
    reference[0xFFFF] = 0x00;
    model.Edit(0x50, {0x01});  // waiting edits count too
    changes.clear();
    model.MarkDifferences(reference);
    EXPECT_THAT(changes, ElementsAre(Change::Differences));
    EXPECT_EQ(model.DifferenceCount(), 3u);
    EXPECT_TRUE(model.IsMarked(0x0000) && model.IsMarked(0xFFFF) && model.IsMarked(0x50));
    EXPECT_FALSE(model.IsMarked(0x0001));

    changes.clear();
    model.Edit(0xFFFF, {0x00});
    EXPECT_THAT(changes, ElementsAre(Change::Bytes, Change::Differences));
    EXPECT_EQ(model.DifferenceCount(), 2u);
    EXPECT_FALSE(model.IsMarked(0xFFFF));
    model.Edit(0xFFFF, {0x07});  // joins the step; still differs after
    EXPECT_EQ(model.DifferenceCount(), 3u);
    model.Undo();
    EXPECT_EQ(model.DifferenceCount(), 3u);
    EXPECT_TRUE(model.IsMarked(0xFFFF));
    model.Undo();
    EXPECT_EQ(model.DifferenceCount(), 2u);
    EXPECT_FALSE(model.IsMarked(0x50));

    EXPECT_EQ(model.NextDifference(0x0000), std::optional<std::size_t>(0xFFFF));
    EXPECT_EQ(model.NextDifference(0xFFFF), std::optional<std::size_t>(0x0000));
    EXPECT_EQ(model.PreviousDifference(0x0000), std::optional<std::size_t>(0xFFFF));
    EXPECT_EQ(model.PreviousDifference(0xFFFF), std::optional<std::size_t>(0x0000));

    changes.clear();
    model.ClearDifferences();
    model.ClearDifferences();
    EXPECT_THAT(changes, ElementsAre(Change::Differences));
    EXPECT_EQ(model.NextDifference(0), std::nullopt);
}

// A comparison without a difference still counts as one shown: the banner then says so.
TEST_F(BufferModelTest, AComparisonWithoutDifferencesStillHasMarks) {
    model.MarkDifferences(image);
    EXPECT_TRUE(model.HasMarks());
    EXPECT_EQ(model.DifferenceCount(), 0u);
    EXPECT_EQ(model.NextDifference(5), std::nullopt);
    EXPECT_EQ(model.PreviousDifference(5), std::nullopt);
}

}  // namespace
}  // namespace korvan
