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
    long flags = 0;
    QString filter;
    QString fileName;
    QString initDir;
    QString title;
};

class PlatformServices {
public:
    virtual ~PlatformServices() = default;
    // Each returns the full path chosen, or nothing when the user cancels.
    virtual std::optional<QString> openFile(QWidget* owner, const FileDialogRequest& request) = 0;
    virtual std::optional<QString> saveFile(QWidget* owner, const FileDialogRequest& request) = 0;
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
    std::optional<QColor> chooseColor(QWidget* owner, const QColor& initial) override;
    void message(QWidget* owner, const QString& title, const QString& text) override;
    bool copyImage(const QImage& image) override;
    bool openUrl(const QUrl& url) override;
};

// Converts a "desc|pattern|desc|pattern" filter to Qt's name filters
// ("fas Files (*.fas)", ...) — the description already names the patterns.
QStringList NameFiltersOf(const QString& filter);

} // namespace quillet
