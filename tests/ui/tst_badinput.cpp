// Bad and odd inputs through the real main window: broken and unusual FASTA
// files (kept under tests/data/badinput), paths that name no readable file,
// parameter texts at and beyond the 32-bit limits, maps from extreme
// parameters, and files of gigabytes. Each case states the message, the
// result fields and the picture it leaves, and every case ends with a good
// run to show the window still works.
#include "maps/syscolors.h"
#include "tests/ui/picturechecks.h"
#include "tests/ui/runfixtures.h"
#include "tests/ui/scriptedplatform.h"
#include "window/quillet.h"

#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <QtTest>

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <fcntl.h>
#include <functional>
#include <mutex>
#include <sys/stat.h>
#include <thread>
#include <unistd.h>

using namespace quillet;
using namespace quillet::test;

namespace {
// What the picture shows after a case.
enum class Picture {
    Blank,   // cleared, nothing drawn
    Drawn,   // something drawn (axes, header, maybe a curve)
    Curve,   // the curve is visible in the plot colour
    NoCurve, // axes and header but no curve
};

QString DataFile(const char* name)
{
    return QStringLiteral(QUILLET_SOURCE_DIR "/tests/data/badinput/") + QLatin1String(name);
}

void CheckPicture(Quillet& w, Picture expected)
{
    const QImage img = w.Picture1->Image().convertToFormat(QImage::Format_RGB32);
    const QRgb curve = ResolveColor(w.Text4->BackColor()).rgb();
    switch (expected) {
    case Picture::Blank: QVERIFY2(IsBlank(img), "the picture should be blank"); break;
    case Picture::Drawn: QVERIFY2(!IsBlank(img), "a map should be drawn"); break;
    case Picture::Curve:
        QVERIFY2(!IsBlank(img), "a map should be drawn");
        QVERIFY2(Contains(img, curve), "the curve should show");
        break;
    case Picture::NoCurve:
        QVERIFY2(!IsBlank(img), "axes and header should be drawn");
        QVERIFY2(!Contains(img, curve), "no curve should show");
        break;
    }
}

// The window still works: a good file runs without a message.
void CheckStillUsable(Quillet& w, ScriptedPlatform& p)
{
    const qsizetype before = p.messages.size();
    w.Text1->SetText(Lambda());
    w.Text_WS->SetText(QStringLiteral("1000"));
    w.Text_Step->SetText(QStringLiteral("500"));
    w.Command_run_Click();
    QCOMPARE(p.messages.size(), before);
    QCOMPARE(w.Label6->Caption(), QStringLiteral("48502"));
    QCOMPARE(w.Label4->Caption(), QStringLiteral("49.9"));
    QCOMPARE(w.MousePointer(), 0);
    CheckPicture(w, Picture::Curve);
}

// High-water mark of this process's resident memory, in bytes; resettable
// on Linux so that each large case measures its own peak.
void ResetPeakMemory()
{
    QFile f(QStringLiteral("/proc/self/clear_refs"));
    if (f.open(QIODevice::WriteOnly))
        f.write("5");
}

qint64 StatusField(const QByteArray& field, const char* file = "/proc/self/status")
{
    QFile f(QString::fromLatin1(file));
    if (!f.open(QIODevice::ReadOnly))
        return -1;
    for (const QByteArray& line : f.readAll().split('\n')) {
        if (line.startsWith(field + ':'))
            return line.mid(field.size() + 1).trimmed().split(' ').first().toLongLong() * 1024;
    }
    return -1;
}

// Runs `action` on this thread; if it has not returned after `seconds`,
// a helper opens `fifo` for writing and writes a record, which releases a
// reader blocked on it. Returns true when the helper had to step in.
bool RunWithFifoWatchdog(const QString& fifo, int seconds, const std::function<void()>& action)
{
    std::mutex m;
    std::condition_variable cv;
    bool done = false;
    std::atomic<bool> rescued{false};
    std::thread watchdog([&] {
        std::unique_lock<std::mutex> lock(m);
        if (cv.wait_for(lock, std::chrono::seconds(seconds), [&] { return done; }))
            return;
        rescued = true;
        const int fd = ::open(QFile::encodeName(fifo).constData(), O_WRONLY | O_NONBLOCK);
        if (fd >= 0) {
            static const char record[] = ">rescued\nGGCC\n";
            [[maybe_unused]] const ssize_t n = ::write(fd, record, sizeof record - 1);
            ::close(fd);
        }
    });
    action();
    {
        std::lock_guard<std::mutex> lock(m);
        done = true;
    }
    cv.notify_one();
    watchdog.join();
    return rescued;
}
} // namespace

