#pragma once

#include <QElapsedTimer>
#include <QWidget>
#include <cstdint>

class QLabel;
class QPushButton;

namespace korvan {

// Above the pages, so it is in sight on every page: the result of the last run in large
// coloured letters with the line that failed it and how long it took, the counters since the
// window started (with a reset), the loaded image and the chip found by the last check.
class OperatorPanel : public QWidget {
    Q_OBJECT
public:
    explicit OperatorPanel(QWidget* parent = nullptr);

    // A chip command began a run: the clock starts, the banner says so.
    void RunStarted();
    // The run ended; a failure names the status line that ended it. A failure told after a
    // pass of the same run (the job log could not be written) turns that pass into a failure.
    void RunPassed();
    void RunFailed(const QString& line);
    // A command that is no run of the chip (Open, Save): its failures are not counted.
    void NotARun() { counting_ = false; }
    void ResetCounters();

    void ShowImage(const QString& line);
    void ShowChip(const QString& line);
    void ShowSerial(const QString& line);
    // The job's totals as the shared store counts them, every station's; hidden while empty.
    // `why` (a tooltip) says what the line cannot.
    void ShowJobTotals(const QString& line, const QString& why = {});

    int passed() const { return passed_; }
    int failed() const { return failed_; }
    QString resultText() const;
    QString detailText() const;
    QString countersText() const;
    QString imageText() const;
    QString chipText() const;
    QString jobTotalsText() const;
    // The panel's one control: in the window's Tab order.
    QPushButton* resetButton() const { return reset_; }

    // "Passed 3  Failed 1  Yield 75.0%"; "Yield -" before the first run.
    static QString Counters(std::uint64_t passed, std::uint64_t failed);

signals:
    // A run was counted, or the counters were reset.
    void countersChanged();

private:
    enum class Outcome { None, Running, Passed, Failed };
    void ShowResult(Outcome outcome, const QString& detail);
    void ShowCounters();
    QString Elapsed() const;

    QLabel* result_;
    QLabel* detail_;
    QLabel* counters_;
    QLabel* serial_;
    QPushButton* reset_;
    QLabel* image_;
    QLabel* chip_;
    QLabel* jobTotals_;
    QElapsedTimer clock_;
    Outcome outcome_ = Outcome::None;
    bool counting_ = false;  // from a chip command's start until the next command
    int passed_ = 0;
    int failed_ = 0;
};

}  // namespace korvan
