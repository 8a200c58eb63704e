#include "analysis/seqindex.h"

#include "analysis/fileio.h"
#include "analysis/input.h"
#include "analysis/outputfile.h"

#include <QFile>
#include <QFileInfo>
#include <algorithm>
#include <array>
#include <charconv>
#include <cstring>
#include <memory>

namespace quillet {

namespace {

// The C locale's classes, which samtools counts by: a base is any visible
// character, a name ends at white space.
bool IsGraph(unsigned char c)
{
    return c > 0x20 && c < 0x7f;
}
bool IsSpace(unsigned char c)
{
    return c == ' ' || (c >= '\t' && c <= '\r');
}

void PutLittle64(std::string& out, uint64_t v)
{
    for (int i = 0; i < 8; ++i)
        out.push_back(char((v >> (8 * i)) & 0xff));
}

} // namespace

void FaiBuilder::feed(const char* data, std::size_t size)
{
    for (std::size_t i = 0; i < size && !failed_; ++i, ++position_)
        if (!step(static_cast<unsigned char>(data[i])))
            return;
}

bool FaiBuilder::fail(const QString& why)
{
    failed_ = true;
    why_ = why;
    return false;
}

void FaiBuilder::startName()
{
    // The record before is kept once a sequence line of it was seen; one of
    // a name already kept is dropped, as samtools drops it.
    if (readDone_) {
        const auto at = std::lower_bound(seen_.begin(), seen_.end(), current_.name);
        if (at == seen_.end() || *at != current_.name) {
            seen_.insert(at, current_.name);
            records_.push_back(current_);
        }
        readDone_ = false;
    }
    current_ = FaiRecord{};
    state_ = State::Name;
}

void FaiBuilder::startSequence()
{
    current_.offset = position_ + 1;
    ++line_;
    state_ = State::LineStart;
}

bool FaiBuilder::endLine()
{
    ++lineLength_; // its line feed
    current_.length += lineGraphs_;
    state_ = State::LineStart;
    if (current_.lineBytes == 0) {
        current_.lineBytes = lineLength_;
        current_.lineBases = lineGraphs_;
    } else if (lineLength_ < current_.lineBytes) {
        state_ = State::OutRead; // the record's last line: a header or a blank line must follow
    } else if (lineLength_ > current_.lineBytes) {
        return fail(QStringLiteral("line %1 is longer than the first line of record %2, so its lines cannot be indexed")
                        .arg(line_)
                        .arg(QString::fromStdString(current_.name)));
    }
    ++line_;
    return true;
}

bool FaiBuilder::step(unsigned char c)
{
    switch (state_) {
    case State::OutRead:
        if (c == '>')
            state_ = State::NameStart;
        else if (c == '\r')
            state_ = State::CarriageReturn;
        else if (c == '\n')
            ++line_;
        else if (c == '@')
            return fail(QStringLiteral("it holds FASTQ reads, not FASTA records"));
        else
            return fail(QStringLiteral("line %1 is neither a header nor part of a record's sequence (after a "
                                       "shorter line, a blank line or before the first header)")
                            .arg(line_));
        return true;
    case State::CarriageReturn:
        if (c != '\n')
            return fail(QStringLiteral("line %1 has a carriage return without a line feed").arg(line_));
        ++line_;
        state_ = State::OutRead;
        return true;
    case State::NameStart: startName(); [[fallthrough]];
    case State::Name:
        if (!IsSpace(c))
            current_.name.push_back(char(c));
        else if (c == '\n')
            startSequence();
        else if (!current_.name.empty())
            state_ = State::RestOfHeader;
        return true;
    case State::RestOfHeader:
        if (c == '\n')
            startSequence();
        return true;
    case State::LineStart:
        if (c == '\n') {
            ++line_;
            state_ = State::OutRead;
            return true;
        }
        if (c == '>') {
            state_ = State::NameStart;
            return true;
        }
        readDone_ = true;
        lineLength_ = lineGraphs_ = 0;
        state_ = State::InLine;
        [[fallthrough]];
    case State::InLine:
        if (c == '\n')
            return endLine();
        ++lineLength_;
        lineGraphs_ += IsGraph(c);
        return true;
    }
    return true;
}

std::optional<std::vector<FaiRecord>> FaiBuilder::finish()
{
    if (failed_)
        return std::nullopt;
    if (state_ == State::InLine && !endLine())
        return std::nullopt;
    if (state_ == State::CarriageReturn)
        return fail(QStringLiteral("it ends in a carriage return without a line feed")), std::nullopt;
    const bool inHeader = state_ == State::Name || state_ == State::RestOfHeader;
    if (!readDone_ || inHeader) {
        if (records_.empty() && current_.name.empty() && !inHeader)
            fail(QStringLiteral("it holds no FASTA record"));
        else
            fail(QStringLiteral("its last record, %1, has no sequence").arg(QString::fromStdString(current_.name)));
        return std::nullopt;
    }
    startName();
    return std::move(records_);
}

std::string FaiText(const std::vector<FaiRecord>& records)
{
    std::string text;
    for (const FaiRecord& r : records)
        text += r.name + '\t' + std::to_string(r.length) + '\t' + std::to_string(r.offset) + '\t' +
                std::to_string(r.lineBases) + '\t' + std::to_string(r.lineBytes) + '\n';
    return text;
}

std::string GziBytes(const std::vector<BgzfBlock>& blocks)
{
    // The first block starts at 0 in both, and a block without content
    // (the end-of-file block, or the end of each joined file) holds nothing
    // to seek to: samtools lists neither.
    std::vector<BgzfBlock> kept;
    for (const BgzfBlock& b : blocks)
        if (b.compressed > 0 && b.bytes > 0)
            kept.push_back(b);
    std::string out;
    PutLittle64(out, kept.size());
    for (const BgzfBlock& b : kept) {
        PutLittle64(out, b.compressed);
        PutLittle64(out, b.content);
    }
    return out;
}

namespace {

QString Save(const QString& path, const std::string& bytes)
{
    OutputFile out(path, OutputFile::Durability::Unsynced);
    if (!out.open(QIODevice::WriteOnly) || out.write(bytes.data(), qint64(bytes.size())) != qint64(bytes.size()) ||
        !out.commit())
        return QStringLiteral("The index could not be saved to %1: %2").arg(path, out.error());
    return {};
}

} // namespace

QString WriteSequenceIndex(const QString& path)
{
    const auto refuse = [&](const QString& why) { return QStringLiteral("%1 cannot be indexed: %2.").arg(path, why); };
    std::unique_ptr<InputStream> input;
    try {
        input = OpenInput(path);
    } catch (const InputError& e) {
        return QStringLiteral("%1 %2.").arg(path, QString::fromLocal8Bit(e.what()));
    }
    if (input->compression() != Compression::None && input->compression() != Compression::Gzip)
        return refuse(QStringLiteral("it is compressed with %1; only plain and bgzip files are indexed")
                          .arg(QLatin1String(CompressionName(input->compression()))));
    QFile raw(path);
    if (!raw.open(QIODevice::ReadOnly))
        return QStringLiteral("%1 cannot be read: %2.").arg(path, raw.errorString());
    const qint64 size = raw.size();
    const uchar* mapped = size > 0 ? raw.map(0, size) : nullptr;
    if (size > 0 && !mapped)
        return QStringLiteral("%1 cannot be read: %2.").arg(path, raw.errorString());
    const char* bytes = reinterpret_cast<const char*>(mapped);

    FaiBuilder builder;
    std::optional<std::vector<BgzfBlock>> blocks;
    if (input->compression() == Compression::Gzip) {
        QString why;
        if (!(blocks = BgzfBlocks(bytes, std::size_t(size), why)))
            return refuse(why + QStringLiteral("; recompress it with bgzip"));
        std::array<char, 1 << 16> buffer;
        try {
            while (const std::size_t n = input->read(buffer.data(), buffer.size()))
                builder.feed(buffer.data(), n);
        } catch (const InputError& e) {
            return refuse(QString::fromLocal8Bit(e.what()));
        }
    } else {
        // The bytes as they are on disk: a .fai counts offsets in them.
        builder.feed(bytes, std::size_t(size));
    }
    const auto records = builder.finish();
    if (!records)
        return refuse(builder.why());
    if (QString e = Save(path + QStringLiteral(".fai"), FaiText(*records)); !e.isEmpty())
        return e;
    if (blocks)
        return Save(path + QStringLiteral(".gzi"), GziBytes(*blocks));
    return {};
}

uint64_t SequenceBytes(const FaiRecord& r)
{
    if (r.lineBases == 0)
        return 0;
    return r.length / r.lineBases * r.lineBytes + r.length % r.lineBases;
}

std::optional<std::vector<FaiRecord>> ParseFai(const std::string& text, QString& why)
{
    std::vector<FaiRecord> records;
    std::size_t line = 0;
    for (std::size_t at = 0; at < text.size();) {
        ++line;
        const std::size_t end = std::min(text.find('\n', at), text.size());
        const std::string_view row(text.data() + at, end - at);
        at = end + 1;
        FaiRecord r;
        std::size_t field = 0;
        uint64_t* numbers[] = {&r.length, &r.offset, &r.lineBases, &r.lineBytes};
        bool ok = true;
        for (std::size_t from = 0; ok && from <= row.size(); ++field) {
            const std::size_t tab = std::min(row.find('\t', from), row.size());
            const std::string_view cell = row.substr(from, tab - from);
            if (field == 0) {
                r.name = std::string(cell);
                ok = !cell.empty();
            } else if (field <= 4) {
                const auto [p, ec] = std::from_chars(cell.data(), cell.data() + cell.size(), *numbers[field - 1]);
                ok = ec == std::errc{} && p == cell.data() + cell.size() && !cell.empty();
            }
            from = tab + 1;
        }
        // Five fields (a FASTQ index has six); bases fit in their line.
        if (!ok || field != 5 || r.lineBases > r.lineBytes || (r.lineBases == 0 && r.length > 0)) {
            why = QStringLiteral("line %1 is no index line").arg(line);
            return std::nullopt;
        }
        records.push_back(std::move(r));
    }
    return records;
}

namespace {

// A file's content from its indexes: the blocks of a bgzip file (none for
// a plain one) and where each starts.
class IndexedContent {
public:
    IndexedContent(QString path, uint64_t size) : path_(std::move(path)), size_(size) {}
    uint64_t size() const { return size_; }
    // Content bytes from .. to; nothing when they cannot be read. (A
    // bgzip stream skips by its blocks.)
    std::optional<std::string> read(uint64_t from, uint64_t to) const
    {
        try {
            auto input = OpenInput(path_);
            if (!input->skip(from))
                return std::nullopt;
            std::string bytes(to - from, '\0');
            std::size_t filled = 0;
            while (filled < bytes.size())
                if (const std::size_t got = input->read(bytes.data() + filled, bytes.size() - filled))
                    filled += got;
                else
                    return std::nullopt;
            return bytes;
        } catch (const InputError&) {
            return std::nullopt;
        }
    }

private:
    QString path_;
    uint64_t size_;
};

// The file's content through its .gzi, which must name exactly the file's
// blocks, or plain; nothing with `why` otherwise.
std::optional<IndexedContent> OpenIndexedContent(const QString& path, QString& why)
{
    QFile raw(path);
    if (!raw.open(QIODevice::ReadOnly)) {
        why = QStringLiteral("%1 cannot be read").arg(path);
        return std::nullopt;
    }
    const Compression compression = CompressionOfBytes(raw.peek(16).toStdString());
    if (compression == Compression::None)
        return IndexedContent(path, uint64_t(raw.size()));
    const QString gzi = path + QStringLiteral(".gzi");
    if (compression != Compression::Gzip) {
        why = QStringLiteral("%1 is compressed with %2, which cannot be read from the middle")
                  .arg(path, QLatin1String(CompressionName(compression)));
        return std::nullopt;
    }
    auto blocks = ScanBgzf(raw.handle(), uint64_t(raw.size()), &why);
    if (!blocks) {
        why = QStringLiteral("%1 cannot be read by its index: %2").arg(path, why);
        return std::nullopt;
    }
    const std::optional<std::string> stored = ReadWholeFile(gzi);
    if (!stored || *stored != GziBytes(*blocks)) {
        why = stored ? QStringLiteral("%1 names other blocks than %2 has").arg(gzi, path)
                     : QStringLiteral("%1 is missing or cannot be read").arg(gzi);
        return std::nullopt;
    }
    uint64_t size = 0;
    for (const BgzfBlock& b : *blocks)
        size += b.bytes;
    return IndexedContent(path, size);
}

// Whether the records lie in order, apart, within `size` content bytes.
bool RecordsFit(const std::vector<FaiRecord>& records, uint64_t size)
{
    uint64_t end = 0;
    for (const FaiRecord& r : records) {
        if (r.offset < end || r.offset > size || SequenceBytes(r) > size - r.offset)
            return false;
        end = r.offset + SequenceBytes(r);
    }
    return true;
}

// The longest header line looked for before a record's first base.
constexpr uint64_t kHeaderReach = 1 << 16;

// Where the header line ending right before `offset` starts, when it is
// the header of a record whose ID is `id` (after ">" and any blanks, up to
// white space, as the .fai's name was taken).
std::optional<uint64_t> HeaderBefore(const IndexedContent& content, uint64_t floor, uint64_t offset,
                                     const std::string& id, std::string& header)
{
    const uint64_t from = std::max(floor, offset > kHeaderReach ? offset - kHeaderReach : 0);
    const auto bytes = offset > from ? content.read(from, offset) : std::nullopt;
    if (!bytes || bytes->back() != '\n')
        return std::nullopt;
    const std::size_t last = bytes->size() - 1; // the header's line feed
    const std::size_t previous = last == 0 ? std::string::npos : bytes->rfind('\n', last - 1);
    if (previous == std::string::npos && from != 0 && from != floor)
        return std::nullopt; // a header longer than the reach
    const std::size_t start = previous == std::string::npos ? 0 : previous + 1;
    if ((*bytes)[start] != '>')
        return std::nullopt;
    std::size_t name = start + 1;
    while (name < bytes->size() && IsSpace((unsigned char)(*bytes)[name]) && (*bytes)[name] != '\n')
        ++name;
    std::size_t end = name;
    while (end < bytes->size() && !IsSpace((unsigned char)(*bytes)[end]))
        ++end;
    if (bytes->compare(name, end - name, id) != 0)
        return std::nullopt;
    header = bytes->substr(start + 1, last - start - 1);
    if (!header.empty() && header.back() == '\r')
        header.pop_back();
    return from + start;
}

} // namespace

namespace {

// The record of the .fai that `pick` chooses, checked against the file.
template <typename Pick>
std::optional<IndexedRecord> FindThroughFai(const QString& path, QString& refusal, Pick pick)
{
    const QString fai = path + QStringLiteral(".fai");
    const QFileInfo faiInfo(fai);
    if (!faiInfo.exists())
        return std::nullopt;
    const auto refuse = [&](const QString& why) {
        refusal = why;
        return std::nullopt;
    };
    if (faiInfo.lastModified() < QFileInfo(path).lastModified())
        return refuse(QStringLiteral("%1 is older than %2").arg(fai, path));
    const std::optional<std::string> text = ReadWholeFile(fai);
    if (!text)
        return refuse(QStringLiteral("%1 cannot be read").arg(fai));
    QString why;
    const auto records = ParseFai(*text, why);
    if (!records)
        return refuse(QStringLiteral("%1: %2").arg(fai, why));
    const auto content = OpenIndexedContent(path, why);
    if (!content)
        return refuse(why);
    if (!RecordsFit(*records, content->size()))
        return refuse(QStringLiteral("%1 places records where %2 has none").arg(fai, path));
    const auto r = pick(*records);
    if (r == records->end())
        return std::nullopt;
    const uint64_t floor = r == records->begin() ? 0 : std::prev(r)->offset + SequenceBytes(*std::prev(r));
    IndexedRecord found;
    const auto header = HeaderBefore(*content, floor, r->offset, r->name, found.header);
    if (!header)
        return refuse(QStringLiteral("%1 places record %2 where %3 has no header of it")
                          .arg(fai, QString::fromStdString(r->name), path));
    found.headerOffset = *header;
    found.fai = *r;
    return found;
}

} // namespace

std::optional<IndexedRecord> FindIndexedRecord(const QString& path, const std::string& id, QString& refusal)
{
    return FindThroughFai(path, refusal, [&](const std::vector<FaiRecord>& records) {
        return std::find_if(records.begin(), records.end(), [&](const FaiRecord& x) { return x.name == id; });
    });
}

std::optional<IndexedRecord> FindOnlyIndexedRecord(const QString& path, QString& refusal)
{
    return FindThroughFai(path, refusal, [](const std::vector<FaiRecord>& records) {
        return records.size() == 1 ? records.begin() : records.end();
    });
}

StretchBytes StretchOf(const FaiRecord& r, int64_t first, int64_t last)
{
    const uint64_t end = r.offset + SequenceBytes(r);
    if (r.lineBases == 0)
        return {end, end, 0};
    const uint64_t length = r.length;
    const uint64_t from = std::min<uint64_t>(uint64_t(std::max<int64_t>(first, 1)) - 1, length);
    const uint64_t through = uint64_t(std::clamp<int64_t>(last, 0, int64_t(length)));
    const uint64_t line = from / r.lineBases;
    StretchBytes s;
    s.from = std::min(end, r.offset + line * r.lineBytes);
    s.basesBefore = int64_t(line * r.lineBases);
    s.to = through <= from ? s.from : std::min(end, r.offset + ((through - 1) / r.lineBases + 1) * r.lineBytes);
    return s;
}

} // namespace quillet
