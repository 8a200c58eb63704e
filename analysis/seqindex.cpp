#include "analysis/seqindex.h"

#include "analysis/input.h"
#include "analysis/outputfile.h"

#include <QFile>
#include <algorithm>
#include <array>
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

uint32_t Little32(const unsigned char* p)
{
    return p[0] | p[1] << 8 | p[2] << 16 | uint32_t(p[3]) << 24;
}
uint16_t Little16(const unsigned char* p)
{
    return uint16_t(p[0] | p[1] << 8);
}

void PutLittle64(std::string& out, uint64_t v)
{
    for (int i = 0; i < 8; ++i)
        out.push_back(char((v >> (8 * i)) & 0xff));
}

// The BSIZE field of a bgzip member's header at p (size bytes left): the
// member's length less one, or -1 when the header is no bgzip header.
int64_t BlockSizeField(const unsigned char* p, std::size_t size)
{
    constexpr std::size_t kFixed = 12; // magic, method, flags, time, extra flags, system, XLEN
    if (size < kFixed || p[0] != 0x1f || p[1] != 0x8b || p[2] != 8 || !(p[3] & 4))
        return -1;
    const std::size_t extra = Little16(p + 10);
    if (size < kFixed + extra)
        return -1;
    for (std::size_t i = kFixed; i + 4 <= kFixed + extra;) {
        const std::size_t length = Little16(p + i + 2);
        if (p[i] == 'B' && p[i + 1] == 'C' && length == 2 && i + 6 <= kFixed + extra)
            return Little16(p + i + 4);
        i += 4 + length;
    }
    return -1;
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

std::optional<std::vector<BgzfBlock>> BgzfBlocks(const char* bytes, std::size_t size, QString& why)
{
    const auto* p = reinterpret_cast<const unsigned char*>(bytes);
    std::vector<BgzfBlock> blocks;
    uint64_t content = 0;
    for (std::size_t at = 0; at < size;) {
        const int64_t field = BlockSizeField(p + at, size - at);
        if (field < 0) {
            why = QStringLiteral("it is compressed with gzip, not in bgzip's blocks (at byte %1)").arg(at);
            return std::nullopt;
        }
        const std::size_t length = std::size_t(field) + 1;
        if (length < 26 || length > size - at) {
            why = QStringLiteral("its bgzip block at byte %1 is cut short").arg(at);
            return std::nullopt;
        }
        const uint32_t held = Little32(p + at + length - 4);
        blocks.push_back({at, content, held});
        content += held;
        at += length;
    }
    return blocks;
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

} // namespace quillet
