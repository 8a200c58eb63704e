#pragma once
// The services that block on a person or reach outside the program: file,
// colour and message dialogs, the clipboard and the mail link. The window
// uses QtPlatform; tests script the answers.
#include <QColor>
#include <QImage>
#include <QString>
#include <QUrl>
#include <optional>

class QWidget;

namespace quillet {

// What a file dialog is asked to show. Filter alternates description and
// pattern separated by "|": "fas Files (*.fas)|*.fas|All Files (*.*)|*.*".
struct FileDialogRequest {
    long flags = 0; // the kDialog bits below
    QString filter;
    QString fileName;
    QString initDir;
    QString title;
};

// FileDialogRequest's flags, numbered as the classic common dialog numbers
// them. QtPlatform's dialogs read two: ask before overwriting a file that
// exists, and (opening) only a file that exists. The Explorer-style bit asks
// for the dialog Qt always shows; it is set as the handlers always set it.
constexpr long kDialogOverwritePrompt = 0x2;
constexpr long kDialogFileMustExist = 0x1000;
constexpr long kDialogExplorer = 0x80000;
// Every save dialog (0x80002) and the open dialog (0x81000).
constexpr long kSaveDialogFlags = kDialogExplorer | kDialogOverwritePrompt;
constexpr long kOpenDialogFlags = kDialogExplorer | kDialogFileMustExist;

// A save dialog's answer together with the file type the user chose: the
// index of the chosen description|pattern pair of the request's filter.
struct SaveChoice {
    QString path;
    int filterIndex = 0;
};

class PlatformServices {
public:
    virtual ~PlatformServices() = default;
    // Each returns the full path chosen, or nothing when the user cancels.
    virtual std::optional<QString> openFile(QWidget* owner, const FileDialogRequest& request) = 0;
    virtual std::optional<QString> saveFile(QWidget* owner, const FileDialogRequest& request) = 0;
    // A save dialog that also tells which file type was chosen. The default
    // asks saveFile and takes the first type whose pattern the name matches.
    virtual std::optional<SaveChoice> saveFileOfType(QWidget* owner, const FileDialogRequest& request);
    // The colour chosen, or nothing when the user cancels.
    virtual std::optional<QColor> chooseColor(QWidget* owner, const QColor& initial) = 0;
    // A modal message with one OK button.
    virtual void message(QWidget* owner, const QString& title, const QString& text) = 0;
    // Empties the clipboard and places the picture; false when that failed.
    virtual bool copyImage(const QImage& image) = 0;
    // Asks the desktop to open a link (a mail message for "mailto:").
    virtual bool openUrl(const QUrl& url) = 0;
};

// Qt's own dialogs, clipboard and desktop services.
class QtPlatform : public PlatformServices {
public:
    std::optional<QString> openFile(QWidget* owner, const FileDialogRequest& request) override;
    std::optional<QString> saveFile(QWidget* owner, const FileDialogRequest& request) override;
    std::optional<SaveChoice> saveFileOfType(QWidget* owner, const FileDialogRequest& request) override;
    std::optional<QColor> chooseColor(QWidget* owner, const QColor& initial) override;
    void message(QWidget* owner, const QString& title, const QString& text) override;
    bool copyImage(const QImage& image) override;
    bool openUrl(const QUrl& url) override;
};

// Converts a "desc|pattern|desc|pattern" filter to Qt's name filters
// ("fas Files (*.fas)", ...) — the description already names the patterns.
QStringList NameFiltersOf(const QString& filter);
// Index of the first filter pair whose patterns match the file name of
// `path` (0 when none does).
int FilterIndexOf(const QString& filter, const QString& path);

} // namespace quillet
