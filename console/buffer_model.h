#pragma once

#include <cstddef>
#include <cstdint>
#include <functional>
#include <map>
#include <optional>
#include <set>
#include <vector>

#include "data/image.h"

namespace korvan {

// One buffer as the operator sees and edits it, shared by the console and the buffer's hex
// view: the image itself (what the chip operations and the file commands use), the operator's
// edits not yet taken into it, their history for undo and redo, and the marks of a comparison
// with another image.
//
// Edits wait beside the image until the console takes them (a write takes Buffer1's, a save
// Buffer2's): a back-end reading the image during a write never sees a byte change under it,
// and a comparison made before the write compares what the chip was written with. A byte is
// "unwritten" while an edit of it waits, and from its taking until the image reaches the chip.
//
// Console thread only. Observers are told of each change, on that thread, before the call
// that made it returns.
class BufferModel {
public:
    enum class Change {
        Bytes,        // bytes shown changed in place (an edit, undo, redo)
        Replaced,     // a new image: cursor, edits and history start over
        Edits,        // the set of bytes edited since the last write changed
        Differences,  // marks or their count changed
    };
    using Observer = std::function<void(Change)>;

    explicit BufferModel(Image& image) : image_(image) {}
    BufferModel(const BufferModel&) = delete;
    BufferModel& operator=(const BufferModel&) = delete;

    // Watching changes nothing of the buffer: a view holding it read-only may watch.
    void AddObserver(Observer observer) const { observers_.push_back(std::move(observer)); }

    static constexpr std::size_t size() { return kImageSize; }
    // The byte the operator sees at `address`: the edit waiting there, or the image's byte.
    std::uint8_t At(std::size_t address) const;
    const Image& image() const { return image_; }

    // The operator's edit: `bytes` from `address` on, those beyond the image's end dropped.
    // One undo step; an edit of the very bytes the last step edited, with nothing undone
    // since, joins that step (the two digits of a byte typed one after the other).
    // False when `address` is outside the image or there are no bytes.
    bool Edit(std::uint32_t address, const std::vector<std::uint8_t>& bytes);
    // Take back the last edit, or make the last one taken back again. False when there is none.
    bool Undo();
    bool Redo();
    bool CanUndo() const { return !undo_.empty(); }
    bool CanRedo() const { return !redo_.empty(); }

    // The image was replaced (a load, a read): edits, history and marks go with the old one.
    void Replaced();
    // The image was changed in place by the console (a serial number stamped in): shown again.
    void Refresh();
    // Puts the waiting edits into the image. True when a byte of the image changed.
    bool TakeEdits();
    // The image reached the chip: the edits taken into it are written.
    void MarkWritten();
    bool HasUnwrittenEdits() const { return !waiting_.empty() || !taken_.empty(); }
    bool IsUnwritten(std::size_t address) const;

    // Marks every byte shown that differs from `reference`, which must stay alive and
    // unchanged until the marks are cleared; edits mark and unmark their bytes again.
    void MarkDifferences(const Image& reference);
    void ClearDifferences();
    // True from a comparison until its marks are cleared, even when nothing differed.
    bool HasMarks() const { return reference_ != nullptr; }
    bool IsMarked(std::size_t address) const { return address < marks_.size() && marks_[address] != 0; }
    std::size_t DifferenceCount() const { return differenceCount_; }
    // The next (previous) marked byte after (before) `address`, wrapping round; none when
    // nothing is marked.
    std::optional<std::size_t> NextDifference(std::size_t address) const;
    std::optional<std::size_t> PreviousDifference(std::size_t address) const;

private:
    // One undo step: a run of bytes before and after.
    struct Step {
        std::uint32_t address = 0;
        std::vector<std::uint8_t> before;
        std::vector<std::uint8_t> after;
    };

    bool JoinsLastStep(std::uint32_t address, std::size_t count) const;
    // Shows the last step of `from` as `bytes` has it and moves the step to `to`.
    bool Replay(std::vector<Step>& from, std::vector<Step>& to, std::vector<std::uint8_t> Step::*bytes);
    std::vector<std::uint8_t> Shown(std::uint32_t address, std::size_t count) const;
    // Shows `bytes` from `address` on and tells the observers.
    void Apply(std::uint32_t address, const std::vector<std::uint8_t>& bytes);
    // True when the byte's mark changed.
    bool Remark(std::size_t address);
    void Tell(Change change) const;

    Image& image_;
    std::map<std::uint32_t, std::uint8_t> waiting_;  // edits not yet in the image
    std::set<std::uint32_t> taken_;  // edits taken into the image since it last reached the chip
    std::vector<Step> undo_;
    std::vector<Step> redo_;
    bool joinable_ = false;  // the last change was an edit: the next one may join its step
    const Image* reference_ = nullptr;
    std::vector<std::uint8_t> marks_;  // a flag a byte: the comparison loop stays fast
    std::size_t differenceCount_ = 0;
    mutable std::vector<Observer> observers_;
};

// Buffer1, the image to write, and Buffer2, the bytes read from the chip.
struct Buffers {
    Buffers(Image& image1, Image& image2) : buffer1(image1), buffer2(image2) {}
    BufferModel buffer1;
    BufferModel buffer2;
};

}  // namespace korvan
