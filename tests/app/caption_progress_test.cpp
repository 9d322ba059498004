#include "app/caption_progress.h"

#include <QApplication>
#include <QImage>
#include <QPalette>
#include <QScreen>
#include <QtTest>

using korvan::CaptionProgress;

namespace {

// Runs every event already queued, paints included: a paint missing after this was never asked for.
void DrainEvents() {
    QCoreApplication::sendPostedEvents();
    QCoreApplication::processEvents();
}

// Shows the control as a window and waits for its first paint to be over.
bool ShowAndSettle(CaptionProgress& control, QSize size) {
    control.resize(size);
    control.show();
    if (!QTest::qWaitForWindowExposed(&control)) return false;
    if (!QTest::qWaitFor([&] { return control.paintCount() > 0 && control.size() == size; }, 5000)) return false;
    DrainEvents();
    return true;
}

// What the screen shows of the control: only paints change it, unlike grab(), which paints anew.
QImage OnScreen(const CaptionProgress& control) {
    return control.screen()->grabWindow(control.winId()).toImage().convertToFormat(QImage::Format_RGB32);
}

QImage Painted(CaptionProgress& control) { return control.grab().toImage().convertToFormat(QImage::Format_RGB32); }

bool Between(int value, int a, int b) { return value >= qMin(a, b) - 1 && value <= qMax(a, b) + 1; }

// Where the caption's ink lies inside `area` painted in `fill`: the pixels of another colour.
// Each of them must be `fill` blended with `ink` (the text is anti-aliased), else the extent is
// returned empty so the check fails.
QRect InkExtent(const QImage& image, const QRect& area, const QColor& fill, const QColor& ink) {
    QRect extent;
    for (int y = area.top(); y <= area.bottom(); ++y) {
        for (int x = area.left(); x <= area.right(); ++x) {
            const QRgb pixel = image.pixel(x, y);
            if (pixel == fill.rgb()) continue;
            if (!Between(qRed(pixel), fill.red(), ink.red()) || !Between(qGreen(pixel), fill.green(), ink.green()) ||
                !Between(qBlue(pixel), fill.blue(), ink.blue())) {
                return {};
            }
            extent |= QRect(x, y, 1, 1);
        }
    }
    return extent;
}

bool ColumnIs(const QImage& image, int x, const QColor& colour) {
    for (int y = 0; y < image.height(); ++y) {
        if (image.pixel(x, y) != colour.rgb()) return false;
    }
    return true;
}

}  // namespace

class CaptionProgressTest : public QObject {
    Q_OBJECT
private slots:
    void initTestCase() { QApplication::setStyle("Fusion"); }

    void newControlTakesTheSystemColoursOnce() {
        CaptionProgress control;
        const QPalette system = control.palette();
        QCOMPARE(control.pos(), 0);
        QVERIFY(control.text().isEmpty());
        QCOMPARE(control.barColour(), system.color(QPalette::Highlight));
        QCOMPARE(control.backgroundColour(), system.color(QPalette::Base));
        QCOMPARE(control.captionOverBackground(), system.color(QPalette::Highlight));
        QCOMPARE(control.captionOverBar(), system.color(QPalette::Base));

        QPalette other = system;
        other.setColor(QPalette::Highlight, Qt::red);
        control.setPalette(other);
        QCOMPARE(control.barColour(), system.color(QPalette::Highlight));
        QCOMPARE(control.SetPos(30), 0);
        QCOMPARE(control.SetPos(70), 30);
        QCOMPARE(control.pos(), 70);
    }

    void setPosRepaintsAtOnceOnlyWhenTheBarGrowsAPixel() {
        CaptionProgress control;
        QVERIFY(ShowAndSettle(control, {50, 24}));
        const int before = control.paintCount();
        control.SetPos(2);  // 1 px
        QCOMPARE(control.paintCount(), before + 1);
        control.SetPos(3);  // still 1 px
        DrainEvents();
        QCOMPARE(control.paintCount(), before + 1);
        control.SetPos(4);  // 2 px
        QCOMPARE(control.paintCount(), before + 2);
        control.SetPos(5);  // 2 px
        DrainEvents();
        QCOMPARE(control.paintCount(), before + 2);
        QCOMPARE(control.pos(), 5);
    }

