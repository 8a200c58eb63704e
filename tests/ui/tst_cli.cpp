// quillet-map against the window: for the same file, window, step, plot,
// scroll position and size, the command line writes the same bytes as the
// window's Save (BMP) and Export (PNG, SVG, PDF, TSV, bedGraph). The window
// runs here on a 1024 x 768 screen, where its map has its design size, the
// command line's default, and on other screens with the picture size given
// to the command line; the command line runs with nothing but PATH in its
// environment, so it needs no display and no platform setting.
#include "tests/ui/runfixtures.h"
#include "tests/ui/scriptedplatform.h"
#include "window/circular.h"
#include "window/explorer.h"
#include "window/overview.h"
#include "window/quillet.h"

#include <QComboBox>
#include <QFile>
#include <QLineEdit>
#include <QProcess>
#include <QRegularExpression>
#include <QSpinBox>
#include <QTemporaryDir>
#include <QtTest>

#include <sys/resource.h>

using namespace quillet;
using namespace quillet::test;

namespace {
const QString kExcerpt = QStringLiteral(QUILLET_SOURCE_DIR "/tests/data/athaliana_excerpt.fa");
const QSizeF kDesignScreen(1024 * 15, 768 * 15);

// AddressSanitizer reserves terabytes of address space: a limit on it
// cannot be tested there.
#if defined(__SANITIZE_ADDRESS__)
constexpr bool kSanitized = true;
#elif defined(__has_feature)
#if __has_feature(address_sanitizer)
constexpr bool kSanitized = true;
#else
constexpr bool kSanitized = false;
#endif
#else
constexpr bool kSanitized = false;
#endif

QByteArray Contents(const QString& path)
{
    QFile f(path);
    return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
}

// The excerpt, gzip-compressed by the system's gzip.
QByteArray WriteFileGzip()
{
    QProcess gzip;
    gzip.start(QStringLiteral("gzip"), {QStringLiteral("-c"), kExcerpt});
    gzip.waitForFinished(30000);
    return gzip.readAllStandardOutput();
}

// A circular GenBank record of 6,000 bases with genes on both strands, an
// rRNA and a gene across its origin, its G-C/G+C turning at 1,500 and 4,500.
QString WriteGenBank(const QString& path)
{
    QByteArray bases;
    for (int i = 0; i < 6000; ++i) {
        const bool leading = i >= 1500 && i < 4500;
        bases += "acgtgcatgcgtacgg"[(i * 7 + i / 13) % 16 < 4 ? (leading ? 2 : 1) : (i * 7 + i / 13) % 16];
    }
    QByteArray text = "LOCUS       PLAS1                   6000 bp    DNA     circular BCT 01-JAN-2020\n"
                      "ACCESSION   PLAS1\nVERSION     PLAS1.1\nFEATURES             Location/Qualifiers\n"
                      "     source          1..6000\n"
                      "     gene            100..1200\n                     /gene=\"repA\"\n"
                      "     gene            complement(2000..2900)\n                     /gene=\"parB\"\n"
                      "     rRNA            3100..3900\n                     /product=\"16S ribosomal RNA\"\n"
                      "     gene            join(5800..6000,1..50)\n                     /gene=\"oriT\"\n"
                      "ORIGIN\n";
    for (int at = 0; at < bases.size(); at += 60) {
        text += QByteArray::number(at + 1).rightJustified(9, ' ');
        for (int b = at; b < std::min<int>(at + 60, int(bases.size())); b += 10)
            text += ' ' + bases.mid(b, 10);
        text += '\n';
    }
    QFile f(path);
    if (!f.open(QIODevice::WriteOnly) || f.write(text + "//\n") < 0)
        return {};
    return path;
}

// A PDF with its times and document identifiers blanked, the only parts
// that differ between two writes of the same drawing: the info dictionary's
// dates, the XMP metadata's dates (elements or attributes) and UUIDs, and
// the trailer's /ID array, whatever the length of its strings.
QByteArray WithoutStamps(QByteArray pdf)
{
    static const QRegularExpression stamps(QStringLiteral(
        "((?:<|\\s)xmp:(?:Create|Modify|Metadata)Date(?:>|=\"))[^<\"]*|D:\\d{14}[^)]*|uuid:[0-9a-fA-F-]+|"
        "/ID\\s*\\[[^\\]]*\\]|<[0-9a-f]{32}>"));
    return QString::fromLatin1(pdf).replace(stamps, QStringLiteral("\\1#")).toLatin1();
}
} // namespace

