// tallyhive-draw-images FOLDER: draws the program's pictures into FOLDER. The copies committed
// beside this file are its output; a test keeps them from drifting apart.
#include <QDir>
#include <QFile>
#include <QImage>
#include <cstdio>

#include "resources/images/Drawing.h"

using namespace tallyhive::images;

namespace {

bool Save(const QImage& image, const QString& path) {
    if (image.save(path, "PNG")) return true;
    std::fprintf(stderr, "tallyhive-draw-images: cannot write %s\n", qPrintable(path));
    return false;
}

}  // namespace

int main(int argc, char** argv) {
    if (argc != 2) {
        std::fprintf(stderr, "usage: tallyhive-draw-images FOLDER\n");
        return 2;
    }
    const QDir folder(QString::fromLocal8Bit(argv[1]));
    if (!folder.exists() && !QDir().mkpath(folder.path())) {
        std::fprintf(stderr, "tallyhive-draw-images: cannot create %s\n", argv[1]);
        return 1;
    }
    bool ok = Save(DrawBanner(), folder.filePath("banner-130.png"));
    ok = Save(DrawIcon(kIconSize), folder.filePath("icon-132.png")) && ok;
    QList<QImage> icons;
    for (const int size : ProgramIconSizes()) {
        icons.append(DrawIcon(size));
        ok = Save(icons.back(), folder.filePath(QStringLiteral("tallyhive-%1.png").arg(size))) && ok;
    }
    QFile ico(folder.filePath("tallyhive.ico"));
    if (!ico.open(QIODevice::WriteOnly) || ico.write(BuildIcoFile(icons)) < 0) {
        std::fprintf(stderr, "tallyhive-draw-images: cannot write %s\n", qPrintable(ico.fileName()));
        ok = false;
    }
    return ok ? 0 : 1;
}
