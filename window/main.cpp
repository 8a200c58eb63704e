// Starts Quillet: one main window; closing it ends the program. A file
// named on the command line ("Open with" on the desktop) is opened as Open
// would open it.
#include "analysis/processlocale.h"
#include "quillet/version.h"
#include "window/dropopen.h"
#include "window/platform.h"
#include "window/quillet.h"

#include <QApplication>

int main(int argc, char** argv)
{
    quillet::UseUtf8CharacterType();
    QApplication app(argc, argv);
    QApplication::setApplicationName(QStringLiteral("Quillet"));
    QApplication::setApplicationVersion(QString::fromLatin1(quillet::kVersion));
    QApplication::setDesktopFileName(QStringLiteral("quillet"));
    QFont font(QStringLiteral("Arial"));
    font.setPointSizeF(8.25);
    QApplication::setFont(font);

    quillet::QtPlatform platform;
    quillet::Quillet window(platform);
    if (const auto file = quillet::CommandLineFile(QApplication::arguments()))
        quillet::OpenFilePath(window, *file);
    window.show();
    return app.exec();
}
