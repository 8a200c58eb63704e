// Whole runs from file to filled fields, side by side with their floors, in
// one process run (page cache warm, each measured in a freshly forked child
// so that its peak memory is its own):
//   - 100 Mb single record, plain: the engine against a streaming floor
//     (read in 1 MiB chunks and sum a 256-entry table over the bytes);
//     target within 1.15 x the floor;
//   - the same file gzip-compressed: the engine against `igzip -dc >
//     /dev/null`; target within 1.3 x;
//   - many records through the real window's Run handler (offscreen):
//     200,000 generated records of 500 bp (target under 0.5 s) and a
//     transcript-like file of 2,467 records (target under 0.05 s), or the
//     files given on the command line;
//   - peak memory of each beside the file size.
#include "analysis/engine.h"
#include "analysis/fileio.h"
#include "analysis/numtext.h"
#include "analysis/proposal.h"
#include "bench/benchdata.h"
#include "window/platform.h"
#include "window/quillet.h"

#include <QApplication>
#include <QProcess>
#include <QTemporaryDir>

#include <cstdio>
#include <fcntl.h>
#include <random>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

using namespace quillet;
using namespace quillet::bench;

namespace {

volatile int64_t g_sink = 0;

struct Figure {
    double seconds = 0; // median
    double peakMiB = 0; // peak resident size of the child, MiB
    double idleMiB = 0; // before the work
    char note[96] = {};
};

long MaxRssKiB(int who = RUSAGE_SELF)
{
    rusage usage{};
    getrusage(who, &usage);
    return usage.ru_maxrss;
}

// Runs `work` kRepeats times in a forked child; it may write a note.
bool InChild(const std::function<void(char*)>& work, Figure& f)
{
    int fds[2];
    if (pipe(fds) != 0)
        return false;
    const pid_t pid = fork();
    if (pid == 0) {
        close(fds[0]);
        Figure r;
        r.idleMiB = double(MaxRssKiB()) / 1024.0;
        r.seconds = MedianSeconds([&] { work(r.note); });
        r.peakMiB = double(std::max(MaxRssKiB(), MaxRssKiB(RUSAGE_CHILDREN))) / 1024.0;
        const bool ok = write(fds[1], &r, sizeof r) == ssize_t(sizeof r);
        _exit(ok ? 0 : 1);
    }
    close(fds[1]);
    const bool got = read(fds[0], &f, sizeof f) == ssize_t(sizeof f);
    close(fds[0]);
    int status = 0;
    waitpid(pid, &status, 0);
    return got && WIFEXITED(status) && WEXITSTATUS(status) == 0;
}

// The floor: the bytes read in 1 MiB chunks and summed through a table.
void StreamingFloor(const QString& path)
{
    std::array<int64_t, 256> table{};
    for (int c = 0; c < 256; ++c) {
        const LetterWeight w = WeightOf(static_cast<unsigned char>(c));
        table[std::size_t(c)] = int64_t(w.gc) * (int64_t{1} << 32) + w.skew;
    }
    const int fd = ::open(QFile::encodeName(path).constData(), O_RDONLY);
    std::vector<unsigned char> buffer(1 << 20);
    int64_t sum = 0;
    for (;;) {
        const ssize_t got = ::read(fd, buffer.data(), buffer.size());
        if (got <= 0)
            break;
        for (ssize_t i = 0; i < got; ++i)
            sum += table[buffer[std::size_t(i)]];
    }
    ::close(fd);
    g_sink = sum;
}

// The engine from file to the last record's fields, with the proposed
// parameters, as the window runs it (drawing aside).
struct LastRecord : RunListener {
    RecordInfo last;
    int64_t records = 0;
    bool recordComputed(RecordResult&& r) override
    {
        last = r.info;
        ++records;
        return true;
    }
};

void EngineRun(const QString& path, char* note)
{
    const Proposal p = ProposeParameters(FileLength(path).value_or(0));
    RunSettings s;
    s.step = ToInt32(QStringView(p.step));
    s.windowSize = ToInt32(QStringView(p.window));
    LastRecord sink;
    const RunReport r = RunFastaFile(path, s, sink);
    std::snprintf(note, 96, "%lld records, last %lld bp, G+C %s %%%s", (long long)sink.records,
                  (long long)sink.last.length, qPrintable(FormatSingle(sink.last.AvgGC)),
                  r.end == RunEnd::Finished ? "" : " (FAILED)");
}

void Command(const QString& program, const QStringList& args, const QString& out = QStringLiteral("/dev/null"))
{
    QProcess p;
    p.setStandardOutputFile(out);
    p.start(program, args);
    p.waitForFinished(-1);
}

// Writes `records` records with lengths from `lengthOf`, 60 columns.
void WriteRecords(const QString& path, int records, const std::function<int(std::mt19937&)>& lengthOf)
{
    QFile f(path);
    f.open(QIODevice::WriteOnly);
    std::mt19937 rng(5);
    std::string text;
    for (int r = 0; r < records; ++r) {
        text += ">record" + std::to_string(r) + " generated\n";
        const int n = lengthOf(rng);
        for (int i = 0; i < n; ++i) {
            text += "ACGT"[rng() & 3];
            if (i % 60 == 59 || i == n - 1)
                text += '\n';
        }
        if (text.size() > (1 << 20)) {
            f.write(text.data(), qint64(text.size()));
            text.clear();
        }
    }
    f.write(text.data(), qint64(text.size()));
}

class NoDialogs : public PlatformServices {
public:
    std::optional<QString> openFile(QWidget*, const FileDialogRequest&) override { return std::nullopt; }
    std::optional<QString> saveFile(QWidget*, const FileDialogRequest&) override { return std::nullopt; }
    std::optional<QColor> chooseColor(QWidget*, const QColor&) override { return std::nullopt; }
    void message(QWidget*, const QString&, const QString& text) override { messages << text; }
    bool copyImage(const QImage&) override { return true; }
    bool openUrl(const QUrl&) override { return true; }
    QStringList messages;
};

double ResidentPeakMiB()
{
    QFile status(QStringLiteral("/proc/self/status"));
    if (!status.open(QIODevice::ReadOnly))
        return 0;
    for (const QByteArray& line : status.readAll().split('\n'))
        if (line.startsWith("VmHWM:"))
            return line.mid(6).trimmed().split(' ').value(0).toDouble() / 1024.0;
    return 0;
}

void ResetPeak()
{
    QFile clear(QStringLiteral("/proc/self/clear_refs"));
    if (clear.open(QIODevice::WriteOnly))
        clear.write("5");
}

void PrintLine(const char* what, const Figure& f, double fileMiB, const char* compare)
{
    std::printf("  %-40s %9.1f ms  peak %7.1f MiB (+%.1f over idle) for a %.1f MiB file  %s\n", what, f.seconds * 1e3,
                f.peakMiB, f.peakMiB - f.idleMiB, fileMiB, compare);
    if (f.note[0])
        std::printf("  %-40s %s\n", "", f.note);
}

double MiB(const QString& path)
{
    return double(FileLength(path).value_or(0)) / (1024.0 * 1024.0);
}

} // namespace