class BadInputTest : public QObject {
    Q_OBJECT

    QTemporaryDir dir;

    QString write(const QString& name, const QByteArray& content) { return WriteFile(dir, name, content); }

    // A file of `size` bytes that starts with `head` and is a hole after it
    // (reads as NUL bytes, takes no disk space).
    QString sparse(const QString& name, const QByteArray& head, qint64 size)
    {
        const QString path = write(name, head);
        QFile f(path);
        if (!f.open(QIODevice::ReadWrite) || !f.resize(size))
            qFatal("cannot make the sparse file %s", qPrintable(path));
        return path;
    }

private slots:
    // ---- Broken and unusual FASTA content ----
    void content_data()
    {
        QTest::addColumn<QString>("file");
        QTest::addColumn<QString>("message");
        QTest::addColumn<QString>("name");
        QTest::addColumn<QString>("length");
        QTest::addColumn<QString>("average");
        QTest::addColumn<int>("picture");
        const QString none;
        const auto row = [](const char* tag, const char* file, const QString& message, const QString& name,
                            const char* length, const char* average, Picture picture) {
            QTest::newRow(tag) << DataFile(file) << message << name << QString::fromLatin1(length)
                               << QString::fromLatin1(average) << int(picture);
        };
        // No ">" at all: nothing to analyse, and the message names the file.
        const QString noRecord = QStringLiteral("No FASTA record found in %1.");
        row("empty file", "empty.fa", noRecord, none, "", "", Picture::Blank);
        row("no \">\"", "no_header.fa", noRecord, none, "", "", Picture::Blank);
        // A record that cannot be taken apart: the file stage for the first
        // record, the analysis stage for a later one (after the first
        // record's results were shown).
        row("only \">\"", "only_gt.fa", kFile, none, "", "", Picture::Blank);
        row("header without line feed", "header_without_lf.fa", kFile, none, "", "", Picture::Blank);
        row("\">\" inside the header", "gt_inside_header.fa", kFile, none, "", "", Picture::Blank);
        row("empty header", "empty_header.fa", kFile, none, "", "", Picture::Blank);
        row("header without line feed, second record", "header_without_lf_second.fa", kAnalysis, "first", "10", "80",
            Picture::Curve);
        row("empty header, second record", "empty_header_second.fa", kAnalysis, "first", "10", "80", Picture::Curve);
        // Classic Mac line ends hold no line feed, so the header never ends.
        row("CR-only line endings", "cr_only.fa", kFile, none, "", "", Picture::Blank);
        row("CR-only line endings, second record", "cr_only_second.fa", kAnalysis, "first", "10", "80", Picture::Curve);
        // Nothing left after removing line breaks and spaces.
        row("empty body", "empty_body.fa", kAnalysis, none, "", "", Picture::Blank);
        row("body of blanks and line breaks", "blank_body.fa", kAnalysis, none, "", "", Picture::Blank);
        // Every byte is one character: NUL and bytes above 127 stay in the
        // name (as Latin-1) and count as sequence positions of weight 0.
        row("NUL and high bytes in the header", "nul_high_header.fa", none,
            QString::fromLatin1(QByteArray("s\0q\xe9\xff", 5)), "8", "50", Picture::Curve);
        row("NUL and high bytes in the body", "nul_high_body.fa", none, "seq1", "10", "40", Picture::Curve);
        row("tabs, digits and gaps in the body", "tabs_digits_gaps.fa", none, "seq", "9", "44.4", Picture::Curve);
        // Byte-order marks: a UTF-8 mark before the first ">" is ignored
        // text; a UTF-16 file is read as the text it holds.
        row("UTF-8 byte-order mark", "utf8_bom.fa", none, "seq1", "8", "50", Picture::Curve);
        row("UTF-16LE with byte-order mark", "utf16le_bom.fa", none, "seq1", "8", "50", Picture::Curve);
        row("text before the first record", "text_before_first_record.fa", none, "seq1", "4", "50", Picture::Curve);
        // Random bytes are no text: the file is named with what it holds.
        row("random bytes", "random_bytes.bin",
            QStringLiteral("%1 is not a FASTA file: it holds binary data, not text."), none, "", "", Picture::Blank);
    }

