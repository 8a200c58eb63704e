// A file manager's part in a drag, for the end-to-end test: a small window
// that starts dragging the file named on the command line as soon as the
// mouse button goes down on it. It prints the drop's outcome and stays a
// few seconds more, since the target fetches the data after the drop.
#include <QApplication>
#include <QDrag>
#include <QLabel>
#include <QMimeData>
#include <QMouseEvent>
#include <QTimer>
#include <QUrl>
#include <cstdio>

namespace {
class DragSource : public QLabel {
public:
    explicit DragSource(const QString& file) : QLabel(QStringLiteral("drag me")), file_(file)
    {
        setWindowTitle(QStringLiteral("drag source"));
        setAlignment(Qt::AlignCenter);
        resize(120, 60);
    }

protected:
    void mousePressEvent(QMouseEvent*) override
    {
        auto* drag = new QDrag(this);
        auto* mime = new QMimeData;
        mime->setUrls({QUrl::fromLocalFile(file_)});
        drag->setMimeData(mime);
        const Qt::DropAction done = drag->exec(Qt::CopyAction);
        std::printf("%s\n", done == Qt::CopyAction ? "copied" : "refused");
        std::fflush(stdout);
        QTimer::singleShot(5000, qApp, [done] { QApplication::exit(done == Qt::CopyAction ? 0 : 1); });
    }

private:
    QString file_;
};
} // namespace

int main(int argc, char** argv)
{
    QApplication app(argc, argv);
    if (argc < 2)
        return 2;
    DragSource source(QString::fromLocal8Bit(argv[1]));
    source.move(0, 0);
    source.show();
    return app.exec();
}
