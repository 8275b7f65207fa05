#pragma once
#include <QByteArray>
#include <QImage>
#include <QList>

// The program's pictures, drawn from shapes alone (no fonts, no files), so every machine draws the
// same pixels: the banner (a square teal logo beside the name), the agreement page's icon and the
// program icon (a white speech bubble with a bar chart on teal).
namespace tallyhive::images {

inline constexpr int kBannerWidth = 738;
inline constexpr int kBannerHeight = 144;
inline constexpr int kIconSize = 128;

QImage DrawBanner();
// The speech bubble and bar chart on a rounded teal square, `size` pixels square.
QImage DrawIcon(int size);
// The sizes of the program icon, largest first.
QList<int> ProgramIconSizes();
// An .ico file holding the program icon at every size, each image stored as PNG.
QByteArray BuildIcoFile(const QList<QImage>& images);

}  // namespace tallyhive::images