class CliTest : public QObject {
    Q_OBJECT
    QTemporaryDir dir;
    int count = 0;
    uint64_t addressSpace = 0; // the command line's, when not 0

    // Runs quillet-map with `arguments` in an empty environment; its exit status.
    int Cli(const QStringList& arguments, QByteArray* err = nullptr, QByteArray* out = nullptr)
    {
        QProcess p;
        if (addressSpace) {
            const rlim_t bytes = addressSpace;
            p.setChildProcessModifier([bytes] {
                const rlimit limit{bytes, bytes};
                setrlimit(RLIMIT_AS, &limit);
            });
        }
        QProcessEnvironment env;
        env.insert(QStringLiteral("PATH"), QStringLiteral("/usr/bin:/bin"));
        p.setProcessEnvironment(env);
        p.start(QStringLiteral(QUILLET_MAP), arguments);
        if (!p.waitForFinished(60000))
            return -1;
        if (err)
            *err = p.readAllStandardError();
        if (out)
            *out = p.readAllStandardOutput();
        return p.exitStatus() == QProcess::NormalExit ? p.exitCode() : -1;
    }

    // The window on the excerpt with window 200 and step 100, before Run.
    static void OpenExcerpt(Quillet& w)
    {
        w.show();
        w.Text1->SetText(kExcerpt);
        w.Text_WS->SetText(QStringLiteral("200"));
        w.Text_Step->SetText(QStringLiteral("100"));
    }

    QString Fresh(const QString& suffix) { return dir.filePath(QStringLiteral("f%1.%2").arg(++count).arg(suffix)); }

    // What Export picture writes for the filter `filterIndex`.
    QString WindowPicture(Quillet& w, ScriptedPlatform& p, int filterIndex, const QString& suffix)
    {
        const QString path = Fresh(suffix);
        p.saveOfTypeAnswers.push_back(SaveChoice{path, filterIndex});
        w.ExportPicture_Click();
        return path;
    }

    // The same picture through the command line.
    void CompareWithCli(Quillet& w, ScriptedPlatform& p, const QStringList& options)
    {
        struct Kind {
            int filter; // -1: Save's bitmap
            const char* suffix;
            QStringList extra;
        };
        const Kind kinds[] = {
            {-1, "bmp", {}}, {0, "png", {}}, {1, "png", {"--zoom", "2"}}, {3, "svg", {}}, {4, "pdf", {}}};
        for (const Kind& k : kinds) {
            QString windowPath;
            if (k.filter < 0) {
                windowPath = Fresh(QStringLiteral("bmp"));
                p.saveAnswers.push_back(windowPath);
                w.Command_save_Click();
            } else {
                windowPath = WindowPicture(w, p, k.filter, QString::fromLatin1(k.suffix));
            }
            const QString cliPath = Fresh(QString::fromLatin1(k.suffix));
            SameAsCli(windowPath, cliPath, QStringList{"-w", "200", "-s", "100", "-o", cliPath} + options + k.extra);
            if (QTest::currentTestFailed())
                return;
        }
    }

    // Runs the command line with `arguments` on `file`, which must write
    // the bytes of the window's file (a PDF but for its stamps).
    void SameAsCli(const QString& windowPath, const QString& cliPath, const QStringList& arguments,
                   const QString& file = kExcerpt)
    {
        QByteArray err;
        QCOMPARE(Cli(arguments + QStringList{file}, &err), 0);
        QVERIFY2(err.isEmpty(), err.constData());
        QByteArray a = Contents(windowPath), b = Contents(cliPath);
        QVERIFY2(!a.isEmpty(), qPrintable(windowPath));
        if (windowPath.endsWith(QLatin1String(".pdf"))) {
            a = WithoutStamps(a);
            b = WithoutStamps(b);
        }
        QVERIFY2(a == b, qPrintable(QStringLiteral("%1 differs from the window's %2 (options %3)")
                                        .arg(cliPath, windowPath, arguments.join(u' '))));
    }

private slots:
    void initTestCase()
    {
        // The application font the program itself sets.
        QFont font(QStringLiteral("Arial"));
        font.setPointSizeF(8.25);
        QApplication::setFont(font);
    }

