#pragma once

#include <QByteArray>
#include <QTest>
#include <string>

#include "app/main_window.h"
#include "app/status_list.h"
#include "app/window_controls.h"
#include "console/console.h"

namespace korvan::testing {

// Generous: a whole job on the simulator takes well under a second.
inline constexpr int kWindowDeadlineMs = 30000;

// A window on the simulated programmer with `chip` in its socket, its files in `dir`.
inline WindowSetup SimulatedWindow(const std::string& dir, const ChipRecord& chip) {
    WindowSetup setup;
    setup.programDir = dir;
    setup.programmer.programDir = dir;
    setup.programmer.adapterDir = dir;
    setup.programmer.simulate = true;
    setup.programmer.simulatedChip = chip;
    return setup;
}

// Shows the window and starts it once it is on the screen.
inline void ShowAndStart(MainWindow& window) {
    window.show();
    QVERIFY(QTest::qWaitForWindowExposed(&window));
    window.Start();
}

// The back-end's first reports are handled and no operation runs.
inline void WaitUntilIdle(MainWindow& window) {
    Console& console = window.console();
    QTRY_VERIFY_WITH_TIMEOUT(console.initReported() && console.outstanding() == 0 && !console.settling() &&
                                 console.CommandEnabled(Button::Auto),
                             kWindowDeadlineMs);
}

// The Status list, one line an indented row, for a failed check's message.
inline QByteArray StatusText(MainWindow& window) {
    QByteArray text;
    const StatusListModel& lines = window.controls().status->lines();
    for (int row = 0; row < lines.rowCount(); ++row) {
        text += "\n    " + QByteArray::fromStdString(lines.Line(row));
    }
    return text;
}

// A text ending in a blank matches the lines it begins.
inline bool HasLine(MainWindow& window, const std::string& text) {
    const StatusListModel& lines = window.controls().status->lines();
    for (int row = 0; row < lines.rowCount(); ++row) {
        if (lines.Line(row) == text || (text.ends_with(' ') && lines.Line(row).starts_with(text))) {
            return true;
        }
    }
    return false;
}

}  // namespace korvan::testing
