// quillet-map: the window's run, maps and exports from a shell, a script or
// a workflow, with no screen. Each FILE is read by the same engine, stops at
// the same record, and gives the same picture and values bytes as the
// window's Save and Export for the same window, step, plot, position and
// size. Messages name the file and use the window's words.
#include "analysis/fileio.h"
#include "analysis/processlocale.h"
#include "analysis/seqindex.h"
#include "cli/options.h"
#include "cli/outputs.h"
#include "cli/run.h"
#include "quillet/version.h"

#include <QCoreApplication>
#include <QFont>
#include <QGuiApplication>

#include <cstdio>
#include <memory>

namespace quillet::cli {
namespace {

// True while the picture platform starts.
bool startingPlatform = false;

// Qt's own notes about the environment (no runtime folder under env -i, a
// platform that could not start before the offscreen one did) say nothing
// about the maps; everything else passes through.
void FilterQtMessages(QtMsgType type, const QMessageLogContext& context, const QString& text)
{
    if (type == QtWarningMsg && text.startsWith(QLatin1String("QStandardPaths: ")))
        return;
    if (startingPlatform && type != QtFatalMsg && context.category &&
        QLatin1String(context.category).startsWith(QLatin1String("qt.qpa.")))
        return;
    if (type == QtDebugMsg || type == QtInfoMsg)
        return;
    std::fputs(qPrintable(text + u'\n'), stderr);
}

// Pictures need fonts and the palette, so a GUI application, but never a
// screen: without a platform named by the user, the offscreen one. A
// platform the user names is tried first and the offscreen one after it
// (Qt takes the first of a ";" list that starts), so that a platform that
// cannot start, such as xcb without a display, does not end the program;
// Qt's notes about it say nothing about the maps and are left out.
std::unique_ptr<QCoreApplication> MakeApplication(int& argc, char** argv, bool pictures)
{
    qInstallMessageHandler(FilterQtMessages);
    UseUtf8CharacterType();
    if (!pictures)
        return std::make_unique<QCoreApplication>(argc, argv);
    const QByteArray named = qgetenv("QT_QPA_PLATFORM");
    if (named.isEmpty())
        qputenv("QT_QPA_PLATFORM", "offscreen");
    else if (!named.split(';').contains("offscreen"))
        qputenv("QT_QPA_PLATFORM", named + ";offscreen");
    startingPlatform = true;
    auto app = std::make_unique<QGuiApplication>(argc, argv);
    startingPlatform = false;
    // The window's application font, so that text is laid out alike.
    QFont font(QStringLiteral("Arial"));
    font.setPointSizeF(8.25);
    QGuiApplication::setFont(font);
    // PNG and BMP are Qt's own formats; looking through the image plugins
    // (and loading a few of them) only costs time.
    QCoreApplication::setLibraryPaths({});
    return app;
}

// --index: each file's indexes, or a line on why not.
int IndexFiles(const QStringList& files)
{
    int status = 0;
    for (const QString& file : files)
        if (const QString e = quillet::WriteSequenceIndex(file); !e.isEmpty()) {
            Error(e);
            status = 1;
        }
    return status;
}

} // namespace
} // namespace quillet::cli

int main(int argc, char** argv)
{
    using namespace quillet::cli;
    quillet::UseReproducibleHashing();
    // Every argument as the path it may be: a file's name need not be valid
    // text, and it must name the same file again.
    QStringList arguments;
    for (int i = 1; i < argc; ++i)
        arguments << quillet::PathFromNative(QByteArray(argv[i]));
    ParsedCommandLine parsed = ParseCommandLine(arguments);
    if (parsed.recordArgument >= 0 && parsed.options.record) { // argv[0] is the program
        const QByteArray value = QByteArray(argv[parsed.recordArgument + 1]).mid(parsed.recordOffset);
        parsed.options.recordBytes = parsed.recordInRegion ? RegionNameBytes(value) : value;
    }
    if (parsed.action == ParsedCommandLine::Action::Run) {
        if (const QString e = OutputOverInput(parsed.options); !e.isEmpty()) {
            parsed.action = ParsedCommandLine::Action::Usage;
            parsed.error = e;
        }
    }
    switch (parsed.action) {
    case ParsedCommandLine::Action::Usage:
        Error(parsed.error);
        std::fputs("Try 'quillet-map --help' for more information.\n", stderr);
        return 2;
    case ParsedCommandLine::Action::Help:
        Out(HelpText());
        return CloseStandardOutput(QStringLiteral("The help")) ? 0 : 1;
    case ParsedCommandLine::Action::Version:
        Out(QStringLiteral("quillet-map ") + QString::fromLatin1(quillet::kVersion) + u'\n');
        return CloseStandardOutput(QStringLiteral("The version")) ? 0 : 1;
    case ParsedCommandLine::Action::Index: return IndexFiles(parsed.options.files);
    case ParsedCommandLine::Action::Run: break;
    }
    const auto app = MakeApplication(argc, argv,
                                     !parsed.options.picture.isEmpty() || !parsed.options.overview.isEmpty() ||
                                         !parsed.options.tracks.isEmpty() || !parsed.options.circular.isEmpty());
    return Mapper(parsed.options).Run();
}
