// Save, the exports and Copy when the system says no: targets that cannot
// be written or must not be replaced, a read-only file system, a full disk,
// a file size limit and a clipboard that cannot be taken. The program stays
// up, the map and the results stay as they were, an existing file at the
// target is never damaged, and the user is told why a Save or an export
// failed (never about Copy). Every writer of the window follows one rule
// for what is at its target: a link is replaced, never followed; a
// read-only file is refused.
//
// The file system cases mount small tmpfs instances in a private mount
// namespace of this test (root only); where that is not possible they are
// skipped and say why.
#include "tests/ui/runfixtures.h"
#include "tests/ui/scriptedplatform.h"
#include "window/explorer.h"
#include "window/overview.h"
#include "window/quillet.h"

#include <QDir>
#include <QFile>
#include <QImageReader>
#include <QMenu>
#include <QRegularExpression>
#include <QTemporaryDir>
#include <QtTest>

#include <csignal>
#include <sched.h>
#include <sys/mount.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/sysmacros.h>

using namespace quillet;
using namespace quillet::test;

namespace {
QString SaveFailed(const QString& path, const QString& why)
{
    return QStringLiteral("The map could not be saved to %1: %2.").arg(path, why);
}

void Trigger(Quillet& w, const QString& text)
{
    for (QAction* a : w.MapMenu()->actions())
        if (a->text() == text)
            a->trigger();
}

// Exports to `path` as the user would: Save ("save"), the map's Export
// values and Export picture ("values", "picture"), the explorer's and the
// overview's exports ("explorer", "overview"), each in `format` (the
// path's extension).
void Export(Quillet& w, ScriptedPlatform& p, const QString& kind, const QString& format, const QString& path)
{
    const int filter = format == u"bedgraph" ? 2
                       : format == u"bw"     ? 4
                       : format == u"svg"    ? 3
                       : format == u"pdf"    ? 4
                                             : 0;
    if (kind == u"save")
        p.saveAnswers.push_back(path);
    else
        p.saveOfTypeAnswers.push_back(SaveChoice{path, filter});
    if (kind == u"save") {
        w.Command_save_Click();
    } else if (kind == u"values" || kind == u"picture") {
        Trigger(w, kind == u"values" ? QStringLiteral("Export values\u2026") : QStringLiteral("Export picture\u2026"));
    } else if (kind == u"explorer") {
        w.Explore_Click();
        QVERIFY(w.explorerWindow());
        if (format == u"tsv")
            w.explorerWindow()->exportValues();
        else
            w.explorerWindow()->exportPicture();
    } else {
        w.Overview_Click();
        QVERIFY(w.overviewWindow());
        w.overviewWindow()->exportPicture();
    }
    QVERIFY2(p.saveAnswers.empty() && p.saveOfTypeAnswers.empty(), "the export asked for no file");
}

QByteArray Content(const QString& path)
{
    QFile f(path);
    return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
}

// Everything a failed Save or Copy must leave alone.
struct Snapshot {
    QImage picture;
    QString name, length, average;
    std::vector<float> gc, skew;
    int16_t scroll;

    static Snapshot of(Quillet& w)
    {
        return {w.Picture1->Image(), w.Text5->Text(), w.Label6->Caption(), w.Label4->Caption(),
                w.GCValues,          w.SkewValues,    w.VScroll1->Value()};
    }
    bool operator==(const Snapshot& o) const
    {
        return picture == o.picture && name == o.name && length == o.length && average == o.average && gc == o.gc &&
               skew == o.skew && scroll == o.scroll;
    }
};

// A file size limit for this process while in scope; writes past it fail
// (SIGXFSZ ignored, so they fail with EFBIG instead of ending the process).
class FileSizeLimit {
public:
    explicit FileSizeLimit(rlim_t bytes)
    {
        ::getrlimit(RLIMIT_FSIZE, &saved_);
        oldHandler_ = std::signal(SIGXFSZ, SIG_IGN);
        rlimit limit = saved_;
        limit.rlim_cur = bytes;
        ok_ = ::setrlimit(RLIMIT_FSIZE, &limit) == 0;
    }
    ~FileSizeLimit()
    {
        ::setrlimit(RLIMIT_FSIZE, &saved_);
        std::signal(SIGXFSZ, oldHandler_);
    }
    bool ok() const { return ok_; }

private:
    rlimit saved_{};
    void (*oldHandler_)(int) = nullptr;
    bool ok_ = false;
};
} // namespace

