// Starts Quillet: one main window; closing it ends the program. A file
// named on the command line ("Open with" on the desktop) is opened as Open
// would open it.
#include "analysis/fileio.h"
#include "window/dropopen.h"
#include "window/platform.h"
#include "window/quillet.h"

#include <QApplication>

int main(int argc, char** argv)
{
    QApplication app(argc, argv);
    QApplication::setApplicationName(QStringLiteral("Quillet"));
    QApplication::setApplicationVersion(QStringLiteral("1.2.6"));
    QApplication::setDesktopFileName(QStringLiteral("quillet"));
    QFont font(QStringLiteral("Arial"));
    font.setPointSizeF(8.25);
    QApplication::setFont(font);

    quillet::QtPlatform platform;
    quillet::Quillet window(platform);
    // The arguments Qt leaves, each as the path it may be: Qt's own
    // decoding loses the bytes of a name that is no valid text.
    QStringList arguments;
    for (int i = 0; i < argc; ++i)
        arguments << quillet::PathFromNative(QByteArray(argv[i]));
    if (const auto file = quillet::CommandLineFile(arguments))
        quillet::OpenFilePath(window, *file);
    window.show();
    return app.exec();
}
