#pragma once

#include <QColor>
#include <QString>
#include <QWidget>

class QPainter;

namespace korvan {

// The progress bar at the bottom of the main window: a solid bar over a solid background and
// a caption centred across the whole control, drawn in the colour that contrasts with what
// lies under each half. Painted whole from an off-screen image, so it never flickers.
//
// Repaints are bounded by pixels: SetPos repaints (at once) only when the bar's width in
// pixels changes; SetText alone never repaints. SetWindowText repaints when the caption
// changes.
// (CaptionProgressCtrl in the classic program's naming.)
class CaptionProgress : public QWidget {
    Q_OBJECT
public:
    explicit CaptionProgress(QWidget* parent = nullptr);

    // Returns the previous position.
    int SetPos(int pos);
    int pos() const { return pos_; }
    // Replaces the caption without repainting.
    void SetText(const QString& text);
    // Replaces the caption and repaints when it differs.
    void SetWindowText(const QString& text);
    const QString& text() const { return text_; }

    QColor barColour() const { return barColour_; }
    QColor backgroundColour() const { return backgroundColour_; }
    QColor captionOverBackground() const { return captionOverBackground_; }
    QColor captionOverBar() const { return captionOverBar_; }

    // Paints done so far: the test of the repaint rules.
    int paintCount() const { return paintCount_; }

    QSize sizeHint() const override;

protected:
    void paintEvent(QPaintEvent* event) override;
    void resizeEvent(QResizeEvent* event) override;

private:
    // The whole control in client coordinates: bar, background and the two-colour caption.
    void PaintControl(QPainter& painter) const;

    int pos_ = 0;
    QString text_;
    int drawnBarWidth_ = -1;  // none drawn yet, or resized since
    QColor barColour_;
    QColor backgroundColour_;
    QColor captionOverBackground_;
    QColor captionOverBar_;
    int paintCount_ = 0;
};

}  // namespace korvan