class ExportFaultsTest : public QObject {
    Q_OBJECT

    QTemporaryDir dir;
    QString mountReason; // empty when tmpfs mounts are possible
    QStringList mounts;

    // A tmpfs of `kib` KiB at a fresh folder, holding `existing` as
    // "map.bmp" when given, made read-only afterwards when asked.
    QString mountTmpfs(const QString& name, int kib, const QByteArray& existing, bool readOnly)
    {
        const QString at = dir.filePath(name);
        if (!QDir().mkpath(at))
            return {};
        const QByteArray where = QFile::encodeName(at);
        const QByteArray options = "size=" + QByteArray::number(kib) + "k";
        if (::mount("tmpfs", where.constData(), "tmpfs", 0, options.constData()) != 0)
            return {};
        mounts << at;
        if (!existing.isEmpty()) {
            QFile f(at + QStringLiteral("/map.bmp"));
            if (!f.open(QIODevice::WriteOnly) || f.write(existing) != existing.size())
                return {};
        }
        if (readOnly && ::mount("tmpfs", where.constData(), "tmpfs", MS_REMOUNT | MS_RDONLY, options.constData()) != 0)
            return {};
        return at;
    }

private slots:
    void initTestCase()
    {
        QVERIFY(dir.isValid());
        // A private mount namespace: the tmpfs instances are seen by this
        // test alone and vanish with it, whatever happens.
        if (::geteuid() != 0)
            mountReason = QStringLiteral("mounting a tmpfs needs root");
        else if (::unshare(CLONE_NEWNS) != 0)
            mountReason = QStringLiteral("no private mount namespace: %1").arg(QString::fromLocal8Bit(strerror(errno)));
        else if (::mount("none", "/", nullptr, MS_REC | MS_PRIVATE, nullptr) != 0)
            mountReason =
                QStringLiteral("mounts cannot be made private: %1").arg(QString::fromLocal8Bit(strerror(errno)));
    }

    void cleanupTestCase()
    {
        for (const QString& m : std::as_const(mounts))
            ::umount2(QFile::encodeName(m).constData(), MNT_DETACH);
    }

    void saveFailures_data()
    {
        QTest::addColumn<QString>("kind");
        QTest::addColumn<QString>("why");
        QTest::newRow("folder is a regular file") << "under file"
                                                  << "Not a directory";
        QTest::newRow("target is a folder") << "folder"
                                            << "it is a folder";
        QTest::newRow("name longer than the system allows") << "long name"
                                                            << "File name too long";
        // Saving must never put a file in place of a FIFO or a device (as
        // root, /dev/null itself).
        QTest::newRow("target is a FIFO") << "fifo"
                                          << "it is not a regular file";
        QTest::newRow("target is a device") << "device"
                                            << "it is not a regular file";
        QTest::newRow("read-only file system, new file") << "read-only"
                                                         << "Read-only file system";
        QTest::newRow("read-only file system, existing file") << "read-only existing"
                                                              << "Read-only file system";
        QTest::newRow("disk full, existing file") << "full"
                                                  << "No space left on device";
        QTest::newRow("file size limit") << "size limit"
                                         << "File too large";
    }

