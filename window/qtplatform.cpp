#include "window/platform.h"

#include <QClipboard>
#include <QColorDialog>
#include <QDesktopServices>
#include <QDir>
#include <QFileDialog>
#include <QFileInfo>
#include <QGuiApplication>
#include <QMessageBox>
#include <QMimeData>

namespace quillet {

QStringList NameFiltersOf(const QString& filter)
{
    const QStringList parts = filter.split(u'|');
    QStringList out;
    for (qsizetype i = 0; i + 1 < parts.size(); i += 2) {
        const QString desc = parts[i];
        const QString patterns = parts[i + 1];
        // Qt reads the patterns from the parentheses; add them when the
        // description does not already show them.
        out << (desc.contains(u'(') ? desc
                                    : desc + QStringLiteral(" (") + QString(patterns).replace(u';', u' ') + u')');
    }
    return out;
}

int FilterIndexOf(const QString& filter, const QString& path)
{
    const QStringList parts = filter.split(u'|');
    const QString name = QFileInfo(path).fileName();
    for (qsizetype i = 0; i + 1 < parts.size(); i += 2)
        for (const QString& pattern : parts[i + 1].split(u';', Qt::SkipEmptyParts))
            if (QDir::match(pattern.trimmed(), name))
                return int(i / 2);
    return 0;
}

std::optional<SaveChoice> PlatformServices::saveFileOfType(QWidget* owner, const FileDialogRequest& request)
{
    const std::optional<QString> path = saveFile(owner, request);
    if (!path)
        return std::nullopt;
    return SaveChoice{*path, FilterIndexOf(request.filter, *path)};
}

namespace {

std::optional<SaveChoice> runFileDialog(QWidget* owner, const FileDialogRequest& r, bool save)
{
    QFileDialog dlg(owner, r.title);
    dlg.setAcceptMode(save ? QFileDialog::AcceptSave : QFileDialog::AcceptOpen);
    dlg.setFileMode(save ? QFileDialog::AnyFile
                         : (r.flags & kDialogFileMustExist ? QFileDialog::ExistingFile : QFileDialog::AnyFile));
    dlg.setOption(QFileDialog::DontConfirmOverwrite, save && !(r.flags & kDialogOverwritePrompt));
    dlg.setNameFilters(NameFiltersOf(r.filter));
    // Open where the program's data folder is, or in the user's home folder
    // when that folder does not exist.
    dlg.setDirectory(QDir(r.initDir).exists() ? r.initDir : QDir::homePath());
    if (!r.fileName.isEmpty())
        dlg.selectFile(r.fileName);
    if (dlg.exec() != QDialog::Accepted || dlg.selectedFiles().isEmpty())
        return std::nullopt;
    return SaveChoice{dlg.selectedFiles().constFirst(),
                      int(std::max<qsizetype>(0, dlg.nameFilters().indexOf(dlg.selectedNameFilter())))};
}

} // namespace

std::optional<QString> QtPlatform::openFile(QWidget* owner, const FileDialogRequest& request)
{
    const auto choice = runFileDialog(owner, request, false);
    return choice ? std::optional<QString>(choice->path) : std::nullopt;
}

std::optional<QString> QtPlatform::saveFile(QWidget* owner, const FileDialogRequest& request)
{
    const auto choice = runFileDialog(owner, request, true);
    return choice ? std::optional<QString>(choice->path) : std::nullopt;
}

std::optional<SaveChoice> QtPlatform::saveFileOfType(QWidget* owner, const FileDialogRequest& request)
{
    return runFileDialog(owner, request, true);
}

std::optional<QColor> QtPlatform::chooseColor(QWidget* owner, const QColor& initial)
{
    const QColor c = QColorDialog::getColor(initial, owner);
    if (!c.isValid())
        return std::nullopt;
    return c;
}

void QtPlatform::message(QWidget* owner, const QString& title, const QString& text)
{
    QMessageBox box(QMessageBox::NoIcon, title, text, QMessageBox::Ok, owner);
    box.exec();
}

bool QtPlatform::copyImage(const QImage& image)
{
    QClipboard* cb = QGuiApplication::clipboard();
    if (!cb)
        return false;
    cb->clear();
    cb->setImage(image);
    return true;
}

bool QtPlatform::openUrl(const QUrl& url)
{
    return QDesktopServices::openUrl(url);
}

} // namespace quillet
