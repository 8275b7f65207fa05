// The committed pictures are what the drawing code draws today: the Windows build takes the files,
// the Linux program draws nothing at run time, so a drawing change that was never saved would leave
// the two programs showing different pictures.
#include "resources/images/Drawing.h"

#include <gtest/gtest.h>

#include <QFile>
#include <QImage>
#include <QString>
#include <algorithm>
#include <cstdlib>
#include <functional>
#include <string>

namespace tallyhive::images {
namespace {

QString Committed(const char* name) {
    return QString::fromUtf8(TALLYHIVE_SOURCE_DIR "/resources/images/") + QString::fromUtf8(name);
}

// Equal sizes and pixels; a channel may differ by 2, for a toolkit whose antialiasing rounds
// differently. A changed drawing moves whole shapes, far beyond that.
::testing::AssertionResult SamePicture(const QImage& drawn, const QImage& stored) {
    if (stored.isNull()) return ::testing::AssertionFailure() << "the committed file cannot be read";
    if (drawn.size() != stored.size())
        return ::testing::AssertionFailure()
               << "size " << drawn.width() << "x" << drawn.height() << " drawn, " << stored.width() << "x"
               << stored.height() << " committed";
    const QImage a = drawn.convertToFormat(QImage::Format_ARGB32);
    const QImage b = stored.convertToFormat(QImage::Format_ARGB32);
    int worst = 0;
    for (int y = 0; y < a.height(); ++y) {
        for (int x = 0; x < a.width(); ++x) {
            const QRgb p = a.pixel(x, y);
            const QRgb q = b.pixel(x, y);
            worst = std::max({worst, std::abs(qRed(p) - qRed(q)), std::abs(qGreen(p) - qGreen(q)),
                              std::abs(qBlue(p) - qBlue(q)), std::abs(qAlpha(p) - qAlpha(q))});
        }
    }
    if (worst > 2) return ::testing::AssertionFailure() << "a channel differs by " << worst;
    return ::testing::AssertionSuccess();
}

TEST(CommittedPictures, EqualWhatTheDrawingCodeDraws) {
    struct Case {
        const char* file;
        std::function<QImage()> draw;
    };
    const Case cases[] = {
        {"banner-130.png", [] { return DrawBanner(); }},
        {"icon-132.png", [] { return DrawIcon(kIconSize); }},
        {"tallyhive-256.png", [] { return DrawIcon(256); }},
        {"tallyhive-48.png", [] { return DrawIcon(48); }},
        {"tallyhive-32.png", [] { return DrawIcon(32); }},
        {"tallyhive-16.png", [] { return DrawIcon(16); }},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.file);
        EXPECT_TRUE(SamePicture(c.draw(), QImage(Committed(c.file))));
    }
}

TEST(CommittedPictures, TheIconFileHoldsEverySizeAsDrawn) {
    QFile file(Committed("tallyhive.ico"));
    ASSERT_TRUE(file.open(QIODevice::ReadOnly));
    const QByteArray ico = file.readAll();
    const auto u16 = [&](qsizetype at) {
        return static_cast<unsigned char>(ico[at]) | static_cast<unsigned char>(ico[at + 1]) << 8;
    };
    const auto u32 = [&](qsizetype at) { return static_cast<qsizetype>(u16(at) | u16(at + 2) << 16); };
    ASSERT_GE(ico.size(), 6);
    ASSERT_EQ(u16(2), 1) << "an icon, not a cursor";
    const QList<int> sizes = ProgramIconSizes();
    ASSERT_EQ(u16(4), sizes.size());
    for (int i = 0; i < sizes.size(); ++i) {
        SCOPED_TRACE(sizes[i]);
        const qsizetype entry = 6 + 16 * i;
        ASSERT_LE(entry + 16, ico.size());
        const qsizetype length = u32(entry + 8);
        const qsizetype offset = u32(entry + 12);
        ASSERT_LE(offset + length, ico.size());
        EXPECT_TRUE(SamePicture(DrawIcon(sizes[i]), QImage::fromData(ico.mid(offset, length))));
    }
}

}  // namespace
}  // namespace tallyhive::images
