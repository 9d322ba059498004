#include "console/console.h"

namespace korvan {

Console::Console(ProgrammerManager& manager, View& view, Timer& timer)
    : manager_(manager),
      view_(view),
      status_(view),
      buffers_(manager.Buffer1(), manager.Buffer2()),
      settingsPanel_(manager, view, status_),
      files_(manager, buffers_, view, status_, recorder_, *this),
      gate_(timer, [this](const Report& report) { Deliver(report); }),
      sequencer_(manager, buffers_, view, status_, recorder_, files_, settingsPanel_.settings(), gate_),
      events_(manager, buffers_, view, status_, recorder_, sequencer_) {}

void Console::Deliver(const Report& report) {
    if (const int* code = std::get_if<int>(&report)) {
        events_.HandleEvent(*code);
    } else if (const Message* message = std::get_if<Message>(&report)) {
        view_.ShowMessage(*message);
    } else if (const Progress* progress = std::get_if<Progress>(&report)) {
        events_.ShowProgress(*progress);
    } else {
        manager_.TakeResult(report);
    }
}

void Console::InitControls(const std::optional<InfoSave>& record) {
    settingsPanel_.ShowFirstStartValues();
    buffers_.buffer1.Replaced();
    buffers_.buffer2.Replaced();
    view_.SetLockBitNames({"Lock Bit-1", "Lock Bit-2", "Lock Bit-3"});
    sequencer_.SelectLockBit(2);
    view_.ShowProgress(false);
    settingsPanel_.ApplySettings(record);
    sequencer_.SetButtonsIdle(true);
}

int Console::StartProgrammer(EventSink& sink, BackendFactory& factory) {
    sink_ = &sink;
    factory_ = &factory;
    const SettingsModel& chosen = settings();
    manager_.SetComPort(chosen.comPort());
    manager_.SetBaudIndex(chosen.baudIndex());
    const int result = manager_.Init(sink, chosen.programmerType(), chosen.downloadSpeed(), factory);
    if (givenCatalogue_) {
        manager_.catalogue() = *givenCatalogue_;
    } else {
        manager_.LoadChipList();
    }
    view_.SetChipNames(manager_.catalogue().records());
    sequencer_.SelectChip(chosen.record().chipIndex);
    return result;
}

void Console::OnOpen(const std::string& path) {
    if (CommandEnabled(Button::Open)) {
        files_.Open(path);
    }
}

void Console::OpenIgnoringChecksums(const std::string& path) {
    if (CommandEnabled(Button::Open)) {
        files_.OpenIgnoringChecksums(path);
    }
}

void Console::StopOperation(bool restart) {
    if (!Busy()) {
        return;
    }
    manager_.ShutdownBackend();
    gate_.DropUntilMarker();
    sequencer_.CutOff();
    if (restart && sink_ != nullptr && factory_ != nullptr) {
        sink_->PostEvent(ReportGate::kStopMarker);
        const SettingsModel& chosen = settings();
        manager_.Init(*sink_, chosen.programmerType(), chosen.downloadSpeed(), *factory_);
    }
}

SaveOutcome Console::OnSave(const std::string& path) {
    return CommandEnabled(Button::Save) ? files_.Save(path) : SaveOutcome::NotEnabled;
}

}  // namespace korvan