    void saveFailures()
    {
        QFETCH(QString, kind);
        QFETCH(QString, why);
        ScriptedPlatform p;
        Quillet w(p);
        w.show();
        w.Text1->SetText(Lambda());
        w.Text_WS->SetText(QStringLiteral("1000"));
        w.Text_Step->SetText(QStringLiteral("500"));
        w.Command_run_Click();
        QVERIFY(p.messages.isEmpty());
        const Snapshot before = Snapshot::of(w);

        // An earlier map that a failed Save must not damage.
        const QByteArray earlier = QByteArray("BM") + QByteArray(20000, 'x');
        QString path;
        if (kind == u"under file") {
            QFile f(dir.filePath(QStringLiteral("plain.txt")));
            QVERIFY(f.open(QIODevice::WriteOnly));
            path = f.fileName() + QStringLiteral("/map.bmp");
        } else if (kind == u"folder") {
            path = dir.filePath(QStringLiteral("a-folder.bmp"));
            QVERIFY(QDir().mkdir(path));
        } else if (kind == u"fifo") {
            path = dir.filePath(QStringLiteral("pipe.bmp"));
            QCOMPARE(::mkfifo(QFile::encodeName(path).constData(), 0600), 0);
        } else if (kind == u"device") {
            // A second name for /dev/null, made in the test's own folder.
            path = dir.filePath(QStringLiteral("null.bmp"));
            if (::mknod(QFile::encodeName(path).constData(), S_IFCHR | 0666, makedev(1, 3)) != 0)
                QSKIP("making a device node needs root");
        } else if (kind == u"long name") {
            path = dir.filePath(QString(300, u'm') + QStringLiteral(".bmp"));
        } else if (kind.startsWith(u"read-only") || kind == u"full") {
            if (!mountReason.isEmpty())
                QSKIP(qPrintable(mountReason));
            const bool existing = kind != u"read-only";
            // The map takes about 850 KB as a bitmap; 64 KiB hold only the
            // earlier file.
            const QString at = mountTmpfs(kind.section(u' ', 0, 0), 64, existing ? earlier : QByteArray(),
                                          kind.startsWith(u"read-only"));
            if (at.isEmpty())
                QSKIP("a tmpfs could not be mounted");
            path = at + QStringLiteral("/map.bmp");
        } else if (kind == u"size limit") {
            path = dir.filePath(QStringLiteral("limited.bmp"));
        }

        p.saveAnswers.push_back(path);
        {
            FileSizeLimit limit(kind == u"size limit" ? 64 * 1024 : RLIM_INFINITY);
            QVERIFY(limit.ok());
            w.Command_save_Click();
        }
        QCOMPARE(p.messages, QStringList{SaveFailed(path, why)});
        QVERIFY2(Snapshot::of(w) == before, "the map and the results must stay as they were");
        QCOMPARE(w.CommonDialog1->CancelError, false);
        QCOMPARE(w.CommonDialog1->Flags, 0L);

        // Whatever was at the target before is still there, unchanged, and
        // no half-written file is left beside it.
        const QFileInfo target(path);
        if (kind.endsWith(u"existing") || kind == u"full") {
            QFile f(path);
            QVERIFY(f.open(QIODevice::ReadOnly));
            QCOMPARE(f.readAll(), earlier);
            QCOMPARE(QDir(target.path()).entryList(QDir::Files | QDir::Hidden), QStringList{QStringLiteral("map.bmp")});
        } else if (kind == u"folder") {
            QVERIFY(target.isDir());
        } else if (kind == u"fifo" || kind == u"device") {
            struct stat st {};
            QCOMPARE(::stat(QFile::encodeName(path).constData(), &st), 0);
            QVERIFY2(kind == u"fifo" ? S_ISFIFO(st.st_mode) : S_ISCHR(st.st_mode), "the target was replaced");
            QVERIFY(QDir(target.path()).entryList({QStringLiteral("*.bmp.*")}, QDir::Files | QDir::Hidden).isEmpty());
        } else if (kind == u"size limit") {
            QVERIFY(QDir(target.path()).entryList({QStringLiteral("limited*")}, QDir::Files | QDir::Hidden).isEmpty());
        } else {
            QVERIFY(!target.exists());
        }

        // Save still works.
        const QString good =
            dir.filePath(QStringLiteral("good-") + QString::fromLatin1(QTest::currentDataTag()).replace(u' ', u'-') +
                         QStringLiteral(".bmp"));
        p.saveAnswers.push_back(good);
        w.Command_save_Click();
        QCOMPARE(p.messages.size(), 1);
        QImageReader reader(good);
        QCOMPARE(reader.format(), QByteArray("bmp"));
        QCOMPARE(reader.read().convertToFormat(QImage::Format_RGB32),
                 w.Picture1->Image().convertToFormat(QImage::Format_RGB32));
    }

