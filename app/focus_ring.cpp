#include "app/focus_ring.h"

#include <QApplication>
#include <QComboBox>
#include <QEvent>
#include <QPainter>
#include <QRegion>

namespace korvan {
namespace {

// Thick enough to see from a step back: two pixels outside the control, one over its edge.
constexpr int kRingWidth = 3;
constexpr int kOutside = 2;

// An editable list's text field has the focus on behalf of its list: the ring goes round both.
QWidget* ControlOf(QWidget* focused) {
    if (auto* list = qobject_cast<QComboBox*>(focused->parentWidget()); list != nullptr && list->focusProxy() == focused) {
        return list;
    }
    return focused;
}

}  // namespace

FocusRing::FocusRing(QWidget& window) : QWidget(&window), window_(window) {
    setAttribute(Qt::WA_TransparentForMouseEvents);
    setAttribute(Qt::WA_NoSystemBackground);
    setFocusPolicy(Qt::NoFocus);
    hide();
    connect(qApp, &QApplication::focusChanged, this, [this](QWidget*, QWidget* now) { Follow(now); });
}

void FocusRing::Follow(QWidget* focused) {
    Unwatch();
    target_ = focused != nullptr && focused->window() == &window_ && focused != &window_ ? ControlOf(focused) : nullptr;
    for (QWidget* widget = target_; widget != nullptr && widget != &window_; widget = widget->parentWidget()) {
        widget->installEventFilter(this);
        watched_.emplace_back(widget);
    }
    Place();
}

void FocusRing::Unwatch() {
    for (const QPointer<QWidget>& widget : watched_) {
        if (widget != nullptr) {
            widget->removeEventFilter(this);
        }
    }
    watched_.clear();
}

void FocusRing::Place() {
    if (target_ == nullptr || !target_->isVisible()) {
        hide();
        return;
    }
    // What the target's ancestors leave in sight of it: a control scrolled half out of its
    // column gets its ring round the half that shows.
    QRect clip = window_.rect();
    for (QWidget* ancestor = target_->parentWidget(); ancestor != nullptr && ancestor != &window_;
         ancestor = ancestor->parentWidget()) {
        clip &= QRect(ancestor->mapTo(&window_, QPoint()), ancestor->size());
    }
    const QRect control(target_->mapTo(&window_, QPoint()), target_->size());
    const QRect outer = control.adjusted(-kOutside, -kOutside, kOutside, kOutside) & clip;
    if (outer.width() <= 2 * kRingWidth || outer.height() <= 2 * kRingWidth) {
        hide();
        return;
    }
    setGeometry(outer);
    const QRect local = rect();
    setMask(QRegion(local).subtracted(QRegion(local.adjusted(kRingWidth, kRingWidth, -kRingWidth, -kRingWidth))));
    raise();
    show();
    update();
}

bool FocusRing::eventFilter(QObject* watched, QEvent* event) {
    switch (event->type()) {
        case QEvent::Move:
        case QEvent::Resize:
        case QEvent::Show:
        case QEvent::Hide:
            Place();
            break;
        default:
            break;
    }
    return QWidget::eventFilter(watched, event);
}

void FocusRing::paintEvent(QPaintEvent*) {
    QPainter painter(this);
    painter.fillRect(rect(), palette().color(QPalette::Active, QPalette::Highlight));
}

}  // namespace korvan
