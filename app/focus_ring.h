#pragma once

#include <QPointer>
#include <QWidget>
#include <vector>

namespace korvan {

// A ring in the palette's highlight colour round the control of `window` that has the
// keyboard focus, drawn above the window's controls. The style's own focus marks are a faint
// line on some controls and none on others; this one is the same clear ring on every kind.
// It takes no clicks: the ring is all it covers, and the mouse goes through it.
class FocusRing final : public QWidget {
public:
    explicit FocusRing(QWidget& window);

    // The control the ring is round; null while the focus is in no control of the window.
    QWidget* target() const { return target_; }

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;
    void paintEvent(QPaintEvent* event) override;

private:
    void Follow(QWidget* focused);
    // Round the target's visible part, or hidden when none of it is in sight.
    void Place();
    void Unwatch();

    QWidget& window_;
    QPointer<QWidget> target_;
    // The target and the widgets between it and the window: a move or resize of any of them
    // (a layout, a scrolled column, a page change) moves the ring.
    std::vector<QPointer<QWidget>> watched_;
};

}  // namespace korvan
