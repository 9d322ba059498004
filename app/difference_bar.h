#pragma once

#include <QWidget>
#include <cstddef>

class QLabel;

namespace korvan {

class HexView;

// Above the Buffer2 view after a comparison: how many bytes differ from Buffer1, and buttons
// that move the view's cursor from one difference to the next. Hidden while the view holds no
// comparison.
class DifferenceBar : public QWidget {
    Q_OBJECT
public:
    explicit DifferenceBar(HexView& view, QWidget* parent = nullptr);

    // "No difference from Buffer1", "1 byte differs from Buffer1", "N bytes differ from Buffer1".
    static QString Summary(std::size_t count);

private:
    void Refresh(std::size_t count);

    HexView& view_;
    QLabel* summary_;
};

}  // namespace korvan