    // A bigWig cut short (a full disk, a file size limit) is told with its
    // path and leaves nothing; the earlier file at the target stays.
    void bigWigCutShort_data()
    {
        QTest::addColumn<QString>("kind");
        QTest::addColumn<QString>("why");
        QTest::newRow("size limit") << "size limit"
                                    << "File too large";
        QTest::newRow("disk full") << "full"
                                   << "No space left on device";
    }

    void bigWigCutShort()
    {
        QFETCH(QString, kind);
        QFETCH(QString, why);
        QString folder = dir.filePath(QStringLiteral("bigwig"));
        if (kind == u"full") {
            if (!mountReason.isEmpty())
                QSKIP(qPrintable(mountReason));
            folder = mountTmpfs(QStringLiteral("bw-full"), 8, QByteArray(), false);
            if (folder.isEmpty())
                QSKIP("a tmpfs could not be mounted");
        }
        QVERIFY(QDir().mkpath(folder));
        const QString path = folder + QStringLiteral("/lambda.bw");
        QFile earlier(path);
        QVERIFY(earlier.open(QIODevice::WriteOnly) && earlier.write("earlier") == 7);
        earlier.close();

        ScriptedPlatform p;
        Quillet w(p);
        w.show();
        w.Text1->SetText(Lambda());
        w.Text_WS->SetText(QStringLiteral("100"));
        w.Text_Step->SetText(QStringLiteral("10")); // about 22 KB of bigWig
        w.Command_run_Click();
        QVERIFY(p.messages.isEmpty());
        p.saveOfTypeAnswers = {SaveChoice{path, 4}};
        {
            FileSizeLimit limit(kind == u"size limit" ? 8 * 1024 : RLIM_INFINITY);
            QVERIFY(limit.ok());
            for (QAction* a : w.MapMenu()->actions())
                if (a->text() == QStringLiteral("Export values\u2026"))
                    a->trigger();
        }
        QCOMPARE(p.messages, QStringList{QStringLiteral("The values could not be saved to %1: %2.").arg(path, why)});
        QCOMPARE(QDir(folder).entryList(QDir::Files | QDir::Hidden), QStringList{QStringLiteral("lambda.bw")});
        QVERIFY(earlier.open(QIODevice::ReadOnly));
        QCOMPARE(earlier.readAll(), QByteArray("earlier"));
    }

    // Every writer of the window, whatever is at its target: cut short by
    // a full disk or a file size limit, over a read-only file, over a link
    // to another file and over a dangling link. A failure keeps the earlier
    // file alone in its folder and says why; a link is replaced by the new
    // file and what it pointed to is left as it was (or not made).
    void everyWriterFollowsTheRule_data()
    {
        QTest::addColumn<QString>("writer");
        QTest::addColumn<QString>("fault");
        const char* writers[] = {"save bmp",     "values tsv",   "values bedgraph", "values bw",    "picture png",
                                 "picture svg",  "picture pdf",  "explorer tsv",    "explorer svg", "explorer pdf",
                                 "overview png", "overview svg", "overview pdf"};
        for (const char* writer : writers)
            for (const char* fault : {"disk full", "size limit", "read-only", "link", "dangling link"})
                QTest::addRow("%s, %s", writer, fault) << QString::fromLatin1(writer) << QString::fromLatin1(fault);
    }

