#include "app/difference_bar.h"

#include <QHBoxLayout>
#include <QLabel>
#include <QPushButton>

#include "app/hex_view.h"

namespace korvan {

DifferenceBar::DifferenceBar(HexView& view, QWidget* parent) : QWidget(parent), view_(view), summary_(new QLabel(this)) {
    auto* previous = new QPushButton(tr("Previous difference"), this);
    auto* next = new QPushButton(tr("Next difference"), this);
    auto* row = new QHBoxLayout(this);
    row->setContentsMargins(0, 0, 0, 0);
    row->addWidget(summary_, 1);
    row->addWidget(previous);
    row->addWidget(next);
    connect(previous, &QPushButton::clicked, &view, &HexView::GoToPreviousDifference);
    connect(next, &QPushButton::clicked, &view, &HexView::GoToNextDifference);
    connect(&view, &HexView::differencesChanged, this, &DifferenceBar::Refresh);
    Refresh(view.DifferenceCount());
}

QString DifferenceBar::Summary(std::size_t count) {
    if (count == 0) return QStringLiteral("No difference from Buffer1");
    if (count == 1) return QStringLiteral("1 byte differs from Buffer1");
    return QStringLiteral("%1 bytes differ from Buffer1").arg(count);
}

void DifferenceBar::Refresh(std::size_t count) {
    summary_->setText(Summary(count));
    setVisible(view_.HasMarks());
}

}  // namespace korvan
