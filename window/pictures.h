#pragma once
// The pictures built into the program (resources/): window icons and
// button pictures in 16, 32 and 48 pixels (64 and 96 for screens scaled to
// twice the size), and the title banner.
#include <QIcon>
#include <QPixmap>
#include <QString>

// The pictures live in a static library, whose resource table the linker
// would leave out unless something refers to it; this does.
inline int QuilletRegisterPictures()
{
    Q_INIT_RESOURCE(resources);
    return 0;
}

namespace quillet {

inline void EnsurePictures()
{
    static const int registered = ::QuilletRegisterPictures();
    (void)registered;
}

// The icon NAME ("quillet", "open", "copy", "save", "about") with all its
// sizes, so that each place takes the size it shows instead of a scaled one.
inline QIcon PictureIcon(const QString& name)
{
    EnsurePictures();
    QIcon icon;
    for (int side : {16, 32, 48, 64, 96})
        icon.addFile(QStringLiteral(":/icons/%1-%2.png").arg(name).arg(side), QSize(side, side));
    return icon;
}

// The 298 x 46 title banner. It is drawn from the double-resolution image:
// the banner is stretched to the window's scale at start-up, and shrinking
// a sharp image looks better than enlarging the small one.
inline QPixmap BannerPicture()
{
    EnsurePictures();
    QPixmap banner(QStringLiteral(":/pictures/banner@2x.png"));
    banner.setDevicePixelRatio(2.0);
    return banner;
}

} // namespace quillet