    void content()
    {
        QFETCH(QString, file);
        QFETCH(QString, message);
        QFETCH(QString, name);
        QFETCH(QString, length);
        QFETCH(QString, average);
        QFETCH(int, picture);
        ScriptedPlatform p;
        Quillet w(p);
        w.show();
        // A previous result, which every run clears first.
        CheckStillUsable(w, p);
        if (QTest::currentTestFailed())
            return;

        w.Text1->SetText(file);
        w.Text_WS->SetText(QStringLiteral("2"));
        w.Text_Step->SetText(QStringLiteral("1"));
        w.Command_run_Click();
        if (message.contains(QLatin1String("%1")))
            message = message.arg(file);
        QCOMPARE(p.messages, message.isEmpty() ? QStringList() : QStringList{message});
        QCOMPARE(w.Text5->Text(), name);
        QCOMPARE(w.Label6->Caption(), length);
        QCOMPARE(w.Label4->Caption(), average);
        QCOMPARE(w.MousePointer(), 0);
        CheckPicture(w, Picture(picture));
        if (length.isEmpty() && message.isEmpty())
            QCOMPARE(w.ProgressBar1->Value(), 0.0f);
        CheckStillUsable(w, p);
    }

    // ---- Paths that name no readable regular file ----
    void paths_data()
    {
        QTest::addColumn<QString>("kind");
        QTest::addColumn<QString>("message");
        QTest::addColumn<QString>("length");
        QTest::newRow("folder") << "folder" << kFile << "";
        QTest::newRow("FIFO without a writer") << "fifo" << kFile << "";
        QTest::newRow("file removed after Open") << "vanished" << kFile << "";
        QTest::newRow("endless device") << "/dev/zero" << kFile << "";
        QTest::newRow("regular file that fails to read") << "/proc/self/mem" << kFile << "";
        QTest::newRow("dangling symbolic link") << "dangling" << kFile << "";
        QTest::newRow("symbolic link to a good file") << "link" << QString() << "60";
        QTest::newRow("path with trailing blank") << "blank" << kFile << "";
    }

    void paths()
    {
        QFETCH(QString, kind);
        QFETCH(QString, message);
        QFETCH(QString, length);
        ScriptedPlatform p;
        Quillet w(p);
        w.show();
        QTemporaryDir here;
        QVERIFY(here.isValid());
        const QString good = here.filePath(QStringLiteral("good.fa"));
        {
            QFile f(good);
            QVERIFY(f.open(QIODevice::WriteOnly));
            // 60 bases: the proposed window of 50 and step of 10 fit twice.
            f.write(">seq1\nACGTACGTACGTACGTACGTACGTACGTACGTACGTACGT\nACGTACGTACGTACGTACGT\n");
        }

        QString path = kind;
        if (kind == u"folder") {
            path = here.filePath(QStringLiteral("folder.fa"));
            QVERIFY(QDir().mkdir(path));
        } else if (kind == u"fifo") {
            path = here.filePath(QStringLiteral("pipe.fa"));
            QCOMPARE(::mkfifo(QFile::encodeName(path).constData(), 0600), 0);
        } else if (kind == u"vanished") {
            path = good;
        } else if (kind == u"dangling") {
            path = here.filePath(QStringLiteral("dangling.fa"));
            QVERIFY(QFile::link(here.filePath(QStringLiteral("nowhere.fa")), path));
        } else if (kind == u"link") {
            path = here.filePath(QStringLiteral("link.fa"));
            QVERIFY(QFile::link(good, path));
        } else if (kind == u"blank") {
            path = good + u' ';
        }

        // Open takes whatever the dialog returns; only a regular file gets
        // a proposal (a good small file: step 10, window 50).
        w.Text_Step->SetText(QStringLiteral("7"));
        w.Text_WS->SetText(QStringLiteral("9"));
        p.openAnswers.push_back(path);
        w.Command_open_Click();
        QCOMPARE(w.Text1->Text(), path);
        QVERIFY(p.messages.isEmpty());
        const bool regular = kind == u"vanished" || kind == u"link" || kind == u"/proc/self/mem";
        QCOMPARE(w.Text_Step->Text(), regular ? QStringLiteral("10") : QStringLiteral("7"));
        QCOMPARE(w.Text_WS->Text(), regular ? QStringLiteral("50") : QStringLiteral("9"));
        if (kind == u"vanished")
            QVERIFY(QFile::remove(good));

        const bool rescued = RunWithFifoWatchdog(kind == u"fifo" ? path : QString(), 5, [&] { w.Command_run_Click(); });
        QVERIFY2(!rescued, "the run blocked on the path");
        QCOMPARE(p.messages, message.isEmpty() ? QStringList() : QStringList{message});
        QCOMPARE(w.Label6->Caption(), length);
        QCOMPARE(w.MousePointer(), 0);
        CheckPicture(w, length.isEmpty() ? Picture::Blank : Picture::Curve);
        CheckStillUsable(w, p);
    }

