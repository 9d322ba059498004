#include "app/buffer_pages.h"

#include <QComboBox>

#include "app/hex_view.h"
#include "app/window_controls.h"
#include "console/console.h"

namespace korvan {

void ConnectBufferPages(const WindowControls& controls, Console& console) {
    HexView& buffer1 = *controls.buffer1;
    HexView& buffer2 = *controls.buffer2;
    buffer1.SetModel(&console.buffer1());
    buffer2.SetModel(&console.buffer2());
    QObject::connect(&buffer1, &HexView::editRequested, &buffer1,
                     [&console](quint32 address, const std::vector<std::uint8_t>& bytes) {
                         console.EditBuffer1(address, bytes);
                     });
    QObject::connect(&buffer2, &HexView::editRequested, &buffer2,
                     [&console](quint32 address, const std::vector<std::uint8_t>& bytes) {
                         console.EditBuffer2(address, bytes);
                     });
    QObject::connect(&buffer1, &HexView::undoRequested, &buffer1, [&console] { console.UndoBuffer1(); });
    QObject::connect(&buffer1, &HexView::redoRequested, &buffer1, [&console] { console.RedoBuffer1(); });
    QObject::connect(&buffer2, &HexView::undoRequested, &buffer2, [&console] { console.UndoBuffer2(); });
    QObject::connect(&buffer2, &HexView::redoRequested, &buffer2, [&console] { console.RedoBuffer2(); });
    // The operator's pick only: the console's own choice, shown in the list, comes back as nothing.
    QObject::connect(controls.lockBits, &QComboBox::activated, controls.lockBits,
                     [&console](int index) { console.SelectLockBit(index); });
}

void DisconnectBufferPages(const WindowControls& controls) {
    for (HexView* view : {controls.buffer1, controls.buffer2}) {
        QObject::disconnect(view, nullptr, view, nullptr);
        view->SetModel(nullptr);
    }
    QObject::disconnect(controls.lockBits, nullptr, controls.lockBits, nullptr);
}

}  // namespace korvan
