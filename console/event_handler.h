#pragma once

#include "console/image_files.h"
#include "console/run_recorder.h"
#include "console/sequencer.h"
#include "console/status_presenter.h"
#include "console/view.h"
#include "engine/programmer_manager.h"

namespace korvan {

// Turns each Programmer Event into what the operator sees (status lines, progress, the
// identified chip) and tells the sequencer how the running step ended.
class EventHandler {
public:
    EventHandler(ProgrammerManager& manager, Buffers& buffers, View& view, StatusPresenter& status,
                 RunRecorder& recorder, Sequencer& sequencer)
        : manager_(manager),
          buffers_(buffers),
          view_(view),
          status_(status),
          recorder_(recorder),
          sequencer_(sequencer) {}

    // `detail` explains an ending that failed; it goes under the ending's line.
    void HandleEvent(int code, const std::string& detail = {});
    void ShowProgress(const Progress& progress);
    // Whether the back-end has said how its start went.
    bool initReported() const { return initReported_; }

private:
    // The running step ended with one more line.
    void EndStep(const char* line, bool success, bool notify);
    void AddDetail(const std::string& detail);
    void ReportInitFailure(int code, const std::string& detail);
    void EndWrite();
    void EndRead();
    void ReportChipIdentified();
    void ReportChipNotDetected();
    void IdentificationReport();

    ProgrammerManager& manager_;
    Buffers& buffers_;
    View& view_;
    StatusPresenter& status_;
    RunRecorder& recorder_;
    Sequencer& sequencer_;
    bool initReported_ = false;
};

}  // namespace korvan