    // ---- Window and step texts at and beyond the 32-bit limits ----
    // The boxes take seven characters, as typed or pasted; longer texts are
    // cut there. Seven characters still reach past 32 bits with an exponent.
    void parameterLimits_data()
    {
        QTest::addColumn<QString>("stepTyped");
        QTest::addColumn<QString>("windowTyped");
        QTest::addColumn<QString>("stepKept");
        QTest::addColumn<QString>("windowKept");
        QTest::addColumn<int>("bases");
        QTest::addColumn<QString>("message");
        QTest::addColumn<bool>("filled");
        QTest::addColumn<int>("picture");
        const QString none;
        const auto row = [](const char* tag, const char* step, const char* window, const char* stepKept,
                            const char* windowKept, int bases, const QString& message, bool filled, Picture picture) {
            QTest::newRow(tag) << QString::fromLatin1(step) << QString::fromLatin1(window)
                               << QString::fromLatin1(stepKept) << QString::fromLatin1(windowKept) << bases << message
                               << filled << int(picture);
        };
        // Typed texts cut to seven characters.
        row("window 2147483647", "1", "2147483647", "1", "2147483", 20, none, true, Picture::NoCurve);
        row("window 2147483648", "1", "2147483648", "1", "2147483", 20, none, true, Picture::NoCurve);
        row("window -2147483649", "1", "-2147483649", "1", "-214748", 20, none, true, Picture::NoCurve);
        row("step 2147483647", "2147483647", "10", "2147483", "10", 20, none, true, Picture::Drawn);
        row("step 2147483648", "2147483648", "10", "2147483", "10", 20, none, true, Picture::Drawn);
        row("step -2147483649", "-2147483649", "10", "-214748", "10", 20, kValidation, false, Picture::Blank);
        // Beyond 32 bits in seven characters: the conversion fails after
        // the file was read.
        row("step 1e30", "1e30", "10", "1e30", "10", 20, kAnalysis, false, Picture::Blank);
        row("window 1e30", "1", "1e30", "1", "1e30", 20, kAnalysis, false, Picture::Blank);
        row("step 2.2e9", "2.2e9", "10", "2.2e9", "10", 20, kAnalysis, false, Picture::Blank);
        row("window 2.2e9", "1", "2.2e9", "1", "2.2e9", 20, kAnalysis, false, Picture::Blank);
        row("window -2.2e9", "1", "-2.2e9", "1", "-2.2e9", 20, kAnalysis, false, Picture::Blank);
        // Within 32 bits: a window of -2e9 yields no window.
        row("window -2e9", "1", "-2e9", "1", "-2e9", 20, none, true, Picture::NoCurve);
        // The window end after the last window: 483,647 + 2,147,000,000 is
        // exactly 2^31 - 1 and fits; one more base passes it. The fitting
        // case computes its window, and then the sequence axis cannot place
        // ticks 10^9 bases apart on a 483 kb sequence: the drawing fails
        // with the fields filled.
        row("next window end at 2^31-1", "2.147e9", "483647", "2.147e9", "483647", 483648, kAnalysis, true,
            Picture::Drawn);
        row("next window end past 2^31-1", "2.147e9", "483648", "2.147e9", "483648", 483648, kAnalysis, false,
            Picture::Blank);
        row("step 2.1e9 on 20 bases", "2.1e9", "5", "2.1e9", "5", 20, kAnalysis, true, Picture::Drawn);
    }

