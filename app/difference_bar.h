#pragma once

#include <QWidget>
#include <cstddef>

class QLabel;

namespace korvan {

class HexView;

// Above the Buffer2 view after a comparison: how many bytes differ from Buffer1, and buttons
// that move the view's cursor from one difference to the next. Hidden while the view holds no
// comparison. Edits in the Buffer1 view reach Buffer1 only at the next write, so while there
// are some the bar says so instead of claiming no difference.
class DifferenceBar : public QWidget {
    Q_OBJECT
public:
    DifferenceBar(HexView& view, const HexView& buffer1, QWidget* parent = nullptr);

    // "No difference from Buffer1", "1 byte differs from Buffer1", "N bytes differ from Buffer1";
    // with edits in the Buffer1 view "Buffer1 has edits not yet written" instead of the first,
    // after the others.
    static QString Summary(std::size_t count, bool buffer1Edited);
    QString summary() const;

private:
    void Refresh();

    HexView& view_;
    const HexView& buffer1_;
    QLabel* summary_;
};

}  // namespace korvan