    void picturesAreTheWindowsBytes()
    {
        ScriptedPlatform p;
        Quillet w(p, nullptr, kDesignScreen);
        OpenExcerpt(w);
        w.Command_run_Click();
        QVERIFY(p.messages.isEmpty());
        QCOMPARE(w.Picture1->Image().size(), QSize(701, 309));

        // After the run: the last record, G+C, the middle position.
        CompareWithCli(w, p, {});
        // The band moved by the scroll bar.
        w.VScroll1->SetValue(4);
        CompareWithCli(w, p, {"--shift", "4"});
        // A record chosen in the Records window, with its mostly unknown
        // windows marked (Chr2 has runs of N).
        QVERIFY(w.ShowRecord(1));
        w.MarkUnknown_Click(true);
        CompareWithCli(w, p, {"--record", "Chr2 1..30000", "--mark-unknown"});
        w.MarkUnknown_Click(false);
        // G-C/G+C at both scales.
        w.Combo1->SetListIndex(1);
        CompareWithCli(w, p, {"--record", "Chr2 1..30000", "--plot", "skew"});
        w.VScroll1->SetValue(1);
        CompareWithCli(w, p, {"--record", "Chr2 1..30000", "--plot", "skew", "--scale", "1"});
        QVERIFY(p.messages.isEmpty());
    }

    // On other screens the window scales its map, whose size in twips then
    // has a fraction; the command line draws the map of such a screen from
    // its size in pixels. Zoom 2 is the only one the window writes from
    // that size (the PNG at twice the size).
    void picturesAtOtherScreensAreTheWindowsBytes_data()
    {
        QTest::addColumn<QSize>("screen");
        QTest::addColumn<QString>("size");
        QTest::newRow("1280 x 900") << QSize(1280, 900) << QStringLiteral("877x363");
        QTest::newRow("1920 x 1080") << QSize(1920, 1080) << QStringLiteral("1318x436");
        QTest::newRow("1366 x 768") << QSize(1366, 768) << QStringLiteral("936x309");
        QTest::newRow("800 x 600") << QSize(800, 600) << QStringLiteral("632x278");
    }
    void picturesAtOtherScreensAreTheWindowsBytes()
    {
        QFETCH(QSize, screen);
        QFETCH(QString, size);
        ScriptedPlatform p;
        Quillet w(p, nullptr, QSizeF(screen) * 15);
        OpenExcerpt(w);
        w.Command_run_Click();
        QVERIFY(p.messages.isEmpty());
        QCOMPARE(QStringLiteral("%1x%2").arg(w.Picture1->Image().width()).arg(w.Picture1->Image().height()), size);
        CompareWithCli(w, p, {"--size", size});
        w.Combo1->SetListIndex(1);
        CompareWithCli(w, p, {"--size", size, "--plot", "skew"});
        QVERIFY(p.messages.isEmpty());
    }

    // The overview: the window's export and --overview, at the A4 page
    // (PNG at 1x and 2x, SVG, PDF) and at a size in pixels, with a row
    // limit, a minimum length and each plot.
    void overviewIsTheWindowsBytes()
    {
        ScriptedPlatform p;
        Quillet w(p, nullptr, kDesignScreen);
        OpenExcerpt(w);
        w.Command_run_Click();
        w.Overview_Click();
        OverviewWindow* o = w.overviewWindow();
        QVERIFY(o && o->isVisible());
        o->maxRowsBox()->setValue(4);
        o->minLengthBox()->setValue(2000);
        struct Kind {
            int filter;
            const char* suffix;
            QStringList extra;
        };
        const Kind kinds[] = {{0, "png", {}}, {1, "png", {"--zoom", "2"}}, {3, "svg", {}}, {4, "pdf", {}}};
        // With the marking, the cumulative rows break where the map's curve does.
        for (const auto& [plot, page, mark] :
             {std::tuple{"gc", "a4", false}, std::tuple{"skew", "900x700", false},
              std::tuple{"cumulative", "900x700", false}, std::tuple{"cumulative", "a4", true}}) {
            w.MarkUnknown_Click(mark);
            o->plotBox()->setCurrentIndex(plot == QLatin1String("gc") ? 0 : plot == QLatin1String("skew") ? 1 : 2);
            o->pageBox()->setCurrentIndex(page == QLatin1String("a4") ? 0 : 2);
            o->pageSizeBox()->setText(QString::fromLatin1(page));
            for (const Kind& k : kinds) {
                const QString windowPath = Fresh(QString::fromLatin1(k.suffix)),
                              cliPath = Fresh(QString::fromLatin1(k.suffix));
                p.saveOfTypeAnswers.push_back(SaveChoice{windowPath, k.filter});
                QVERIFY(o->exportPicture());
                SameAsCli(windowPath, cliPath,
                          QStringList{"-w", "200", "-s", "100", "--plot", plot, "--overview", cliPath, "--max-rows",
                                      "4", "--min-length", "2000", "--page", page} +
                              k.extra + (mark ? QStringList{"--mark-unknown"} : QStringList{}));
                if (QTest::currentTestFailed())
                    return;
            }
        }
        QVERIFY(p.messages.isEmpty());
    }

