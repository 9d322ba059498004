#pragma once

namespace korvan {

// How a part that ends a step hands the operation sequence on; the sequencer answers.
class SequenceControl {
public:
    virtual ~SequenceControl() = default;
    // The step ended: on success the next pending step starts, else the sequence ends; the
    // operator is told of the ending when `notify`.
    virtual void ContinueSequence(bool success, bool notify) = 0;
    // Idle: every command enabled and nothing pending; else every command disabled.
    virtual void SetButtonsIdle(bool idle) = 0;
};

}  // namespace korvan
