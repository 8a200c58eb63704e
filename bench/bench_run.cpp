// Whole runs from file to filled fields, side by side with their floors, in
// one process run (page cache warm, each measured in a freshly forked child
// so that its peak memory is its own):
//   - 100 Mb single record, plain, at window 1000 / step 1000 and window
//     30000 / step 10000: the engine, quillet-map's summary and the window's
//     Run handler beside `cat FILE > /dev/null` (aim: within 1.5 x) and a
//     streaming floor (read in 1 MiB chunks and sum a 256-entry table);
//   - the same file as gzip -6: the same runs beside `igzip -dc > /dev/null`
//     (aim: within 1.2 x);
//   - a generated draft fly assembly (26,454 records, 56 Mb) with the
//     proposed window and step: the engine, quillet-map's summary and the
//     Run handler beside the streaming floor (aim: within 1.5 x), and
//     quillet-map --values beside its summary (aim: within 1.5 x);
//   - many records through the real window's Run handler (offscreen):
//     200,000 generated records of 500 bp (target under 0.5 s) and a
//     transcript-like file of 2,467 records (target under 0.05 s), or the
//     files given on the command line;
//   - peak memory of each beside the file size, and the machine's load.
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
#include <filesystem>
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

void EngineRun(const QString& path, char* note, int32_t windowSize = 0, int32_t step = 0)
{
    const Proposal p = ProposeParameters(FileLength(path).value_or(0));
    RunSettings s;
    s.step = step ? step : ToInt32(QStringView(p.step));
    s.windowSize = windowSize ? windowSize : ToInt32(QStringView(p.window));
    s.keepWindows = false; // a summary, as quillet-map's
    LastRecord sink;
    const RunReport r = RunFile(path, s, sink);
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

// Runs a program with its output to /dev/null and waits for it.
void Spawn(const std::vector<std::string>& args)
{
    const pid_t pid = fork();
    if (pid == 0) {
        const int null = ::open("/dev/null", O_WRONLY);
        dup2(null, STDOUT_FILENO);
        dup2(null, STDERR_FILENO);
        std::vector<char*> argv;
        for (const std::string& a : args)
            argv.push_back(const_cast<char*>(a.c_str()));
        argv.push_back(nullptr);
        execvp(argv[0], argv.data());
        _exit(127);
    }
    int status = 0;
    waitpid(pid, &status, 0);
}

std::string LoadText()
{
    double load[3] = {};
    char text[64];
    std::snprintf(text, sizeof text, "load %.2f", getloadavg(load, 3) > 0 ? load[0] : -1.0);
    return text;
}

// One row of the side-by-side table: the time, its ratio to the limit and
// the aim, the peak memory and the machine's load when it was measured.
void Row(const char* what, const Figure& f, const Figure& limit, const char* limitName, double aim)
{
    std::printf("  %-44s %8.1f ms  %5.2f x %-16s (aim <= %.1f)  peak %6.1f MiB  %s\n", what, f.seconds * 1e3,
                f.seconds / limit.seconds, limitName, aim, f.peakMiB, f.note);
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
    const QString records = dir.filePath(QStringLiteral("draft-fly-26454.fa"));
    std::printf("writing a 100 Mb genome, its gzip -6 form and a draft fly assembly of 26,454 records ...\n");
    if (!WriteFasta(plain, 100'000'000, 80))
        return 1;
    Command(QStringLiteral("gzip"), {QStringLiteral("-6"), QStringLiteral("-c"), plain}, gz);
    if (!WriteRecords(records, DraftFlyRecords(), 60))
        return 1;
    const std::string map = (std::filesystem::canonical("/proc/self/exe").parent_path().parent_path() / "quillet-map");
    const bool haveMap = access(map.c_str(), X_OK) == 0;

    // Warm the page cache for every file.
    for (const QString& f : {plain, gz, records})
        StreamingFloor(f);

    const auto path = [](const QString& f) { return f.toStdString(); };
    const auto measure = [](const std::function<void(char*)>& work) {
        Figure f;
        InChild(work, f);
        std::snprintf(f.note + std::strlen(f.note), sizeof f.note - std::strlen(f.note), "%s%s", f.note[0] ? "; " : "",
                      LoadText().c_str());
        return f;
    };
    const auto spawn = [&](std::vector<std::string> args) { return measure([args](char*) { Spawn(args); }); };

    std::printf("\nside by side, median of %d runs, each in a fresh child (%s at the start):\n", kRepeats,
                LoadText().c_str());
    const Figure cat = spawn({"cat", path(plain)});
    const Figure floor = measure([&](char*) { StreamingFloor(plain); });
    const Figure igzip = spawn({"igzip", "-dc", path(gz)});
    std::printf("  %-44s %8.1f ms  %s\n", "cat FILE > /dev/null (100 Mb plain)", cat.seconds * 1e3, cat.note);
    std::printf("  %-44s %8.1f ms  %s\n", "floor: 1 MiB reads + table sum", floor.seconds * 1e3, floor.note);
    std::printf("  %-44s %8.1f ms  %s\n", "igzip -dc FILE > /dev/null (gzip -6)", igzip.seconds * 1e3, igzip.note);
    for (const auto& [ws, step] : {std::pair{1000, 1000}, std::pair{30000, 10000}}) {
        const std::string w = std::to_string(ws), st = std::to_string(step);
        char what[96];
        std::snprintf(what, sizeof what, "engine, plain, w%d", ws);
        Row(what, measure([&](char* note) { EngineRun(plain, note, ws, step); }), cat, "cat", 1.5);
        if (haveMap) {
            std::snprintf(what, sizeof what, "quillet-map summary, plain, w%d", ws);
            Row(what, spawn({map, "-w", w, "-s", st, path(plain)}), cat, "cat", 1.5);
        }
        std::snprintf(what, sizeof what, "engine, gzip, w%d", ws);
        Row(what, measure([&](char* note) { EngineRun(gz, note, ws, step); }), igzip, "igzip", 1.2);
        if (haveMap) {
            std::snprintf(what, sizeof what, "quillet-map summary, gzip, w%d", ws);
            Row(what, spawn({map, "-w", w, "-s", st, path(gz)}), igzip, "igzip", 1.2);
        }
    }
    const Figure recordsFloor = measure([&](char*) { StreamingFloor(records); });
    const Proposal proposed = ProposeParameters(FileLength(records).value_or(0));
    std::printf("  %-44s %8.1f ms  %s\n", "floor, 26,454 records (draft fly, 56 Mb)", recordsFloor.seconds * 1e3,
                recordsFloor.note);
    std::printf("  (the 26,454 records with the proposed window %s and step %s)\n", qPrintable(proposed.window),
                qPrintable(proposed.step));
    Row("engine, 26,454 records", measure([&](char* note) { EngineRun(records, note); }), recordsFloor, "floor", 1.5);
    if (haveMap) {
        const Figure summary = spawn({map, path(records)});
        Row("quillet-map summary, 26,454 records", summary, recordsFloor, "floor", 1.5);
        const std::string tsv = path(dir.filePath(QStringLiteral("values.tsv")));
        Row("quillet-map --values TSV, 26,454 records", spawn({map, "--values", tsv, path(records)}), summary,
            "summary", 1.5);
    } else {
        std::printf("  (no %s: build the quillet-map target for its rows)\n", map.c_str());
    }

    // The window's own Run handler, on the same files and on many records.
    setenv("QT_QPA_PLATFORM", "offscreen", 0);
    QApplication app(argc, argv);
    NoDialogs platform;
    Quillet window(platform);
    window.show();
    const auto runHandler = [&](const QString& file, const QString& ws, const QString& step) {
        window.Text1->SetText(file);
        window.Text_Step->SetText(step);
        window.Text_WS->SetText(ws);
        ResetPeak();
        Figure f;
        f.idleMiB = ResidentPeakMiB();
        f.seconds = MedianSeconds([&] { window.Command_run_Click(); });
        f.peakMiB = ResidentPeakMiB();
        std::snprintf(f.note, sizeof f.note, "%zu records, shown %s (%s bp)%s; %s",
                      window.records ? window.records->size() : 0, qPrintable(window.Text5->Text()),
                      qPrintable(window.Label6->Caption()), platform.messages.isEmpty() ? "" : " MESSAGE",
                      LoadText().c_str());
        return f;
    };
    std::printf("\nthe window's Run handler (offscreen), median of %d runs:\n", kRepeats);
    for (const char* ws : {"1000", "30000"}) {
        const QString step = QString::fromLatin1(ws) == u"1000" ? QStringLiteral("1000") : QStringLiteral("10000");
        char what[96];
        std::snprintf(what, sizeof what, "Run, plain, w%s", ws);
        Row(what, runHandler(plain, QString::fromLatin1(ws), step), cat, "cat", 1.5);
        std::snprintf(what, sizeof what, "Run, gzip, w%s", ws);
        Row(what, runHandler(gz, QString::fromLatin1(ws), step), igzip, "igzip", 1.2);
    }
    Row("Run, 26,454 records", runHandler(records, proposed.window, proposed.step), recordsFloor, "floor", 1.5);

    QStringList files = QCoreApplication::arguments().mid(1);
    if (files.isEmpty()) {
        const QString many = dir.filePath(QStringLiteral("records-200000x500.fa"));
        WriteRecords(many, 200000, [](std::mt19937&) { return 500; });
        const QString transcripts = dir.filePath(QStringLiteral("transcripts-like-2467.fa"));
        WriteRecords(transcripts, 2467, [](std::mt19937& rng) { return 200 + int(rng() % 1800); });
        files << many << transcripts;
    }
    std::printf("\nmany records, through the window's Run handler (offscreen), median of %d runs:\n", kRepeats);
    for (const QString& file : files) {
        const Proposal p = ProposeParameters(FileLength(file).value_or(0));
        PrintLine(qPrintable(QFileInfo(file).fileName()), runHandler(file, p.window, p.step), MiB(file), "");
    }
    return 0;
}
