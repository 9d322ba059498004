#pragma once

#include <string>
#include <vector>

#include "console/view.h"

namespace korvan {

// A view without a screen: it keeps the title a window would show and draws nothing. Front
// ends without widgets derive from it and override what they show.
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
    void SetLockBitNames(const std::vector<std::string>& /*names*/) override {}
    void SelectLockBit(int /*index*/) override {}

    void SetTitle(const std::string& title) override { title_ = title; }
    const std::string& title() const { return title_; }

    void ShowSettingValue(SettingItem /*item*/, const std::string& /*text*/) override {}

    void NotifySuccess() override {}
    void NotifyFailure() override {}

private:
    std::string title_;
};

}  // namespace korvan