    void parameterLimits()
    {
        QFETCH(QString, stepTyped);
        QFETCH(QString, windowTyped);
        QFETCH(QString, stepKept);
        QFETCH(QString, windowKept);
        QFETCH(int, bases);
        QFETCH(QString, message);
        QFETCH(bool, filled);
        QFETCH(int, picture);
        ScriptedPlatform p;
        Quillet w(p);
        w.show();
        CheckStillUsable(w, p);

        QByteArray content = ">seq1\n";
        const QByteArray pattern = "GGGGGCCCCCAAAAATTTTT";
        content.reserve(bases + bases / 60 + 16);
        for (int i = 0; i < bases; ++i) {
            content.append(pattern[i % pattern.size()]);
            if (i % 60 == 59)
                content.append('\n');
        }
        content.append('\n');
        w.Text1->SetText(write(QStringLiteral("limits.fa"), content));

        // As a user types them, and as a paste would put them.
        for (auto [box, typed, kept] :
             {std::tuple{w.Text_Step, stepTyped, stepKept}, std::tuple{w.Text_WS, windowTyped, windowKept}}) {
            box->clear();
            box->setFocus();
            QTest::keyClicks(box, typed);
            QCOMPARE(box->Text(), kept);
            box->SetText(typed);
            QCOMPARE(box->Text(), kept);
        }
        w.Command_run_Click();
        QCOMPARE(p.messages, message.isEmpty() ? QStringList() : QStringList{message});
        QCOMPARE(!w.Label6->Caption().isEmpty(), filled);
        QCOMPARE(!w.Label4->Caption().isEmpty(), filled);
        if (filled)
            QCOMPARE(w.Label6->Caption(), QString::number(bases));
        QCOMPARE(w.MousePointer(), 0);
        CheckPicture(w, Picture(picture));
        p.messages.clear();
        CheckStillUsable(w, p);
    }

    // ---- Everything one can do with a map from extreme parameters ----
    // Maps whose steps are far wider than the picture, one base long, with
    // a hundred thousand windows, without any window, or that could not be
    // drawn at all: switching the plot, every scroll position, the pointer
    // across the picture, Save and Copy raise nothing and keep the results.
    void extremeMapsStayUsable_data()
    {
        QTest::addColumn<int>("bases");
        QTest::addColumn<QString>("step");
        QTest::addColumn<QString>("window");
        QTest::addColumn<QString>("message");
        QTest::newRow("step far beyond the sequence") << 20 << "2147483"
                                                      << "10" << QString();
        QTest::newRow("one base, one window") << 1 << "1"
                                              << "1" << QString();
        QTest::newRow("window of the whole sequence") << 7 << "3"
                                                      << "7" << QString();
        QTest::newRow("100,000 windows of one base") << 100000 << "1"
                                                     << "1" << QString();
        QTest::newRow("no window") << 20 << "1"
                                   << "0" << QString();
        QTest::newRow("step that rounds to 0") << 20 << "0.4"
                                               << "10" << kAnalysis;
        QTest::newRow("step of 1e-300") << 20 << "1e-300"
                                        << "10" << kAnalysis;
    }

    void extremeMapsStayUsable()
    {
        QFETCH(int, bases);
        QFETCH(QString, step);
        QFETCH(QString, window);
        QFETCH(QString, message);
        ScriptedPlatform p;
        Quillet w(p);
        w.show();
        QVERIFY(QTest::qWaitForWindowExposed(&w));
        QByteArray content = ">extreme\n";
        for (int i = 0; i < bases; ++i)
            content.append("GCAT"[i % 4]);
        content.append('\n');
        w.Text1->SetText(write(QStringLiteral("extreme.fa"), content));
        w.Text_Step->SetText(step);
        w.Text_WS->SetText(window);
        w.Command_run_Click();
        QCOMPARE(p.messages, message.isEmpty() ? QStringList() : QStringList{message});
        p.messages.clear();
        const QString length = w.Label6->Caption();
        QCOMPARE(length, QString::number(bases));

        for (int16_t plot : {1, 0}) {
            w.Combo1->SetListIndex(plot);
            for (int16_t v = w.VScroll1->Min(); v <= w.VScroll1->Max(); ++v)
                w.VScroll1->SetValue(v);
            QWidget* inside = w.Picture1->Inside();
            for (int x = -5; x <= inside->width() + 5; x += 7)
                for (int y : {-5, inside->height() / 3, inside->height() / 2, inside->height() + 5})
                    QTest::mouseMove(inside, QPoint(x, y));
            QTest::mouseMove(inside, inside->rect().center());
            QVERIFY2(!w.Label_move->Caption().isEmpty(), "the readout follows the pointer");
        }
        const QString path = dir.filePath(QStringLiteral("extreme.bmp"));
        p.saveAnswers.push_back(path);
        w.Command_save_Click();
        w.Command_copy_Click();
        QVERIFY(p.messages.isEmpty());
        QVERIFY(QFileInfo(path).size() > 0);
        QCOMPARE(p.copiedImages.size(), size_t(1));
        QCOMPARE(w.Label6->Caption(), length);
        QCOMPARE(w.MousePointer(), 0);
        CheckStillUsable(w, p);
    }