    // The explorer's tracks: its Export picture and --tracks at the
    // canvas's size, for a record whole and a region of it, with and
    // without the features of an annotation file (drawn, labelled as text
    // in SVG and PDF).
    void tracksAreTheExplorersBytes_data()
    {
        QTest::addColumn<QString>("file");
        QTest::addColumn<QString>("features");
        QTest::addColumn<QString>("region");
        QTest::addColumn<QStringList>("options");
        const QString ecoli = QStringLiteral(QUILLET_SOURCE_DIR "/samples/ecoli_k12_mg1655.fna.gz");
        const QString gff3 = QStringLiteral(QUILLET_SOURCE_DIR "/tests/data/ecoli_excerpt.gff3");
        QTest::newRow("last record, whole") << kExcerpt << QString() << QString() << QStringList{};
        QTest::newRow("region of a record by its ID") << kExcerpt << QString() << QStringLiteral("Chr2:1,000-9,000")
                                                      << QStringList{"--region", "Chr2:1,000-9,000"};
        QTest::newRow("E. coli whole, with features") << ecoli << gff3 << QString() << QStringList{"--features", gff3};
        QTest::newRow("E. coli genes, with features")
            << ecoli << gff3 << QStringLiteral("1-6000") << QStringList{"--features", gff3, "--region", "1-6000"};
    }
    void tracksAreTheExplorersBytes()
    {
        QFETCH(QString, file);
        QFETCH(QString, features);
        QFETCH(QString, region);
        QFETCH(QStringList, options);
        ScriptedPlatform p;
        Quillet w(p, nullptr, kDesignScreen);
        w.show();
        w.Text1->SetText(file);
        w.Text_WS->SetText(QStringLiteral("1000"));
        w.Text_Step->SetText(QStringLiteral("1000"));
        w.Command_run_Click();
        QVERIFY(p.messages.isEmpty());
        if (!features.isEmpty())
            QVERIFY(w.AddFeatures(features));
        w.Explore_Click();
        ExplorerWindow* e = w.explorerWindow();
        QVERIFY(e && e->isVisible());
        if (!region.isEmpty())
            QVERIFY(e->applyRegion(region));
        QCOMPARE(e->picture().features.empty(), features.isEmpty());
        const QString size = QStringLiteral("%1x%2").arg(e->canvas()->width()).arg(e->canvas()->height());
        struct Kind {
            int filter;
            const char* suffix;
            QStringList extra;
        };
        const Kind kinds[] = {{0, "png", {}}, {1, "png", {"--zoom", "2"}}, {3, "svg", {}}, {4, "pdf", {}}};
        for (const Kind& k : kinds) {
            const QString windowPath = Fresh(QString::fromLatin1(k.suffix)),
                          cliPath = Fresh(QString::fromLatin1(k.suffix));
            p.saveOfTypeAnswers.push_back(SaveChoice{windowPath, k.filter});
            QVERIFY(e->exportPicture());
            SameAsCli(windowPath, cliPath,
                      QStringList{"-w", "1000", "-s", "1000", "--tracks", cliPath, "--size", size} + options + k.extra,
                      file);
            if (QTest::currentTestFailed())
                return;
            if (k.filter == 3 && region == u"1-6000")
                QVERIFY(Contents(cliPath).contains(">thrL</text>"));
        }
        QVERIFY(p.messages.isEmpty());
    }