    void everyWriterFollowsTheRule()
    {
        QFETCH(QString, writer);
        QFETCH(QString, fault);
        const QString kind = writer.section(u' ', 0, 0), format = writer.section(u' ', 1, 1);
        const QString row = QString::fromLatin1(QTest::currentDataTag()).replace(QRegularExpression("[ ,]+"), "-");
        QString folder = dir.filePath(row);
        if (fault == u"disk full") {
            if (!mountReason.isEmpty())
                QSKIP(qPrintable(mountReason));
            // 8 KiB: the earlier file takes one page, every export more than
            // the other.
            folder = mountTmpfs(row, 8, QByteArray(), false);
            if (folder.isEmpty())
                QSKIP("a tmpfs could not be mounted");
        }
        QVERIFY(QDir().mkpath(folder));
        const QString name = QStringLiteral("out.") + format, path = folder + u'/' + name;
        const QString other = folder + QStringLiteral("/other");
        const QByteArray earlier("earlier");
        const bool link = fault.endsWith(u"link");
        if (link) {
            QVERIFY(QFile::link(fault == u"link" ? QStringLiteral("other") : QStringLiteral("nowhere"), path));
            QFile f(other);
            QVERIFY(fault != u"link" || (f.open(QIODevice::WriteOnly) && f.write("other") == 5));
        } else {
            QFile f(path);
            QVERIFY(f.open(QIODevice::WriteOnly) && f.write(earlier) == earlier.size());
            if (fault == u"read-only")
                QVERIFY(f.setPermissions(QFile::ReadOwner | QFile::ReadGroup | QFile::ReadOther));
        }

        ScriptedPlatform p;
        Quillet w(p);
        w.show();
        w.Text1->SetText(Lambda());
        w.Text_WS->SetText(QStringLiteral("100"));
        w.Text_Step->SetText(QStringLiteral("10"));
        w.Command_run_Click();
        QVERIFY(p.messages.isEmpty());
        {
            FileSizeLimit limit(fault == u"size limit" ? 4096 : RLIM_INFINITY);
            QVERIFY(limit.ok());
            Export(w, p, kind, format, path);
        }

        const QStringList left = QDir(folder).entryList(QDir::Files | QDir::System | QDir::Hidden);
        if (link) {
            QVERIFY2(p.messages.isEmpty(), qPrintable(p.messages.join(u'|')));
            QVERIFY2(!QFileInfo(path).isSymLink() && QFileInfo(path).isFile() && QFileInfo(path).size() > 0,
                     "the link must be replaced by the new file");
            const QStringList expected =
                fault == u"link" ? QStringList{QStringLiteral("other"), name} : QStringList{name};
            QCOMPARE(left, expected);
            QCOMPARE(Content(other), fault == u"link" ? QByteArray("other") : QByteArray());
            return;
        }
        const bool values = kind == u"values" || (kind == u"explorer" && format == u"tsv");
        const QString what = kind == u"save" ? QStringLiteral("The map")
                             : values        ? QStringLiteral("The values")
                                             : QStringLiteral("The picture");
        const QString why = fault == u"disk full"    ? QStringLiteral("No space left on device")
                            : fault == u"size limit" ? QStringLiteral("File too large")
                                                     : QStringLiteral("it is read-only");
        QCOMPARE(p.messages, QStringList{QStringLiteral("%1 could not be saved to %2: %3.").arg(what, path, why)});
        QCOMPARE(Content(path), earlier);
        QCOMPARE(left, QStringList{name});
    }

    void copyWithoutClipboard_data()
    {
        QTest::addColumn<bool>("withResult");
        QTest::newRow("with a map") << true;
        QTest::newRow("before any run") << false;
    }

    void copyWithoutClipboard()
    {
        QFETCH(bool, withResult);
        ScriptedPlatform p;
        Quillet w(p);
        w.show();
        if (withResult) {
            w.Text1->SetText(Lambda());
            w.Command_run_Click();
            QVERIFY(!w.Label6->Caption().isEmpty());
        }
        const Snapshot before = Snapshot::of(w);
        p.clipboardWorks = false;
        w.Command_copy_Click();
        w.Command_copy_Click();
        QVERIFY(p.messages.isEmpty());
        QVERIFY(p.copiedImages.empty());
        QVERIFY2(Snapshot::of(w) == before, "the map and the results must stay as they were");

        // Once the clipboard can be taken again, Copy places the map.
        p.clipboardWorks = true;
        w.Command_copy_Click();
        QCOMPARE(p.copiedImages.size(), size_t(1));
        QCOMPARE(p.copiedImages.front(), w.Picture1->Image());
        QVERIFY(p.messages.isEmpty());
    }
};

QTEST_MAIN(ExportFaultsTest)
#include "tst_exportfaults.moc"