    void resizeMakesTheNextSetPosRepaint() {
        CaptionProgress control;
        QVERIFY(ShowAndSettle(control, {201, 24}));
        control.SetPos(50);  // 100 px
        const int beforeResize = control.paintCount();
        control.resize(200, 24);
        QTRY_VERIFY(control.width() == 200 && control.paintCount() > beforeResize);
        DrainEvents();
        const int before = control.paintCount();
        control.SetPos(50);  // 100 px again, but nothing drawn since the resize counts
        QCOMPARE(control.paintCount(), before + 1);
        control.SetPos(50);
        DrainEvents();
        QCOMPARE(control.paintCount(), before + 1);
    }

    void setTextLeavesTheOldCaptionOnScreenUntilTheNextPaint() {
        CaptionProgress control;
        QVERIFY(ShowAndSettle(control, {201, 24}));
        control.SetPos(40);
        const QImage shown = OnScreen(control);
        const int before = control.paintCount();

        control.SetText("Reading Done");
        DrainEvents();
        QCOMPARE(control.text(), QString("Reading Done"));
        QCOMPARE(control.paintCount(), before);
        QCOMPARE(OnScreen(control), shown);

        control.update();
        QTRY_COMPARE(control.paintCount(), before + 1);
        QVERIFY(OnScreen(control) != shown);
    }

    void setWindowTextRepaintsOnlyAChangedCaption() {
        CaptionProgress control;
        QVERIFY(ShowAndSettle(control, {201, 24}));
        const int before = control.paintCount();
        control.SetWindowText(QString());  // the caption is empty already
        DrainEvents();
        QCOMPARE(control.paintCount(), before);

        control.SetWindowText("Programming Done");
        QTRY_COMPARE(control.paintCount(), before + 1);
        DrainEvents();
        control.SetWindowText("Programming Done");
        DrainEvents();
        QCOMPARE(control.paintCount(), before + 1);

        control.SetWindowText("Reading Done");
        QTRY_COMPARE(control.paintCount(), before + 2);
        QCOMPARE(control.text(), QString("Reading Done"));
    }

    void emptyControlShowsThePercentageCentredOverTheBackground() {
        CaptionProgress control;
        control.resize(201, 24);
        const QImage image = Painted(control);
        QVERIFY(ColumnIs(image, 0, control.backgroundColour()));
        QVERIFY(ColumnIs(image, 200, control.backgroundColour()));
        const QRect caption =
            InkExtent(image, image.rect(), control.backgroundColour(), control.captionOverBackground());
        QVERIFY(caption.width() > 10);
        QVERIFY(qAbs(caption.center().x() - 100) <= 2);
        QVERIFY(qAbs(caption.center().y() - 12) <= 2);
    }

    void fullOrOverfullControlIsAllBarWithTheCaptionInTheWindowColour() {
        for (const int pos : {100, 150}) {
            CaptionProgress control;
            control.resize(201, 24);
            control.SetPos(pos);
            const QImage image = Painted(control);
            QVERIFY(ColumnIs(image, 0, control.barColour()));
            QVERIFY(ColumnIs(image, 200, control.barColour()));
            const QRect caption = InkExtent(image, image.rect(), control.barColour(), control.captionOverBar());
            QVERIFY(caption.width() > 10);
            QVERIFY(qAbs(caption.center().x() - 100) <= 2);
        }
    }

    void captionChangesColourWhereTheBarEnds() {
        CaptionProgress control;
        control.resize(201, 24);
        control.SetPos(50);  // bar 100 px: columns 0 to 99
        const QImage image = Painted(control);
        QCOMPARE(image.pixel(99, 0), control.barColour().rgb());
        QCOMPARE(image.pixel(100, 0), control.backgroundColour().rgb());
        const QRect overBar = InkExtent(image, QRect(0, 0, 100, 24), control.barColour(), control.captionOverBar());
        const QRect overBackground =
            InkExtent(image, QRect(100, 0, 101, 24), control.backgroundColour(), control.captionOverBackground());
        QVERIFY(!overBar.isEmpty());
        QVERIFY(!overBackground.isEmpty());
        QVERIFY(qAbs((overBar | overBackground).center().x() - 100) <= 2);
    }
};

QTEST_MAIN(CaptionProgressTest)
#include "caption_progress_test.moc"
