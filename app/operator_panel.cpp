#include "app/operator_panel.h"

#include <QGridLayout>
#include <QHBoxLayout>
#include <QLabel>
#include <QPushButton>

namespace korvan {
namespace {

// Readable from a step back: white on a strong green or red.
const QColor kPassFace(0x1B, 0x7F, 0x2A);
const QColor kFailFace(0xC0, 0x1C, 0x1C);
const QColor kRunningFace(0x5A, 0x6E, 0x8C);

QLabel* Line(QWidget* parent, const char* name) {
    auto* label = new QLabel(parent);
    label->setObjectName(QString::fromUtf8(name));
    label->setTextInteractionFlags(Qt::TextSelectableByMouse);
    return label;
}

// A line whose text comes from outside (a failure naming a server, a long file name) wraps
// within the width the window has instead of widening the window past the screen.
QLabel* FreeLine(QWidget* parent, const char* name) {
    QLabel* label = Line(parent, name);
    label->setWordWrap(true);
    label->setSizePolicy(QSizePolicy::Ignored, QSizePolicy::Preferred);
    return label;
}

// The text is the accessible name as well, so assistive technology reads what is shown.
void Show(QLabel& label, const QString& text) {
    label.setText(text);
    label.setAccessibleName(text);
}

}  // namespace

OperatorPanel::OperatorPanel(QWidget* parent)
    : QWidget(parent),
      result_(Line(this, "result")),
      detail_(FreeLine(this, "resultDetail")),
      counters_(Line(this, "counters")),
      serial_(Line(this, "serialNumber")),
      reset_(new QPushButton(QStringLiteral("Reset Counters"), this)),
      image_(FreeLine(this, "imageLine")),
      chip_(FreeLine(this, "chipPanel")),
      jobTotals_(FreeLine(this, "jobTotals")) {
    QFont large = result_->font();
    large.setPointSizeF(large.pointSizeF() * 1.8);
    large.setBold(true);
    result_->setFont(large);
    result_->setAlignment(Qt::AlignCenter);
    result_->setMinimumWidth(result_->fontMetrics().horizontalAdvance(QStringLiteral("RUNNING")) + 24);
    result_->setAutoFillBackground(true);
    reset_->setAutoDefault(false);
    connect(reset_, &QPushButton::clicked, this, &OperatorPanel::ResetCounters);

    auto* grid = new QGridLayout(this);
    grid->setContentsMargins(0, 0, 0, 0);
    grid->addWidget(result_, 0, 0, 2, 1);
    grid->addWidget(detail_, 0, 1);
    auto* countersRow = new QHBoxLayout;
    countersRow->addWidget(counters_);
    countersRow->addWidget(serial_);
    countersRow->addStretch(1);
    countersRow->addWidget(reset_);
    grid->addLayout(countersRow, 1, 1);
    grid->addWidget(image_, 2, 0, 1, 2);
    grid->addWidget(chip_, 3, 0, 1, 2);
    grid->addWidget(jobTotals_, 4, 0, 1, 2);
    jobTotals_->hide();
    grid->setColumnStretch(1, 1);
    ShowResult(Outcome::None, QString());
    ShowCounters();
    Show(*image_, QStringLiteral("Image: none loaded"));
    Show(*chip_, QStringLiteral("Chip: not checked"));
}

void OperatorPanel::RunStarted() {
    clock_.start();
    counting_ = true;
    ShowResult(Outcome::Running, QString());
}

void OperatorPanel::RunPassed() {
    if (!counting_ || outcome_ != Outcome::Running) {
        return;  // counted already, or no run of a chip command
    }
    ++passed_;
    ShowResult(Outcome::Passed, QStringLiteral("Done in ") + Elapsed());
    ShowCounters();
}

void OperatorPanel::RunFailed(const QString& line) {
    if (!counting_ || (outcome_ != Outcome::Running && outcome_ != Outcome::Passed)) {
        return;
    }
    if (outcome_ == Outcome::Passed) {
        --passed_;
    }
    ++failed_;
    ShowResult(Outcome::Failed, line + QStringLiteral("  (after ") + Elapsed() + QStringLiteral(")"));
    ShowCounters();
}

void OperatorPanel::ResetCounters() {
    passed_ = 0;
    failed_ = 0;
    ShowCounters();
}

void OperatorPanel::ShowImage(const QString& line) { Show(*image_, line); }
void OperatorPanel::ShowChip(const QString& line) { Show(*chip_, line); }
void OperatorPanel::ShowSerial(const QString& line) { Show(*serial_, line); }

void OperatorPanel::ShowJobTotals(const QString& line, const QString& why) {
    Show(*jobTotals_, line);
    jobTotals_->setToolTip(why);
    jobTotals_->setVisible(!line.isEmpty());
}

QString OperatorPanel::resultText() const { return result_->text(); }
QString OperatorPanel::detailText() const { return detail_->text(); }
QString OperatorPanel::countersText() const { return counters_->text(); }
QString OperatorPanel::imageText() const { return image_->text(); }
QString OperatorPanel::chipText() const { return chip_->text(); }
QString OperatorPanel::jobTotalsText() const { return jobTotals_->text(); }

QString OperatorPanel::Counters(std::uint64_t passed, std::uint64_t failed) {
    const std::uint64_t runs = passed + failed;
    const QString yield = runs == 0 ? QStringLiteral("-")
                                    : QString::number(100.0 * static_cast<double>(passed) / static_cast<double>(runs), 'f', 1) +
                                          QLatin1Char('%');
    return QStringLiteral("Passed %1  Failed %2  Yield %3").arg(passed).arg(failed).arg(yield);
}

void OperatorPanel::ShowResult(Outcome outcome, const QString& detail) {
    outcome_ = outcome;
    QString word;
    QColor face = palette().color(QPalette::Window);
    QColor text = palette().color(QPalette::WindowText);
    switch (outcome) {
        case Outcome::None:
            word = QStringLiteral("READY");
            break;
        case Outcome::Running:
            word = QStringLiteral("RUNNING");
            face = kRunningFace;
            text = Qt::white;
            break;
        case Outcome::Passed:
            word = QStringLiteral("PASS");
            face = kPassFace;
            text = Qt::white;
            break;
        case Outcome::Failed:
            word = QStringLiteral("FAIL");
            face = kFailFace;
            text = Qt::white;
            break;
    }
    QPalette colours = result_->palette();
    colours.setColor(QPalette::Window, face);
    colours.setColor(QPalette::WindowText, text);
    result_->setPalette(colours);
    Show(*result_, word);
    Show(*detail_, detail);
    result_->setAccessibleDescription(detail);
}

void OperatorPanel::ShowCounters() {
    Show(*counters_, Counters(passed_, failed_));
    emit countersChanged();
}

QString OperatorPanel::Elapsed() const {
    return QStringLiteral("%1 s").arg(static_cast<double>(clock_.elapsed()) / 1000.0, 0, 'f', 1);
}

}  // namespace korvan