    // The circular map: the window's export and --circular, with the
    // features of a GenBank file and without features (the excerpt), at A4
    // (PNG at 1x and 4x, SVG, PDF) and at a size in pixels.
    void circularMapIsTheWindowsBytes()
    {
        const QString genBank = WriteGenBank(dir.filePath(QStringLiteral("plasmid.gbk")));
        QVERIFY(!genBank.isEmpty());
        for (const QString& input : {genBank, kExcerpt}) {
            ScriptedPlatform p;
            Quillet w(p, nullptr, kDesignScreen);
            OpenExcerpt(w);
            w.Text1->SetText(input);
            w.Command_run_Click();
            w.CircularMap_Click();
            CircularWindow* c = w.circularWindow();
            QVERIFY(c && c->isVisible());
            QCOMPARE(c->picture().circles.empty(), false);
            QCOMPARE(c->picture().circles[0].features.empty(), input == kExcerpt);
            if (input == genBank) {
                // Hover over the plus strand's ring at repA (100..1200), and the minus strand's there.
                const CircularLayout l =
                    LayOutCircular(float(c->canvas()->width()) * 15, float(c->canvas()->height()) * 15, c->picture());
                const CircleGeometry& g = l.circles[0];
                const double angle = 2 * 3.14159265358979 * 650 / 6000;
                const auto at = [&](Ring ring) {
                    const float r = (g.inner[int(ring)] + g.outer[int(ring)]) / 2;
                    return c->statusAt(float(g.cx + r * float(std::sin(angle))) / 15,
                                       float(g.cy - r * float(std::cos(angle))) / 15);
                };
                QVERIFY2(at(Ring::Plus).startsWith(QStringLiteral("PLAS1.1, position 6")) &&
                             at(Ring::Plus).contains(QStringLiteral("; gene repA, 100..1,200 (+)")),
                         qPrintable(at(Ring::Plus)));
                QVERIFY2(!at(Ring::Minus).contains(u';'), qPrintable(at(Ring::Minus)));
            }
            c->maxRowsBox()->setValue(5);
            struct Kind {
                int filter;
                const char* suffix;
                QStringList extra;
            };
            const Kind kinds[] = {{0, "png", {}}, {2, "png", {"--zoom", "4"}}, {3, "svg", {}}, {4, "pdf", {}}};
            for (const char* page : {"a4", "700x900"}) {
                c->pageBox()->setCurrentIndex(page == QLatin1String("a4") ? 0 : 2);
                c->pageSizeBox()->setText(QString::fromLatin1(page));
                for (const Kind& k : kinds) {
                    const QString windowPath = Fresh(QString::fromLatin1(k.suffix)),
                                  cliPath = Fresh(QString::fromLatin1(k.suffix));
                    p.saveOfTypeAnswers.push_back(SaveChoice{windowPath, k.filter});
                    QVERIFY(c->exportPicture());
                    SameAsCli(windowPath, cliPath,
                              QStringList{"--circular", cliPath, "--max-rows", "5", "--page", page} + k.extra, input);
                    if (QTest::currentTestFailed())
                        return;
                }
            }
            QVERIFY(p.messages.isEmpty());
        }
    }

