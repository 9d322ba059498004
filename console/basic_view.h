#pragma once

#include <array>
#include <cstdint>
#include <string>
#include <vector>

#include "console/view.h"

namespace korvan {

// A view without a screen: it keeps what a window would hold (hex view copies, the chip
// and lock-bit selections, the title) and draws nothing. Front ends without widgets derive
// from it and override what they show.
class BasicView : public View {
public:
    void ShowMessage(const Message& /*message*/) override {}

    void InsertStatusLine(int /*index*/, const std::string& /*text*/) override {}
    void InsertStatusLines(int /*firstIndex*/, std::vector<std::string> /*lines*/) override {}
    void SelectStatusLine(int /*index*/) override {}
    void ClearStatusLines() override {}
    void ShowPage(int /*page*/) override {}

    void ShowProgress(bool /*visible*/) override {}
    void SetProgressText(const std::string& /*text*/) override {}
    void SetProgressPos(int /*percent*/) override {}
    void RepaintProgress() override {}

    void SetButtonEnabled(Button /*button*/, bool /*enabled*/) override {}
    void SetStatusIcon(Button /*button*/, int /*status*/) override {}
    void ShowAutoState(Button /*button*/, bool /*on*/) override {}
    void EnableSelections(bool /*enabled*/) override {}

    void SetChipNames(const std::vector<ChipRecord>& /*chips*/) override {}
    void SelectChip(int /*index*/) override {}
    void SetLockBitNames(const std::vector<std::string>& names) override {
        lockBitCount_ = static_cast<int>(names.size());
    }
    void SelectLockBit(int index) override { lockBitSelection_ = index >= 0 && index < lockBitCount_ ? index : -1; }
    int LockBitSelection() const override { return lockBitSelection_; }

    void LoadBuffer1View(const Image& image) override { buffer1_.assign(image.begin(), image.end()); }
    void LoadBuffer2View(const Image& image) override { buffer2_.assign(image.begin(), image.end()); }
    std::vector<std::uint8_t> Buffer1ViewBytes() const override { return buffer1_; }
    std::vector<std::uint8_t> Buffer2ViewBytes() const override { return buffer2_; }
    void ShowDifferences(const Image& /*written*/) override {}

    void SetTitle(const std::string& title) override { title_ = title; }
    const std::string& title() const { return title_; }

    void ShowSettingValue(SettingItem /*item*/, const std::string& /*text*/) override {}

    void NotifySuccess() override {}
    void NotifyFailure() override {}

private:
    int lockBitCount_ = 0;
    int lockBitSelection_ = -1;
    std::vector<std::uint8_t> buffer1_;
    std::vector<std::uint8_t> buffer2_;
    std::string title_;
};

}  // namespace korvan
