// Starts Quillet: one main window; closing it ends the program.
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
    window.show();
    return app.exec();
}