    void valuesAreTheWindowsBytes()
    {
        ScriptedPlatform p;
        Quillet w(p, nullptr, kDesignScreen);
        OpenExcerpt(w);
        for (int plot : {0, 1}) {
            w.Combo1->SetListIndex(int16_t(plot));
            w.Command_run_Click();
            QCOMPARE(w.records->size(), std::size_t(7));
            // Filters 1, 3 and 5: TSV, bedGraph and bigWig of all records;
            // with the marking, the windows of mostly unknown bases (Chr2's
            // and Chr4's first 1,000) are gaps in them.
            for (const bool mark : {false, true}) {
                w.MarkUnknown_Click(mark);
                for (const auto& [filter, suffix] :
                     {std::pair{1, "tsv"}, std::pair{3, "bedgraph"}, std::pair{5, "bw"}}) {
                    const QString windowPath = Fresh(QString::fromLatin1(suffix)),
                                  cliPath = Fresh(QString::fromLatin1(suffix));
                    p.saveOfTypeAnswers.push_back(SaveChoice{windowPath, filter});
                    w.ExportValues_Click();
                    QStringList arguments{"-w",       "200",  "-s", "100", "--plot", plot ? "skew" : "gc",
                                          "--values", cliPath};
                    if (mark)
                        arguments << QStringLiteral("--mark-unknown");
                    QCOMPARE(Cli(arguments + QStringList{kExcerpt}), 0);
                    const QByteArray a = Contents(windowPath);
                    QVERIFY(filter == 5 || a.count('\n') > 7 * 40);
                    QCOMPARE(filter != 5 && a.contains("\tNA\t"), mark && filter == 1);
                    QVERIFY2(a == Contents(cliPath), qPrintable(cliPath));
                }
            }
            w.MarkUnknown_Click(false);
        }
        QVERIFY(p.messages.isEmpty());
    }

    // A summary alone keeps no window's values; beside values that keep
    // them it must say the same, also where a run stops or fails.
    // A header's bytes (UTF-8 here) are the bytes of both values tables, and
    // a record shorter than the window fails neither: the window draws its
    // empty map, the command line notes it on standard error.
    void namesAndShortRecordsAsInTheWindow()
    {
        const QString file = WriteFile(dir, QStringLiteral("names.fa"),
                                       ">short r\n" + QByteArray(600, 'C') + "\n>Caf\xC3\xA9 \xC3\x85 x\n" +
                                           QByteArray(1500, 'G') + QByteArray(1500, 'T') + "\n");
        ScriptedPlatform p;
        Quillet w(p, nullptr, kDesignScreen);
        w.show();
        w.Text1->SetText(file);
        w.Text_WS->SetText(QStringLiteral("1000"));
        w.Text_Step->SetText(QStringLiteral("500"));
        w.Command_run_Click();
        QCOMPARE(w.records->size(), std::size_t(2));
        for (const auto& [filter, suffix] : {std::pair{1, "tsv"}, std::pair{3, "bedgraph"}}) {
            const QString windowPath = Fresh(QString::fromLatin1(suffix)), cliPath = Fresh(QString::fromLatin1(suffix));
            p.saveOfTypeAnswers.push_back(SaveChoice{windowPath, filter});
            w.ExportValues_Click();
            QByteArray err;
            QCOMPARE(Cli({"-w", "1000", "-s", "500", "--values", cliPath, file}, &err), 0);
            QVERIFY2(err.contains("short r: 600 bp is shorter than the window (1000 bp): no window"), err.constData());
            const QByteArray a = Contents(windowPath);
            QVERIFY2(a.contains("\nCaf\xC3\xA9\t") || a.contains("\nCaf\xC3\xA9 \xC3\x85 x\t"), a.constData());
            QVERIFY2(a == Contents(cliPath), qPrintable(cliPath));
        }
        QVERIFY(p.messages.isEmpty());
    }

    void summaryIsTheSameWithoutTheWindowsValues_data()
    {
        QTest::addColumn<QStringList>("arguments");
        const QString badinput = QStringLiteral(QUILLET_SOURCE_DIR "/tests/data/badinput/");
        const QString phix = QStringLiteral(QUILLET_SOURCE_DIR "/samples/phix174.fa");
        QTest::newRow("excerpt 200/100") << QStringList{"-w", "200", "-s", "100", kExcerpt};
        QTest::newRow("excerpt 1/1, CRLF") << QStringList{"-w", "1", "-s", "1", kExcerpt, phix};
        QTest::newRow("gaps between windows") << QStringList{"-w", "5000", "-s", "7000", kExcerpt};
        QTest::newRow("window of a whole record") << QStringList{"-w", "5386", "-s", "7", phix};
        QTest::newRow("E. coli, proposed") << QStringList{QUILLET_SOURCE_DIR "/samples/ecoli_k12_mg1655.fna.gz"};
        QTest::newRow("proposed, odd letters")
            << QStringList{kExcerpt, badinput + "tabs_digits_gaps.fa", badinput + "nul_high_body.fa"};
        // Record c (one base) is too short for a map with so large a step.
        const QString stops = WriteFile(dir, QStringLiteral("summarystops.fa"),
                                        ">a\n" + QByteArray(400, 'G') + "\n>c\nA\n>d\n" + QByteArray(400, 'A') + "\n");
        QTest::newRow("a record that cannot be drawn stops the run")
            << QStringList{"-w", "1", "-s", "9999999", phix, stops, kExcerpt};
    }
    void summaryIsTheSameWithoutTheWindowsValues()
    {
        QFETCH(QStringList, arguments);
        QByteArray alone, withValues, errAlone, errWithValues;
        const int status = Cli(arguments, &errAlone, &alone);
        QCOMPARE(Cli(QStringList{"--summary", "--values", Fresh(QStringLiteral("tsv"))} + arguments, &errWithValues,
                     &withValues),
                 status);
        QVERIFY(alone.count('\n') > 1 || status != 0);
        QCOMPARE(alone, withValues);
        QCOMPARE(errAlone, errWithValues);
    }