int main(int argc, char** argv)
{
    QTemporaryDir dir;
    const QString plain = dir.filePath(QStringLiteral("genome.fa"));
    const QString gz = plain + QStringLiteral(".gz");
    std::printf("writing a 100 Mb genome and its gzip form ...\n");
    if (!WriteFasta(plain, 100'000'000, 80))
        return 1;
    Command(QStringLiteral("gzip"), {QStringLiteral("-c"), plain}, gz);

    // Warm the page cache for both files.
    StreamingFloor(plain);
    StreamingFloor(gz);

    std::printf("\nsingle record, median of %d runs, each kind in a fresh child:\n", kRepeats);
    Figure floor, plainRun, igzip, gzRun;
    InChild([&](char*) { StreamingFloor(plain); }, floor);
    InChild([&](char* note) { EngineRun(plain, note); }, plainRun);
    InChild([&](char*) { Command(QStringLiteral("igzip"), {QStringLiteral("-dc"), gz}); }, igzip);
    InChild([&](char* note) { EngineRun(gz, note); }, gzRun);
    char cmp[96];
    PrintLine("floor: 1 MiB reads + table sum, plain", floor, MiB(plain), "");
    std::snprintf(cmp, sizeof cmp, "%.2f x floor (target <= 1.15)", plainRun.seconds / floor.seconds);
    PrintLine("Quillet engine, plain", plainRun, MiB(plain), cmp);
    PrintLine("igzip -dc > /dev/null", igzip, MiB(gz), "(peak is igzip's own)");
    std::snprintf(cmp, sizeof cmp, "%.2f x igzip (target <= 1.3)", gzRun.seconds / igzip.seconds);
    PrintLine("Quillet engine, gzip", gzRun, MiB(gz), cmp);

    // Many records through the window's own Run handler.
    setenv("QT_QPA_PLATFORM", "offscreen", 0);
    QApplication app(argc, argv);
    NoDialogs platform;
    Quillet window(platform);
    window.show();
    QStringList files;
    for (int i = 1; i < argc; ++i)
        files << QString::fromLocal8Bit(argv[i]);
    if (files.isEmpty()) {
        const QString many = dir.filePath(QStringLiteral("records-200000x500.fa"));
        WriteRecords(many, 200000, [](std::mt19937&) { return 500; });
        const QString transcripts = dir.filePath(QStringLiteral("transcripts-like-2467.fa"));
        WriteRecords(transcripts, 2467, [](std::mt19937& rng) { return 200 + int(rng() % 1800); });
        files << many << transcripts;
    }
    std::printf("\nmany records, through the window's Run handler (offscreen), median of %d runs:\n", kRepeats);
    for (const QString& file : files) {
        window.Text1->SetText(file);
        const Proposal p = ProposeParameters(FileLength(file).value_or(0));
        window.Text_Step->SetText(p.step);
        window.Text_WS->SetText(p.window);
        ResetPeak();
        Figure f;
        f.idleMiB = ResidentPeakMiB();
        f.seconds = MedianSeconds([&] { window.Command_run_Click(); });
        f.peakMiB = ResidentPeakMiB();
        std::snprintf(f.note, sizeof f.note, "%zu records, shown %s (%s bp)%s",
                      window.records ? window.records->size() : 0, qPrintable(window.Text5->Text()),
                      qPrintable(window.Label6->Caption()), platform.messages.isEmpty() ? "" : " MESSAGE");
        PrintLine(qPrintable(QFileInfo(file).fileName()), f, MiB(file), "");
    }
    return 0;
}
