#include "console/buffer_model.h"

#include <algorithm>

namespace korvan {

std::uint8_t BufferModel::At(std::size_t address) const {
    const auto waiting = waiting_.find(static_cast<std::uint32_t>(address));
    return waiting != waiting_.end() ? waiting->second : image_[address];
}

bool BufferModel::IsUnwritten(std::size_t address) const {
    const auto at = static_cast<std::uint32_t>(address);
    return waiting_.contains(at) || taken_.contains(at);
}

bool BufferModel::Edit(std::uint32_t address, const std::vector<std::uint8_t>& bytes) {
    if (bytes.empty() || address >= size()) {
        return false;
    }
    const std::size_t count = std::min(bytes.size(), size() - address);
    const std::vector<std::uint8_t> after(bytes.begin(), bytes.begin() + static_cast<std::ptrdiff_t>(count));
    if (JoinsLastStep(address, count)) {
        undo_.back().after = after;
    } else {
        undo_.push_back(Step{address, Shown(address, count), after});
    }
    redo_.clear();
    Apply(address, after);
    joinable_ = true;
    return true;
}

bool BufferModel::JoinsLastStep(std::uint32_t address, std::size_t count) const {
    return joinable_ && !undo_.empty() && undo_.back().address == address && undo_.back().after.size() == count;
}

bool BufferModel::Undo() { return Replay(undo_, redo_, &Step::before); }

bool BufferModel::Redo() { return Replay(redo_, undo_, &Step::after); }

bool BufferModel::Replay(std::vector<Step>& from, std::vector<Step>& to, std::vector<std::uint8_t> Step::*bytes) {
    if (from.empty()) {
        return false;
    }
    Apply(from.back().address, from.back().*bytes);
    to.push_back(std::move(from.back()));
    from.pop_back();
    joinable_ = false;
    return true;
}

std::vector<std::uint8_t> BufferModel::Shown(std::uint32_t address, std::size_t count) const {
    std::vector<std::uint8_t> bytes(count);
    for (std::size_t i = 0; i < count; ++i) {
        bytes[i] = At(address + i);
    }
    return bytes;
}

// A byte shown as the image holds it waits for nothing: an undo gives back its colour too.
void BufferModel::Apply(std::uint32_t address, const std::vector<std::uint8_t>& bytes) {
    const bool hadEdits = HasUnwrittenEdits();
    bool marksChanged = false;
    for (std::size_t i = 0; i < bytes.size(); ++i) {
        const auto at = static_cast<std::uint32_t>(address + i);
        if (bytes[i] == image_[at]) {
            waiting_.erase(at);
        } else {
            waiting_[at] = bytes[i];
        }
        marksChanged = Remark(at) || marksChanged;
    }
    Tell(Change::Bytes);
    if (hadEdits != HasUnwrittenEdits()) {
        Tell(Change::Edits);
    }
    if (marksChanged) {
        Tell(Change::Differences);
    }
}

bool BufferModel::Remark(std::size_t address) {
    if (reference_ == nullptr) {
        return false;
    }
    const std::uint8_t differs = At(address) != (*reference_)[address] ? 1 : 0;
    if (marks_[address] == differs) {
        return false;
    }
    marks_[address] = differs;
    differenceCount_ = differs != 0 ? differenceCount_ + 1 : differenceCount_ - 1;
    return true;
}

void BufferModel::Replaced() {
    waiting_.clear();
    taken_.clear();
    undo_.clear();
    redo_.clear();
    reference_ = nullptr;
    marks_.clear();
    differenceCount_ = 0;
    joinable_ = false;
    Tell(Change::Replaced);
}

void BufferModel::Refresh() { Tell(Change::Bytes); }

bool BufferModel::TakeEdits() {
    if (waiting_.empty()) {
        return false;
    }
    for (const auto& [address, byte] : waiting_) {
        image_[address] = byte;
        taken_.insert(address);
    }
    waiting_.clear();
    joinable_ = false;
    return true;
}

void BufferModel::MarkWritten() {
    const bool hadEdits = HasUnwrittenEdits();
    taken_.clear();
    joinable_ = false;
    if (hadEdits != HasUnwrittenEdits()) {
        Tell(Change::Edits);
    }
}

void BufferModel::MarkDifferences(const Image& reference) {
    reference_ = &reference;
    marks_.assign(size(), 0);
    std::size_t count = 0;
    for (std::size_t i = 0; i < size(); ++i) {
        const std::uint8_t differs = image_[i] != reference[i] ? 1 : 0;
        marks_[i] = differs;
        count += differs;
    }
    differenceCount_ = count;
    for (const auto& entry : waiting_) {
        Remark(entry.first);
    }
    Tell(Change::Differences);
}

void BufferModel::ClearDifferences() {
    if (reference_ == nullptr) {
        return;
    }
    reference_ = nullptr;
    marks_.clear();
    differenceCount_ = 0;
    Tell(Change::Differences);
}

std::optional<std::size_t> BufferModel::NextDifference(std::size_t address) const {
    if (differenceCount_ == 0) {
        return std::nullopt;
    }
    for (std::size_t step = 1; step <= size(); ++step) {
        const std::size_t at = (address + step) % size();
        if (marks_[at] != 0) {
            return at;
        }
    }
    return std::nullopt;
}

std::optional<std::size_t> BufferModel::PreviousDifference(std::size_t address) const {
    if (differenceCount_ == 0) {
        return std::nullopt;
    }
    for (std::size_t step = 1; step <= size(); ++step) {
        const std::size_t at = (address + size() - step) % size();
        if (marks_[at] != 0) {
            return at;
        }
    }
    return std::nullopt;
}

void BufferModel::Tell(Change change) const {
    for (const Observer& observer : observers_) {
        observer(change);
    }
}

}  // namespace korvan
