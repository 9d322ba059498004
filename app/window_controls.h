#pragma once

#include <array>

#include "console/view.h"

class QComboBox;
class QLabel;
class QPushButton;
class QTabWidget;
class QWidget;

namespace korvan {

class AutoButton;
class CaptionProgress;
class DifferenceBar;
class FocusRing;
class HexView;
class OperatorPanel;
class PropertyGrid;
class StatusList;

// The main window's controls, owned by the window through Qt's parent chain.
struct WindowControls {
    QComboBox* chips = nullptr;
    QComboBox* lockBits = nullptr;  // never shown, as the Write Bit button
    std::array<AutoButton*, kButtonCount> buttons{};  // by Button
    // Blank: the blank check as a command of its own, with an Auto mark of its own (it is no
    // Button: the record keeps six marks, and this one is kept beside it).
    AutoButton* blankButton = nullptr;
    QPushButton* stopButton = nullptr;  // on while an operation runs
    QPushButton* exitButton = nullptr;
    QPushButton* helpButton = nullptr;
    QLabel* chipListLink = nullptr;  // starts the chip-list editor
    QTabWidget* pages = nullptr;  // tabs in Page order
    HexView* buffer1 = nullptr;
    HexView* buffer2 = nullptr;
    DifferenceBar* differences = nullptr;
    StatusList* status = nullptr;
    PropertyGrid* grid = nullptr;
    CaptionProgress* progress = nullptr;
    OperatorPanel* panel = nullptr;  // result, counters, image and chip above the pages
    FocusRing* focusRing = nullptr;  // round the control that has the keyboard focus

    AutoButton* button(Button which) const { return buttons[static_cast<std::size_t>(which)]; }
};

// Creates the controls in `window` and lays them out: the chip list, Check, EXIT and Help at
// the top left with the chip-list editor's link under them, the Operation buttons below them,
// the progress bar at the bottom, and the panel and the pages on the right. Tab goes through
// them in that reading order.
WindowControls BuildWindowControls(QWidget& window);

}  // namespace korvan
