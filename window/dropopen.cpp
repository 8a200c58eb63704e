#include "window/dropopen.h"

#include "analysis/annotation.h"
#include "analysis/fileio.h"
#include "analysis/proposal.h"
#include "window/quillet.h"

#include <QDropEvent>
#include <QFileInfo>
#include <QMimeData>
#include <QUrl>

namespace quillet {

void OpenFilePath(Quillet& window, const QString& path)
{
    window.Text1->SetText(path);
    if (path.isEmpty())
        return;
    window.Command_run->setFocus();
    const auto length = FileLength(path);
    if (!length)
        return;
    const Proposal p = ProposeParameters(*length);
    window.Text_Step->SetText(p.step);
    window.Text_WS->SetText(p.window);
}

void OpenDroppedFile(Quillet& window, const QString& path)
{
    if (AnnotationOnly(path))
        window.AddFeatures(path);
    else
        OpenFilePath(window, path);
}

namespace {
// The local file of a "file:" URL. Its path is taken from the URL's bytes,
// so that a name that is no valid UTF-8 ("caf%E9.fa") names its file.
QString LocalFile(const QUrl& url)
{
    if (!url.isLocalFile())
        return {};
    if (!url.host().isEmpty())
        return url.toLocalFile();
    return PathFromNative(QByteArray::fromPercentEncoding(url.path(QUrl::FullyEncoded).toLatin1()));
}
} // namespace

std::optional<QString> DroppedFile(const QMimeData* data)
{
    if (!data || !data->hasUrls() || data->urls().isEmpty())
        return std::nullopt;
    const QString file = LocalFile(data->urls().first());
    if (file.isEmpty())
        return std::nullopt;
    return file;
}

std::optional<QString> CommandLineFile(const QStringList& arguments)
{
    if (arguments.size() < 2 || arguments[1].isEmpty())
        return std::nullopt;
    QString file = arguments[1];
    if (file.startsWith(QStringLiteral("file:"))) {
        file = LocalFile(QUrl(file));
        if (file.isEmpty())
            return std::nullopt;
    }
    return QFileInfo(file).absoluteFilePath();
}

namespace {
// Watches the window and every control on it: a drag that carries a local
// file is taken wherever it is over the window.
class FileDrop : public QObject {
public:
    explicit FileDrop(Quillet& window) : QObject(&window), window_(window) {}

protected:
    bool eventFilter(QObject*, QEvent* event) override
    {
        switch (event->type()) {
        case QEvent::DragEnter:
        case QEvent::DragMove: {
            auto* e = static_cast<QDragMoveEvent*>(event);
            if (!DroppedFile(e->mimeData()))
                return false;
            e->setDropAction(Qt::CopyAction);
            e->accept();
            return true;
        }
        case QEvent::Drop: {
            auto* e = static_cast<QDropEvent*>(event);
            const auto file = DroppedFile(e->mimeData());
            if (!file)
                return false;
            e->setDropAction(Qt::CopyAction);
            e->accept();
            window_.activateWindow();
            OpenDroppedFile(window_, *file);
            return true;
        }
        default: return false;
        }
    }

private:
    Quillet& window_;
};
} // namespace

void InstallFileDrop(Quillet& window)
{
    auto* drop = new FileDrop(window);
    window.setAcceptDrops(true);
    window.installEventFilter(drop);
    for (QWidget* w : window.findChildren<QWidget*>())
        w->installEventFilter(drop);
}

} // namespace quillet
