#include "app/difference_bar.h"

#include <QHBoxLayout>
#include <QLabel>
#include <QPushButton>

#include "app/hex_view.h"

namespace korvan {

DifferenceBar::DifferenceBar(HexView& view, const HexView& buffer1, QWidget* parent)
    : QWidget(parent), view_(view), buffer1_(buffer1), summary_(new QLabel(this)) {
    summary_->setObjectName(QStringLiteral("differenceSummary"));
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
    connect(&buffer1, &HexView::editsChanged, this, &DifferenceBar::Refresh);
    Refresh();
}

QString DifferenceBar::Summary(std::size_t count, bool buffer1Edited) {
    const QString edits = QStringLiteral("Buffer1 has edits not yet written");
    if (count == 0) return buffer1Edited ? edits : QStringLiteral("No difference from Buffer1");
    const QString differ =
        count == 1 ? QStringLiteral("1 byte differs from Buffer1") : QStringLiteral("%1 bytes differ from Buffer1").arg(count);
    return buffer1Edited ? differ + QStringLiteral("; ") + edits : differ;
}

QString DifferenceBar::summary() const { return summary_->text(); }

void DifferenceBar::Refresh() {
    summary_->setText(Summary(view_.DifferenceCount(), buffer1_.HasEdits()));
    summary_->setAccessibleName(summary_->text());
    setVisible(view_.HasMarks());
}

}  // namespace korvan
