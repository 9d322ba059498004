#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "data/image.h"
#include "data/message_sink.h"
#include "engine/catalogue.h"

namespace korvan {

// The ten operation buttons of the main window.
enum class Button : int { Check, Open, Save, Erase, Write, Read, Verify, Auto, Encrypt, WriteBit };
inline constexpr int kButtonCount = 10;

// The pages that share the main window's page area.
enum Page : int { Buffer1Page = 0, Buffer2Page = 1, StatusPage = 2, SettingsPage = 3 };

// The items of the settings grid, in display order.
enum class SettingItem : int { ProgrammerType, Port, BaudRate, DownloadSpeed, AutoCheck, SoundOn, HotKeys };

// What the console needs from a front end: the window draws these, the command line prints
// them. The console keeps the state (line counter, page, flags, selections, buffers); the view
// only shows it, and hands the operator's actions to the console as commands. The buffers'
// bytes reach their hex views through the console's buffer models, not through this interface.
// Message boxes come through the MessageSink base.
//
// Called on the console's thread only, by the console only. Nothing here may wait: a message
// box is shown without a nested event loop, and the call returns at once.
class View : public MessageSink {
public:
    // Status list.
    virtual void InsertStatusLine(int index, const std::string& text) = 0;
    // Many lines at once, the first at `firstIndex` (a verification report); the view may keep them.
    virtual void InsertStatusLines(int firstIndex, std::vector<std::string> lines) = 0;
    virtual void SelectStatusLine(int index) = 0;
    virtual void ClearStatusLines() = 0;
    virtual void ShowPage(int page) = 0;

    // Progress control with its caption.
    virtual void ShowProgress(bool visible) = 0;
    virtual void SetProgressText(const std::string& text) = 0;
    virtual void SetProgressPos(int percent) = 0;
    virtual void RepaintProgress() = 0;

    // Operation buttons and the two selections.
    virtual void SetButtonEnabled(Button button, bool enabled) = 0;
    virtual void SetStatusIcon(Button button, int status) = 0;
    virtual void ShowAutoState(Button button, bool on) = 0;
    virtual void EnableSelections(bool enabled) = 0;

    // The chip list shows each chip's name, in catalogue order. The records are the console's
    // catalogue itself, handed over without a copy of a list that can be very long.
    virtual void SetChipNames(const std::vector<ChipRecord>& chips) = 0;
    // Shows the chip the console chose; -1: none.
    virtual void SelectChip(int index) = 0;
    virtual void SetLockBitNames(const std::vector<std::string>& names) = 0;
    // Shows the lock-bit level the console chose; -1: none.
    virtual void SelectLockBit(int index) = 0;

    virtual void SetTitle(const std::string& title) = 0;

    // Settings grid: the value text an item shows.
    virtual void ShowSettingValue(SettingItem item, const std::string& text) = 0;

    // A HEX file refused for its checksums or record lengths alone: the refusal, and a way
    // to open `path` anyway. A front end without that choice shows the refusal only.
    virtual void OfferIgnoringChecksums(const Message& refusal, const std::string& /*path*/) { ShowMessage(refusal); }

    // End of an operation sequence.
    virtual void NotifySuccess() = 0;
    virtual void NotifyFailure() = 0;
};

}  // namespace korvan
