// Starts Quillet: one main window; closing it ends the program. A file
// named on the command line ("Open with" on the desktop) is opened as Open
// would open it.
#include "analysis/fileio.h"
#include "analysis/processlocale.h"
#include "quillet/version.h"
#include "window/dropopen.h"
#include "window/platform.h"
#include "window/quillet.h"

#include <QApplication>
#include <algorithm>
#include <cstdio>
#include <cstdlib>

namespace {

QtMessageHandler qtHandler = nullptr;
// Qt's notes about the window system it could not reach, held back while
// the application starts: when no window system can be had, the program's
// own message says it all.
struct StartNote {
    QtMsgType type;
    QByteArray category;
    QString text;
};
QList<StartNote> startNotes;

// Why no window can be opened, in the user's terms.
QString NoWindowSystem()
{
    const QString display = qEnvironmentVariable("DISPLAY");
    const QString wayland = qEnvironmentVariable("WAYLAND_DISPLAY");
    const QString platform = qEnvironmentVariable("QT_QPA_PLATFORM");
    const QString named = platform.isEmpty() ? QString() : QStringLiteral("QT_QPA_PLATFORM is \"%1\"").arg(platform);
    const bool missing = std::any_of(startNotes.cbegin(), startNotes.cend(), [](const StartNote& n) {
        return n.text.startsWith(QLatin1String("Could not find the Qt platform plugin"));
    });
    QString why;
    if (display.isEmpty() && wayland.isEmpty())
        why = QStringLiteral("there is no display (DISPLAY is not set%1)")
                  .arg(named.isEmpty() ? QString() : ", " + named);
    else if (missing && !platform.isEmpty())
        why = QStringLiteral("the window system \"%1\" that QT_QPA_PLATFORM names is not installed").arg(platform);
    else
        why = QStringLiteral("the display \"%1\" does not answer%2")
                  .arg(display.isEmpty() ? wayland : display, named.isEmpty() ? QString() : " (" + named + ")");
    return QStringLiteral("quillet: the window cannot be opened: %1.\n"
                          "Start Quillet on a desktop; quillet-map draws the maps without a display.\n")
        .arg(why);
}

// While the application starts, Qt ends the program by an abort when no
// platform plugin starts (no display, an X server that does not answer, a
// platform that is not installed). That failure ends it with status 1 and
// the message above instead; every other message goes to Qt's handler.
void StartingMessages(QtMsgType type, const QMessageLogContext& context, const QString& text)
{
    const bool platformNote = context.category && QLatin1String(context.category).startsWith(QLatin1String("qt.qpa."));
    if (type == QtFatalMsg && text.contains(QLatin1String("platform plugin"))) {
        std::fputs(qPrintable(NoWindowSystem()), stderr);
        std::fflush(stderr);
        std::_Exit(1);
    }
    if (platformNote && type != QtFatalMsg) {
        startNotes.append({type, context.category, text});
        return;
    }
    qtHandler(type, context, text);
}

} // namespace

int main(int argc, char** argv)
{
    quillet::UseReproducibleHashing();
    quillet::UseUtf8CharacterType();
    qtHandler = qInstallMessageHandler(StartingMessages);
    QApplication app(argc, argv);
    qInstallMessageHandler(qtHandler);
    for (const StartNote& note : std::as_const(startNotes))
        qtHandler(note.type, QMessageLogContext(nullptr, 0, nullptr, note.category.constData()), note.text);
    startNotes.clear();

    QApplication::setApplicationName(QStringLiteral("Quillet"));
    QApplication::setApplicationVersion(QString::fromLatin1(quillet::kVersion));
    QApplication::setDesktopFileName(QString::fromLatin1(quillet::kAppId));
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
