#include "app/operation_icons.h"

#include <QIconEngine>
#include <QImage>
#include <QLinearGradient>
#include <QPainter>
#include <QPixmapCache>
#include <QPainterPath>
#include <QPixmap>
#include <QPolygonF>
#include <QtMath>

#include <optional>

namespace korvan {

namespace {

// Every picture is drawn on a 32 x 32 grid. Fills sit on whole units and one-unit strokes on
// half units, so the edges fall on pixel boundaries at 32 x 32 and at every multiple of it.
constexpr qreal kGrid = 32;

const QColor kHalo(255, 255, 255, 235);

struct ChipLook {
    QColor bodyTop;
    QColor bodyBottom;
    QColor notch;
};

const ChipLook kBlackChip{QColor(0x44, 0x44, 0x48), QColor(0x14, 0x14, 0x16), QColor(0x78, 0x78, 0x7e)};
const ChipLook kBlueChip{QColor(0x3d, 0x82, 0xe0), QColor(0x1a, 0x4c, 0x9c), QColor(0x10, 0x33, 0x6c)};
const ChipLook kGreenChip{QColor(0x43, 0xb8, 0x5c), QColor(0x1b, 0x7a, 0x34), QColor(0x10, 0x52, 0x22)};

QLinearGradient VerticalGradient(qreal top, qreal bottom, const QColor& upper, const QColor& lower) {
    QLinearGradient gradient(0, top, 0, bottom);
    gradient.setColorAt(0, upper);
    gradient.setColorAt(1, lower);
    return gradient;
}

// A shape with a white rim around it, so that it reads over a dark chip as well as over a face.
void FillWithHalo(QPainter& painter, const QPainterPath& shape, const QBrush& fill, const QColor& edge) {
    painter.setPen(QPen(kHalo, 3, Qt::SolidLine, Qt::RoundCap, Qt::RoundJoin));
    painter.setBrush(Qt::NoBrush);
    painter.drawPath(shape);
    painter.setPen(QPen(edge, 1, Qt::SolidLine, Qt::RoundCap, Qt::RoundJoin));
    painter.setBrush(fill);
    painter.drawPath(shape);
}

// A dual-in-line chip seen from above: four silver legs on each side, a notch at the top.
void DrawChip(QPainter& painter, const ChipLook& look) {
    painter.setPen(Qt::NoPen);
    for (int leg = 0; leg < 4; ++leg) {
        const int top = 6 + 6 * leg;
        for (const int left : {4, 24}) {
            painter.fillRect(QRectF(left, top, 4, 1), QColor(0xc4, 0xca, 0xd0));
            painter.fillRect(QRectF(left, top + 1, 4, 1), QColor(0x6c, 0x73, 0x7a));
        }
    }
    painter.setBrush(VerticalGradient(4, 28, look.bodyTop, look.bodyBottom));
    painter.drawRoundedRect(QRectF(8, 4, 16, 24), 1.5, 1.5);
    painter.fillRect(QRectF(9, 4, 14, 1), look.bodyTop.lighter(135));
    painter.setBrush(look.notch);
    painter.drawPie(QRectF(13.5, 1.5, 5, 5), 180 * 16, 180 * 16);
    painter.drawEllipse(QPointF(12, 9), 1, 1);
}

void DrawDownArrow(QPainter& painter) {
    QPainterPath arrow;
    arrow.addPolygon(QPolygonF({{13.5, 5.5}, {18.5, 5.5}, {18.5, 14.5}, {23.5, 14.5},
                                {16, 23.5}, {8.5, 14.5}, {13.5, 14.5}, {13.5, 5.5}}));
    FillWithHalo(painter, arrow, VerticalGradient(5, 24, QColor(0x5c, 0xd6, 0x6a), QColor(0x1f, 0x9a, 0x34)),
                 QColor(0x12, 0x6b, 0x22));
}

void DrawCross(QPainter& painter) {
    QPainterPath cross;
    cross.moveTo(10.5, 8.5);
    cross.lineTo(21.5, 19.5);
    cross.moveTo(21.5, 8.5);
    cross.lineTo(10.5, 19.5);
    painter.setBrush(Qt::NoBrush);
    painter.setPen(QPen(kHalo, 7.5, Qt::SolidLine, Qt::RoundCap));
    painter.drawPath(cross);
    painter.setPen(QPen(QColor(0xa8, 0x14, 0x14), 5, Qt::SolidLine, Qt::RoundCap));
    painter.drawPath(cross);
    painter.setPen(QPen(QColor(0xe8, 0x3a, 0x30), 3, Qt::SolidLine, Qt::RoundCap));
    painter.drawPath(cross);
}

void DrawMagnifier(QPainter& painter) {
    const QPointF centre(15, 12);
    const QLineF handle(19.6, 16.6, 25.5, 22.5);
    painter.setBrush(Qt::NoBrush);
    painter.setPen(QPen(kHalo, 7, Qt::SolidLine, Qt::RoundCap));
    painter.drawLine(handle);
    painter.setPen(QPen(QColor(0x3a, 0x2a, 0x1c), 4, Qt::SolidLine, Qt::RoundCap));
    painter.drawLine(handle);
    painter.setPen(QPen(kHalo, 1.5));
    painter.setBrush(QColor(0xd4, 0xec, 0xff, 230));
    painter.drawEllipse(centre, 7.5, 7.5);
    painter.setPen(QPen(QColor(0x50, 0x5c, 0x6a), 2));
    painter.setBrush(Qt::NoBrush);
    painter.drawEllipse(centre, 6, 6);
    painter.setPen(QPen(QColor(255, 255, 255, 220), 1.2, Qt::SolidLine, Qt::RoundCap));
    painter.drawArc(QRectF(centre.x() - 3.5, centre.y() - 3.5, 7, 7), 100 * 16, 70 * 16);
}

void DrawFloppy(QPainter& painter) {
    QPainterPath body;
    body.addPolygon(QPolygonF({{4.5, 4.5}, {24.5, 4.5}, {27.5, 7.5}, {27.5, 27.5}, {4.5, 27.5}, {4.5, 4.5}}));
    painter.setPen(QPen(QColor(0x17, 0x33, 0x5e), 1));
    painter.setBrush(VerticalGradient(4, 28, QColor(0x3f, 0x74, 0xc4), QColor(0x24, 0x4f, 0x92)));
    painter.drawPath(body);
    painter.setPen(Qt::NoPen);
    painter.fillRect(QRectF(10, 5, 12, 8), VerticalGradient(5, 13, QColor(0xf0, 0xf2, 0xf4), QColor(0xa6, 0xad, 0xb5)));
    painter.fillRect(QRectF(17, 6, 3, 6), QColor(0x2a, 0x30, 0x38));
    painter.fillRect(QRectF(8, 16, 16, 11), QColor(0xfa, 0xfa, 0xf6));
    painter.fillRect(QRectF(10, 19, 12, 1), QColor(0xb4, 0xc2, 0xd6));
    painter.fillRect(QRectF(10, 22, 12, 1), QColor(0xb4, 0xc2, 0xd6));
}

void DrawPadlock(QPainter& painter) {
    QPainterPath shackle;
    shackle.moveTo(10.5, 15);
    shackle.lineTo(10.5, 10.5);
    shackle.arcTo(QRectF(10.5, 4.5, 11, 12), 180, -180);
    shackle.lineTo(21.5, 15);
    painter.setBrush(Qt::NoBrush);
    painter.setPen(QPen(QColor(0x5a, 0x62, 0x6b), 4, Qt::SolidLine, Qt::FlatCap));
    painter.drawPath(shackle);
    painter.setPen(QPen(QColor(0xc4, 0xcb, 0xd2), 2, Qt::SolidLine, Qt::FlatCap));
    painter.drawPath(shackle);
    painter.setPen(QPen(QColor(0x9a, 0x66, 0x08), 1));
    painter.setBrush(VerticalGradient(14, 29, QColor(0xfc, 0xd8, 0x5a), QColor(0xd9, 0x94, 0x14)));
    painter.drawRoundedRect(QRectF(6.5, 14.5, 19, 14), 2, 2);
    painter.setPen(Qt::NoPen);
    painter.fillRect(QRectF(8, 15, 16, 1), QColor(0xff, 0xec, 0xa8));
    painter.setBrush(QColor(0x3a, 0x28, 0x06));
    painter.drawEllipse(QPointF(16, 20), 2, 2);
    painter.fillRect(QRectF(15, 20, 2, 5), QColor(0x3a, 0x28, 0x06));
}

QPainterPath GearShape(const QPointF& centre, qreal outer, qreal inner, qreal hole) {
    QPainterPath teeth;
    constexpr int kTeeth = 8;
    for (int tooth = 0; tooth < kTeeth; ++tooth) {
        const qreal angle = qDegreesToRadians(tooth * 360.0 / kTeeth);
        const QPointF direction(qCos(angle), qSin(angle));
        const QPointF across(-direction.y(), direction.x());
        const qreal halfWidth = 1.5;
        const QPointF base = centre + direction * (inner - 1);
        const QPointF tip = centre + direction * outer;
        teeth.addPolygon(QPolygonF({base - across * halfWidth, tip - across * halfWidth * 0.8,
                                    tip + across * halfWidth * 0.8, base + across * halfWidth,
                                    base - across * halfWidth}));
    }
    QPainterPath disc;
    disc.addEllipse(centre, inner, inner);
    QPainterPath axle;
    axle.addEllipse(centre, hole, hole);
    return teeth.united(disc).subtracted(axle);
}

void DrawWindowWithGear(QPainter& painter) {
    painter.setPen(QPen(QColor(0x4a, 0x55, 0x62), 1));
    painter.setBrush(QColor(0xff, 0xff, 0xff));
    painter.drawRect(QRectF(2.5, 4.5, 24, 20));
    painter.setPen(Qt::NoPen);
    painter.fillRect(QRectF(3, 5, 23, 5), VerticalGradient(5, 10, QColor(0x5a, 0x9a, 0xe8), QColor(0x2a, 0x66, 0xc0)));
    painter.fillRect(QRectF(22, 6, 3, 3), QColor(0xe8, 0x5a, 0x4a));
    painter.fillRect(QRectF(5, 12, 10, 1), QColor(0xb8, 0xc4, 0xd2));
    painter.fillRect(QRectF(5, 15, 7, 1), QColor(0xb8, 0xc4, 0xd2));
    FillWithHalo(painter, GearShape({22, 21.5}, 8, 5.5, 2.2),
                 VerticalGradient(13, 30, QColor(0x8a, 0x94, 0xa0), QColor(0x48, 0x50, 0x5a)),
                 QColor(0x2c, 0x32, 0x3a));
}

void DrawOpenFolder(QPainter& painter) {
    const QColor outline(0x9a, 0x68, 0x10);
    painter.setPen(QPen(outline, 1));
    painter.setBrush(VerticalGradient(6, 27, QColor(0xe8, 0xb0, 0x3a), QColor(0xc8, 0x8a, 0x1a)));
    painter.drawPolygon(QPolygonF({{2.5, 6.5}, {10.5, 6.5}, {12.5, 8.5}, {25.5, 8.5}, {25.5, 26.5}, {2.5, 26.5}}));
    painter.setPen(QPen(QColor(0xa0, 0xa6, 0xae), 1));
    painter.setBrush(QColor(0xff, 0xff, 0xff));
    painter.drawRect(QRectF(5.5, 10.5, 18, 12));
    painter.setPen(QPen(outline, 1));
    painter.setBrush(VerticalGradient(14, 27, QColor(0xff, 0xdc, 0x6e), QColor(0xf0, 0xb0, 0x2a)));
    painter.drawPolygon(QPolygonF({{7.5, 14.5}, {30.5, 14.5}, {25.5, 26.5}, {2.5, 26.5}}));
}

// The running pictures: a yellow band of black chevrons across the bottom of the idle one.
void DrawRunningBanner(QPainter& painter) {
    painter.setPen(Qt::NoPen);
    painter.fillRect(QRectF(0, 23, kGrid, 9), QColor(0x8a, 0x6a, 0x00));
    painter.fillRect(QRectF(0, 24, kGrid, 8), QColor(0xff, 0xd4, 0x2a));
    painter.setBrush(QColor(0x1a, 0x1a, 0x1a));
    for (const qreal left : {7.5, 13.5, 19.5}) {
        painter.drawPolygon(QPolygonF({{left, 25}, {left + 2.5, 25}, {left + 5, 28}, {left + 2.5, 31},
                                       {left, 31}, {left + 2.5, 28}}));
    }
}

// The idle picture a running one adds its banner to.
std::optional<OperationIcon> IdleOf(OperationIcon running) {
    switch (running) {
        case OperationIcon::EraseRunning: return OperationIcon::Erase;
        case OperationIcon::WriteRunning: return OperationIcon::Write;
        case OperationIcon::ReadRunning: return OperationIcon::Read;
        case OperationIcon::VerifyRunning: return OperationIcon::Verify;
        default: return std::nullopt;
    }
}

void DrawIdlePicture(QPainter& painter, OperationIcon icon) {
    switch (icon) {
        case OperationIcon::Window: DrawChip(painter, kBlackChip); DrawDownArrow(painter); break;
        case OperationIcon::Erase: DrawChip(painter, kBlackChip); DrawCross(painter); break;
        case OperationIcon::Save: DrawFloppy(painter); break;
        case OperationIcon::Write: DrawChip(painter, kBlueChip); break;
        case OperationIcon::Read: DrawChip(painter, kGreenChip); break;
        case OperationIcon::Verify: DrawChip(painter, kBlackChip); DrawMagnifier(painter); break;
        case OperationIcon::Encrypt: DrawPadlock(painter); break;
        case OperationIcon::Auto: DrawWindowWithGear(painter); break;
        case OperationIcon::Open: DrawOpenFolder(painter); break;
        default: break;
    }
}

void DrawPicture(QPainter& painter, OperationIcon icon) {
    if (const auto idle = IdleOf(icon)) {
        DrawIdlePicture(painter, *idle);
        DrawRunningBanner(painter);
    } else {
        DrawIdlePicture(painter, icon);
    }
}

bool HasPicture(int id) {
    switch (static_cast<OperationIcon>(id)) {
        case OperationIcon::Window:
        case OperationIcon::Erase:
        case OperationIcon::Save:
        case OperationIcon::EraseRunning:
        case OperationIcon::Write:
        case OperationIcon::WriteRunning:
        case OperationIcon::Read:
        case OperationIcon::ReadRunning:
        case OperationIcon::Verify:
        case OperationIcon::VerifyRunning:
        case OperationIcon::Encrypt:
        case OperationIcon::Auto:
        case OperationIcon::Open: return true;
        default: return false;
    }
}

// The greyed look of a disabled button's picture: grey levels pulled toward the face, half seen.
QImage Greyed(const QImage& image) {
    QImage grey = image.convertToFormat(QImage::Format_ARGB32);
    for (int y = 0; y < grey.height(); ++y) {
        auto* line = reinterpret_cast<QRgb*>(grey.scanLine(y));
        for (int x = 0; x < grey.width(); ++x) {
            const int level = 96 + qGray(line[x]) / 2;
            line[x] = qRgba(level, level, level, qAlpha(line[x]) / 2);
        }
    }
    return grey;
}

class OperationIconEngine : public QIconEngine {
public:
    explicit OperationIconEngine(OperationIcon icon) : icon_(icon) {}