    void runEndsAsTheWindowsRun()
    {
        // The same file through both: where the window shows a message the
        // command line fails the file with the same words and writes nothing.
        const QString missing = dir.filePath(QStringLiteral("missing.fa"));
        // Record c (one base) is too short for a map with so large a step.
        const QString stops = WriteFile(dir, QStringLiteral("stops.fa"),
                                        ">a\n" + QByteArray(400, 'G') + "\n>b\n" + QByteArray(300, 'C') +
                                            "\n>c\nA\n>d\n" + QByteArray(400, 'A') + "\n");
        struct Case {
            QString file;
            QString window, step;
            uint64_t addressSpace = 0; // for the command line; the window then may give its windows 1 MiB
        };
        // 40 million windows (480 MB) where 384 MiB of address space is all
        // the command line has: it fails to get them as the window refuses.
        const QString big = WriteFile(dir, QStringLiteral("big.fa"), ">big one\n" + QByteArray(40'000'000, 'A') + "\n");
        const uint64_t tight = kSanitized ? 0 : uint64_t{384} << 20;
        // A gzip file cut short, and a ZIP archive.
        QByteArray gz = WriteFileGzip();
        const QString damaged = WriteFile(dir, QStringLiteral("damaged.fa.gz"), gz.left(gz.size() / 2));
        const QString zip = WriteFile(dir, QStringLiteral("archive.fa"), QByteArray("PK\x03\x04 not FASTA"));
        for (const Case& c : {Case{missing, "200", "1"}, Case{kExcerpt, "1e10", "1"}, Case{stops, "1", "9999999"},
                              Case{damaged, "200", "100"}, Case{zip, "200", "100"}, Case{big, "1", "1", tight}}) {
            if (c.file == big && !c.addressSpace)
                continue; // a sanitizer reserves more address space than that
            ScriptedPlatform p;
            Quillet w(p, nullptr, kDesignScreen);
            addressSpace = c.addressSpace;
            if (c.addressSpace)
                w.windowMemoryLimit = 1 << 20;
            w.Text1->SetText(c.file);
            w.Text_WS->SetText(c.window);
            w.Text_Step->SetText(c.step);
            w.Command_run_Click();
            QVERIFY2(p.messages.size() == 1, qPrintable(c.file));
            const QString out = Fresh(QStringLiteral("png"));
            QByteArray err;
            QCOMPARE(Cli({"-w", c.window, "-s", c.step, "-o", out, c.file}, &err), 1);
            addressSpace = 0;
            // Where the window and the command line have different memory
            // caps, the words are the same and the figures are not.
            static const QRegularExpression figures(QStringLiteral("\\d[\\d,.]*( [kMGT]?B| bytes)?"));
            const auto words = [&](QString text) {
                return c.addressSpace ? text.replace(figures, QStringLiteral("#")) : text;
            };
            QVERIFY2(words(QString::fromLocal8Bit(err)).contains(words(p.messages.front())), err.constData());
            QVERIFY2(err.contains(c.file.toLocal8Bit()), err.constData());
            QVERIFY(!QFile::exists(out));
        }
    }
};

QTEST_MAIN(CliTest)
#include "tst_cli.moc"
