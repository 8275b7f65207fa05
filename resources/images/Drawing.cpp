#include "resources/images/Drawing.h"

#include <QBuffer>
#include <QPainter>
#include <QPainterPath>
#include <QPen>
#include <QtEndian>

namespace tallyhive::images {

namespace {

const QColor kTeal(0x12, 0x9C, 0x96);
const QColor kDeepTeal(0x0B, 0x5E, 0x5A);

// The rounded teal square with a white speech bubble holding three rising bars, in a unit square
// scaled to `side` pixels at (x, y).
void PaintBubbleLogo(QPainter& p, qreal x, qreal y, qreal side) {
    p.save();
    p.translate(x, y);
    p.scale(side / 100.0, side / 100.0);
    p.setPen(Qt::NoPen);
    p.setBrush(kTeal);
    p.drawRoundedRect(QRectF(0, 0, 100, 100), 18, 18);

    QPainterPath bubble;
    bubble.addRoundedRect(QRectF(16, 18, 68, 52), 12, 12);
    QPainterPath tail;
    tail.moveTo(30, 66);
    tail.lineTo(24, 86);
    tail.lineTo(46, 68);
    tail.closeSubpath();
    p.setBrush(Qt::white);
    p.drawPath(bubble.united(tail));

    p.setBrush(kTeal);
    const qreal baseline = 60;
    const qreal heights[] = {14, 24, 34};
    for (int i = 0; i < 3; ++i) {
        p.drawRect(QRectF(29 + i * 15, baseline - heights[i], 10, heights[i]));
    }
    p.restore();
}

// Block capitals of the name, each letter a few straight strokes in a box `w` by `h`.
void StrokeLetter(QPainterPath& path, char letter, qreal x, qreal w, qreal h) {
    const auto line = [&](std::initializer_list<QPointF> points) {
        bool first = true;
        for (const QPointF& pt : points) {
            const QPointF at(x + pt.x() * w, pt.y() * h);
            if (first) {
                path.moveTo(at);
            } else {
                path.lineTo(at);
            }
            first = false;
        }
    };
    switch (letter) {
        case 'T':
            line({{0, 0}, {1, 0}});
            line({{0.5, 0}, {0.5, 1}});
            break;
        case 'A':
            line({{0, 1}, {0.5, 0}, {1, 1}});
            line({{0.22, 0.62}, {0.78, 0.62}});
            break;
        case 'L':
            line({{0, 0}, {0, 1}, {1, 1}});
            break;
        case 'Y':
            line({{0, 0}, {0.5, 0.5}, {1, 0}});
            line({{0.5, 0.5}, {0.5, 1}});
            break;
        case 'H':
            line({{0, 0}, {0, 1}});
            line({{1, 0}, {1, 1}});
            line({{0, 0.5}, {1, 0.5}});
            break;
        case 'I':
            line({{0.5, 0}, {0.5, 1}});
            break;
        case 'V':
            line({{0, 0}, {0.5, 1}, {1, 0}});
            break;
        case 'E':
            line({{1, 0}, {0, 0}, {0, 1}, {1, 1}});
            line({{0, 0.5}, {0.8, 0.5}});
            break;
        default:
            break;
    }
}

}  // namespace

QImage DrawBanner() {
    QImage image(kBannerWidth, kBannerHeight, QImage::Format_ARGB32_Premultiplied);
    image.fill(Qt::transparent);
    QPainter p(&image);
    p.setRenderHint(QPainter::Antialiasing);
    PaintBubbleLogo(p, 8, 8, 128);

    const QString name = QStringLiteral("TALLYHIVE");
    const qreal capHeight = 64;
    const qreal stroke = 11;
    QPainterPath letters;
    qreal x = 0;
    for (const QChar c : name) {
        const char letter = c.toLatin1();
        const qreal width = letter == 'I' ? stroke : 44;
        StrokeLetter(letters, letter, x, width, capHeight);
        x += width + 16;
    }
    const qreal textWidth = x - 16;
    p.save();
    // Centred in the space right of the logo, on the logo's middle line.
    p.translate(160 + (kBannerWidth - 160 - 8 - textWidth) / 2, (kBannerHeight - capHeight) / 2);
    QPen pen(kDeepTeal, stroke, Qt::SolidLine, Qt::SquareCap, Qt::MiterJoin);
    p.setPen(pen);
    p.setBrush(Qt::NoBrush);
    p.drawPath(letters);
    p.restore();
    p.end();
    return image;
}

QImage DrawIcon(int size) {
    QImage image(size, size, QImage::Format_ARGB32_Premultiplied);
    image.fill(Qt::transparent);
    QPainter p(&image);
    p.setRenderHint(QPainter::Antialiasing);
    PaintBubbleLogo(p, 0, 0, size);
    p.end();
    return image;
}

QList<int> ProgramIconSizes() {
    return {256, 48, 32, 16};
}

QByteArray BuildIcoFile(const QList<QImage>& images) {
    QList<QByteArray> pngs;
    for (const QImage& image : images) {
        QByteArray png;
        QBuffer buffer(&png);
        buffer.open(QIODevice::WriteOnly);
        image.save(&buffer, "PNG");
        pngs.append(png);
    }
    QByteArray ico;
    const auto put16 = [&ico](quint16 v) {
        char bytes[2];
        qToLittleEndian(v, bytes);
        ico.append(bytes, 2);
    };
    const auto put32 = [&ico](quint32 v) {
        char bytes[4];
        qToLittleEndian(v, bytes);
        ico.append(bytes, 4);
    };
    put16(0);  // reserved
    put16(1);  // icon
    put16(static_cast<quint16>(images.size()));
    quint32 offset = 6 + 16 * static_cast<quint32>(images.size());
    for (qsizetype i = 0; i < images.size(); ++i) {
        // A size of 256 is written as 0 in the one-byte fields.
        ico.append(static_cast<char>(images[i].width() >= 256 ? 0 : images[i].width()));
        ico.append(static_cast<char>(images[i].height() >= 256 ? 0 : images[i].height()));
        ico.append('\0');  // no palette
        ico.append('\0');  // reserved
        put16(1);          // colour planes
        put16(32);         // bits per pixel
        put32(static_cast<quint32>(pngs[i].size()));
        put32(offset);
        offset += static_cast<quint32>(pngs[i].size());
    }
    for (const QByteArray& png : pngs) ico.append(png);
    return ico;
}

}  // namespace tallyhive::images
