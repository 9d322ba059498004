#include "app/operation_icons.h"

#include <QApplication>
#include <QImage>
#include <QPixmap>
#include <QtTest>

using korvan::MakeOperationIcon;
using korvan::OperationIcon;

namespace {

constexpr OperationIcon kEveryPicture[] = {
    OperationIcon::Window,  OperationIcon::Erase,        OperationIcon::Save,    OperationIcon::EraseRunning,
    OperationIcon::Write,   OperationIcon::WriteRunning, OperationIcon::Read,    OperationIcon::ReadRunning,
    OperationIcon::Verify,  OperationIcon::VerifyRunning, OperationIcon::Encrypt, OperationIcon::Auto,
    OperationIcon::Open,
};

QImage Render(OperationIcon icon, qreal ratio, QIcon::Mode mode = QIcon::Normal) {
    return MakeOperationIcon(int(icon)).pixmap(QSize(32, 32), ratio, mode).toImage().convertToFormat(QImage::Format_ARGB32);
}

int OpaquePixels(const QImage& image) {
    int count = 0;
    for (int y = 0; y < image.height(); ++y) {
        for (int x = 0; x < image.width(); ++x) count += qAlpha(image.pixel(x, y)) == 255;
    }
    return count;
}

}  // namespace

class OperationIconsTest : public QObject {
    Q_OBJECT
private slots:
    void everyPictureDrawsAtThirtyTwoAndAtDoubleDensity() {
        for (const OperationIcon icon : kEveryPicture) {
            const int id = int(icon);
            QVERIFY2(!MakeOperationIcon(id).isNull(), qPrintable(QString::number(id)));
            const QImage normal = Render(icon, 1.0);
            QCOMPARE(normal.size(), QSize(32, 32));
            QVERIFY2(OpaquePixels(normal) > 32 * 32 / 4, qPrintable(QString::number(id)));
            QVERIFY2(OpaquePixels(normal) < 32 * 32, qPrintable(QString::number(id)));  // not a filled square

            const QImage dense = Render(icon, 2.0);
            QCOMPARE(dense.size(), QSize(64, 64));
            QCOMPARE(dense.devicePixelRatio(), 2.0);
            QVERIFY2(OpaquePixels(dense) > 3 * OpaquePixels(normal), qPrintable(QString::number(id)));
        }
    }

    void numbersWithoutAPictureGiveANullIcon() {
        for (const int id : {0, 127, 130, 132, 133, 144, -1}) QVERIFY2(MakeOperationIcon(id).isNull(), qPrintable(QString::number(id)));
    }

    void edgesFallOnThePixelGrid() {
        // The floppy's label is a filled block on whole grid units: its corners are exact pixels
        // at 32 and at 64, with no blurred rim.
        const QRgb label = QColor(0xfa, 0xfa, 0xf6).rgb();
        const QImage normal = Render(OperationIcon::Save, 1.0);
        QCOMPARE(normal.pixel(8, 16), label);
        QCOMPARE(normal.pixel(23, 26), label);
        QVERIFY(normal.pixel(7, 16) != label && qGray(normal.pixel(7, 16)) < 128);
        const QImage dense = Render(OperationIcon::Save, 2.0);
        QCOMPARE(dense.pixel(16, 32), label);
        QCOMPARE(dense.pixel(47, 53), label);
        QVERIFY(qGray(dense.pixel(15, 32)) < 128);
    }

    void runningPictureIsTheIdleOneUnderAYellowBanner() {
        const std::pair<OperationIcon, OperationIcon> pairs[] = {
            {OperationIcon::Erase, OperationIcon::EraseRunning},
            {OperationIcon::Write, OperationIcon::WriteRunning},
            {OperationIcon::Read, OperationIcon::ReadRunning},
            {OperationIcon::Verify, OperationIcon::VerifyRunning},
        };
        for (const auto& [idleIcon, runningIcon] : pairs) {
            const QImage idle = Render(idleIcon, 1.0);
            const QImage running = Render(runningIcon, 1.0);
            QCOMPARE(running.copy(0, 0, 32, 22), idle.copy(0, 0, 32, 22));
            QVERIFY(running.copy(0, 24, 32, 8) != idle.copy(0, 24, 32, 8));
            int yellow = 0;
            int dark = 0;
            for (int x = 0; x < 32; ++x) {
                for (int y = 24; y < 32; ++y) {
                    const QColor colour = running.pixelColor(x, y);
                    yellow += colour.red() > 200 && colour.green() > 160 && colour.blue() < 100;
                    dark += qGray(colour.rgb()) < 60 && colour.alpha() == 255;
                }
            }
            QVERIFY(yellow > 32 * 8 / 3);
            QVERIFY(dark > 12);  // the arrows
        }
    }

    void disabledPictureIsGreyAndFaint() {
        const QImage disabled = Render(OperationIcon::Write, 1.0, QIcon::Disabled);
        int seen = 0;
        for (int y = 0; y < 32; ++y) {
            for (int x = 0; x < 32; ++x) {
                const QRgb pixel = disabled.pixel(x, y);
                if (qAlpha(pixel) == 0) continue;
                ++seen;
                QVERIFY(qRed(pixel) == qGreen(pixel) && qGreen(pixel) == qBlue(pixel));
                QVERIFY(qAlpha(pixel) <= 128);
            }
        }
        QVERIFY(seen > 32 * 32 / 4);
    }
};

QTEST_MAIN(OperationIconsTest)
#include "operation_icons_test.moc"