    // ---- Files of gigabytes ----
    // Sparse files cost no disk and little time. A run reads the file in
    // chunks as a stream and never holds it whole, so its memory does not
    // grow with the file (a few megabytes). The check is a loose ceiling
    // all the same: no more than the file once (plus slack for the program
    // and, under AddressSanitizer, its shadow memory); cases are skipped,
    // and say so, where that much memory is not free.
    void largeFiles_data()
    {
        QTest::addColumn<qint64>("size");
        QTest::addColumn<QString>("step");
        QTest::addColumn<QString>("window");
        QTest::addColumn<QString>("message");
        QTest::addColumn<QString>("length");
        QTest::addColumn<QString>("average");
        constexpr qint64 kGiB = qint64(1) << 30;
        // Longer than any 32-bit position: refused, saying which record
        // and where the limit is.
        QTest::newRow("2 GiB + 64 bytes")
            << 2 * kGiB + 64 << "100000"
            << "300000"
            << "%1: record \"big\" is 2,147,483,707 bp: records of 2,147,483,647 bp or more cannot be mapped."
            << ""
            << "";
        // 1.2 GB with a step of 1.1e9: one step mark is reached, and the
        // mark after it would pass 2^31 - 1.
        QTest::newRow("1.2 GB, step mark past 2^31-1") << qint64(1200000000) << "1.1e9"
                                                       << "100" << kAnalysis << ""
                                                       << "";
        // With a step of 2e9 no mark is reached and one window fits: the
        // whole sequence is computed (all NUL bytes: 0 % G+C).
        QTest::newRow("1.2 GB, one window") << qint64(1200000000) << "2e9"
                                            << "100" << QString() << "1199999995"
                                            << "0";
    }

    void largeFiles()
    {
        QFETCH(qint64, size);
        QFETCH(QString, step);
        QFETCH(QString, window);
        QFETCH(QString, message);
        QFETCH(QString, length);
        QFETCH(QString, average);

        const qint64 available = StatusField("MemAvailable", "/proc/meminfo");
        const qint64 needed = size + size / 4 + (qint64(768) << 20);
        if (available < needed)
            QSKIP(qPrintable(
                QStringLiteral("needs %1 MB of free memory, %2 MB available").arg(needed >> 20).arg(available >> 20)));

        ScriptedPlatform p;
        Quillet w(p);
        w.show();
        const QString path = sparse(QStringLiteral("large.fa"), ">big\n", size);
        p.openAnswers.push_back(path);
        w.Command_open_Click();
        QCOMPARE(w.Text_Step->Text(), QStringLiteral("100000"));
        QCOMPARE(w.Text_WS->Text(), QStringLiteral("300000"));

        w.Text_Step->SetText(step);
        w.Text_WS->SetText(window);
        ResetPeakMemory();
        const qint64 before = StatusField("VmRSS");
        w.Command_run_Click();
        const qint64 peak = StatusField("VmHWM");
        QFile::remove(path);

        if (message.contains(QLatin1String("%1")))
            message = message.arg(path);
        QCOMPARE(p.messages, message.isEmpty() ? QStringList() : QStringList{message});
        QCOMPARE(w.Label6->Caption(), length);
        QCOMPARE(w.Label4->Caption(), average);
        QCOMPARE(w.MousePointer(), 0);
        CheckPicture(w, length.isEmpty() ? Picture::Blank : Picture::Drawn);
        if (before > 0 && peak > 0) {
            const qint64 grown = peak - before;
            qInfo("file %lld MB, memory grew by %lld MB during the run", size >> 20, grown >> 20);
            QVERIFY2(grown <= size + size / 8 + (qint64(256) << 20), "the run held more than the file once");
        }
        CheckStillUsable(w, p);
    }
};

QTEST_MAIN(BadInputTest)
#include "tst_badinput.moc"
