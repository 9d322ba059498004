#include "app/caption_progress.h"

#include <QPaintEvent>
#include <QPainter>
#include <QPalette>
#include <QPixmap>
#include <QResizeEvent>

#include <utility>

#include "app/progress_layout.h"

namespace korvan {

CaptionProgress::CaptionProgress(QWidget* parent)
    : QWidget(parent),
      barColour_(palette().color(QPalette::Highlight)),
      backgroundColour_(palette().color(QPalette::Base)),
      captionOverBackground_(palette().color(QPalette::Highlight)),
      captionOverBar_(palette().color(QPalette::Base)) {
    // Every paint covers the whole area from the off-screen image: nothing to erase first.
    setAttribute(Qt::WA_OpaquePaintEvent);
    setAttribute(Qt::WA_NoSystemBackground);
}

int CaptionProgress::SetPos(int pos) {
    const int oldPos = pos_;
    pos_ = pos;
    const int barWidth = ProgressBarWidth(pos, width());
    if (barWidth != drawnBarWidth_) {
        drawnBarWidth_ = barWidth;
        repaint();
    }
    return oldPos;
}

void CaptionProgress::SetText(const QString& text) { text_ = text; }

void CaptionProgress::SetWindowText(const QString& text) {
    if (text == text_) return;
    text_ = text;
    update();
}

QSize CaptionProgress::sizeHint() const { return {200, fontMetrics().height() + 8}; }

void CaptionProgress::resizeEvent(QResizeEvent* event) {
    QWidget::resizeEvent(event);
    drawnBarWidth_ = -1;
}

void CaptionProgress::paintEvent(QPaintEvent* event) {
    ++paintCount_;
    const QRect clip = event->rect();
    const qreal ratio = devicePixelRatioF();
    QPixmap image(clip.size() * ratio);
    image.setDevicePixelRatio(ratio);
    {
        QPainter painter(&image);
        painter.translate(-clip.topLeft());
        PaintControl(painter);
    }
    QPainter(this).drawPixmap(clip.topLeft(), image);
}

void CaptionProgress::PaintControl(QPainter& painter) const {
    const QRect client = rect();
    const int barRight = client.left() + ProgressBarWidth(pos_, client.width());
    const QRect bar = QRect(QPoint(client.left(), client.top()), QPoint(barRight - 1, client.bottom()))
                          .intersected(client);
    const QRect rest =
        QRect(QPoint(barRight, client.top()), client.bottomRight()).intersected(client);
    painter.fillRect(bar, barColour_);
    painter.fillRect(rest, backgroundColour_);

    const QString caption = QString::fromStdString(ProgressCaption(text_.toStdString(), pos_));
    constexpr int placement = Qt::AlignCenter | Qt::TextSingleLine;
    painter.setFont(font());
    // Each half of the caption in the colour that contrasts with what lies under it.
    for (const auto& [part, colour] : {std::pair{bar, captionOverBar_}, std::pair{rest, captionOverBackground_}}) {
        if (part.isEmpty()) continue;  // no part of the caption lies there
        painter.setClipRect(part);
        painter.setPen(colour);
        painter.drawText(client, placement, caption);
    }
}

}  // namespace korvan