    void paint(QPainter* painter, const QRect& rect, QIcon::Mode mode, QIcon::State) override {
        const qreal ratio = painter->device() ? painter->device()->devicePixelRatioF() : 1.0;
        QPixmap picture = Rendered(rect.size() * ratio, mode);
        picture.setDevicePixelRatio(ratio);
        painter->drawPixmap(rect, picture);
    }

    QSize actualSize(const QSize& size, QIcon::Mode, QIcon::State) override {
        const int side = qMin(size.width(), size.height());
        return {side, side};
    }

    QPixmap pixmap(const QSize& size, QIcon::Mode mode, QIcon::State) override { return Rendered(size, mode); }

    // `size` is already in device pixels: draw the picture at that resolution, not scaled up.
    QPixmap scaledPixmap(const QSize& size, QIcon::Mode mode, QIcon::State, qreal scale) override {
        QPixmap pixmap = Rendered(size, mode);
        pixmap.setDevicePixelRatio(scale);
        return pixmap;
    }

    QIconEngine* clone() const override { return new OperationIconEngine(icon_); }
    QString key() const override { return QStringLiteral("korvan-operation"); }
    bool isNull() override { return false; }

private:
    // Every button's picture is asked for at each paint, and again by each new icon of the same
    // picture: each size and mode is drawn once and then taken from the cache.
    QPixmap Rendered(const QSize& size, QIcon::Mode mode) const {
        const QString key = QStringLiteral("korvan-operation-%1-%2x%3-%4")
                                .arg(static_cast<int>(icon_))
                                .arg(size.width())
                                .arg(size.height())
                                .arg(static_cast<int>(mode));
        QPixmap picture;
        if (!QPixmapCache::find(key, &picture)) {
            picture = QPixmap::fromImage(Render(size, mode));
            QPixmapCache::insert(key, picture);
        }
        return picture;
    }

    QImage Render(const QSize& size, QIcon::Mode mode) const {
        const int side = qMin(size.width(), size.height());
        QImage image(size, QImage::Format_ARGB32_Premultiplied);
        image.fill(Qt::transparent);
        if (side <= 0) return image;
        {
            QPainter painter(&image);
            painter.setRenderHint(QPainter::Antialiasing);
            painter.translate((size.width() - side) / 2, (size.height() - side) / 2);
            painter.scale(side / kGrid, side / kGrid);
            DrawPicture(painter, icon_);
        }
        return mode == QIcon::Disabled ? Greyed(image) : image;
    }

    OperationIcon icon_;
};

}  // namespace

QIcon MakeOperationIcon(int id) {
    if (!HasPicture(id)) return {};
    return QIcon(new OperationIconEngine(static_cast<OperationIcon>(id)));
}

}  // namespace korvan
