#include "analysis/annotation.h"

#include "analysis/annotationtext.h"
#include "analysis/input.h"

#include <QFileInfo>

#include <cctype>
#include <cstdlib>
#include <cstring>
#include <exception>
#include <memory>
#include <new>
#include <sys/mman.h>
#include <thread>
#include <vector>

namespace quillet {

using namespace annotation;

const char* AnnotationFormatName(AnnotationFormat format)
{
    switch (format) {
    case AnnotationFormat::None: return "none";
    case AnnotationFormat::Gff3: return "GFF3";
    case AnnotationFormat::Gtf: return "GTF";
    case AnnotationFormat::Bed: return "BED";
    case AnnotationFormat::GenBank: return "GenBank";
    case AnnotationFormat::Embl: return "EMBL";
    }
    return "none";
}

namespace {

bool StartsWith(std::string_view s, std::string_view prefix)
{
    return s.substr(0, prefix.size()) == prefix;
}

bool IsNumber(std::string_view s)
{
    uint64_t v = 0;
    return ReadUint(s, v);
}

// Columns separated by tabs, or by blanks in a line without a tab.
std::vector<std::string_view> Columns(std::string_view line)
{
    std::vector<std::string_view> cols;
    const bool tabs = line.find('\t') != std::string_view::npos;
    std::size_t i = 0;
    while (i < line.size() && cols.size() < 13) {
        std::size_t end = i;
        while (end < line.size() && (tabs ? line[end] != '\t' : !IsBlank(line[end])))
            ++end;
        cols.push_back(line.substr(i, end - i));
        i = end + 1;
        while (!tabs && i < line.size() && IsBlank(line[i]))
            ++i;
    }
    return cols;
}

// GTF's attributes start with a key, a blank and a quote: gene_id "x".
bool LooksLikeGtfAttributes(std::string_view a)
{
    a = Trim(a);
    std::size_t i = 0;
    while (i < a.size() && (std::isalnum(uint8_t(a[i])) || a[i] == '_'))
        ++i;
    if (i == 0 || i >= a.size() || !IsBlank(a[i]))
        return false;
    while (i < a.size() && IsBlank(a[i]))
        ++i;
    return i < a.size() && (a[i] == '"' || std::isdigit(uint8_t(a[i])));
}

// The kind of a first line that names its format.
bool SniffFirstLine(std::string_view t, AnnotationKind& kind)
{
    if (StartsWith(t, "##gff-version")) {
        const std::string_view v = Trim(t.substr(13));
        kind.format = StartsWith(v, "2") ? AnnotationFormat::Gtf : AnnotationFormat::Gff3;
    } else if (StartsWith(t, "LOCUS ") || StartsWith(t, "LOCUS\t")) {
        kind.format = AnnotationFormat::GenBank;
    } else if (StartsWith(t, "ID   ")) {
        kind.format = AnnotationFormat::Embl;
    } else if (t[0] == '>') {
        kind.what = "a FASTA sequence file";
    } else if (StartsWith(t, "##fileformat=VCF")) {
        kind.what = "a VCF file of variants";
    } else if (StartsWith(t, "@HD\t") || StartsWith(t, "@SQ\t") || StartsWith(t, "@PG\t")) {
        kind.what = "a SAM file of alignments";
    } else if (t[0] == '@') {
        kind.what = "a FASTQ file of reads";
    } else if (StartsWith(t, "variableStep") || StartsWith(t, "fixedStep")) {
        kind.what = "a wiggle file of values";
    } else {
        return false;
    }
    return true;
}

// The kind of a line of data, the first after comments and headers.
AnnotationKind SniffDataLine(std::string_view t)
{
    const std::vector<std::string_view> cols = Columns(t);
    const bool tabs = t.find('\t') != std::string_view::npos;
    AnnotationKind kind;
    if (tabs && cols.size() >= 8 && IsNumber(cols[3]) && IsNumber(cols[4]) &&
        (cols[6] == "+" || cols[6] == "-" || cols[6] == "." || cols[6] == "?")) {
        kind.format =
            cols.size() >= 9 && LooksLikeGtfAttributes(cols[8]) ? AnnotationFormat::Gtf : AnnotationFormat::Gff3;
    } else if (cols.size() >= 3 && IsNumber(cols[1]) && IsNumber(cols[2])) {
        char* end = nullptr;
        const std::string value = cols.size() == 4 ? std::string(cols[3]) : std::string();
        if (!value.empty() && (std::strtod(value.c_str(), &end), end == value.c_str() + value.size()))
            kind.what = "a bedGraph file of values";
        else
            kind.format = AnnotationFormat::Bed;
    } else {
        kind.what = "text that is no annotation";
    }
    return kind;
}

} // namespace

AnnotationKind SniffAnnotation(std::string_view content)
{
    if (StartsWith(content, "\xEF\xBB\xBF"))
        content.remove_prefix(3);
    Lines lines(content.substr(0, std::size_t(1) << 20));
    std::string_view line;
    bool first = true, comments = false;
    AnnotationKind kind;
    while (lines.next(line)) {
        const std::string_view t = Trim(line);
        if (t.empty())
            continue;
        if (first && SniffFirstLine(t, kind))
            return kind;
        first = false;
        if (StartsWith(t, "track") || StartsWith(t, "browser")) {
            if (t.find("type=bedGraph") != std::string_view::npos) {
                kind.what = "a bedGraph file of values";
                return kind;
            }
            if (t.find("type=wiggle_0") != std::string_view::npos) {
                kind.what = "a wiggle file of values";
                return kind;
            }
            continue;
        }
        if (t[0] == '#') {
            comments = true;
            continue;
        }
        return SniffDataLine(t);
    }
    kind.what = comments || !first ? "a file with no annotation lines" : "empty";
    return kind;
}

AnnotationFile ReadAnnotation(std::string_view content, std::string_view fileName)
{
    const AnnotationKind kind = SniffAnnotation(content);
    switch (kind.format) {
    case AnnotationFormat::Gff3: return ReadGff3(content, fileName);
    case AnnotationFormat::Gtf: return ReadGtf(content, fileName);
    case AnnotationFormat::Bed: return ReadBed(content, fileName);
    case AnnotationFormat::GenBank: return ReadGenBank(content, fileName);
    case AnnotationFormat::Embl: return ReadEmbl(content, fileName);
    case AnnotationFormat::None: break;
    }
    if (kind.what == "empty")
        throw Failure(std::string(fileName) + ": it is empty");
    throw Failure(std::string(fileName) + ": it is " + kind.what +
                  ", not annotation (GFF3, GTF, BED, GenBank or EMBL)");
}

namespace {

// A growing buffer of mapped memory: grown by remapping (no copy), never
// cleared first.
class ContentBuffer {
public:
    ContentBuffer() = default;
    ContentBuffer(const ContentBuffer&) = delete;
    ContentBuffer& operator=(const ContentBuffer&) = delete;
    ~ContentBuffer()
    {
        if (data_)
            ::munmap(data_, capacity_);
    }
    char* data() const { return static_cast<char*>(data_); }
    std::size_t capacity() const { return capacity_; }
    // Throws std::bad_alloc when the memory cannot be had.
    void reserve(std::size_t bytes)
    {
        bytes = (bytes + kPage - 1) / kPage * kPage;
        if (bytes <= capacity_)
            return;
        void* p = data_ ? ::mremap(data_, capacity_, bytes, MREMAP_MAYMOVE)
                        : ::mmap(nullptr, bytes, PROT_READ | PROT_WRITE, MAP_PRIVATE | MAP_ANONYMOUS, -1, 0);
        if (p == MAP_FAILED)
            throw std::bad_alloc();
        data_ = p;
        capacity_ = bytes;
    }

private:
    static constexpr std::size_t kPage = 4096;
    void* data_ = nullptr;
    std::size_t capacity_ = 0;
};

// Reads from the stream until the buffer holds `limit` bytes or the
// content ends (then `ended`).
void Fill(InputStream& in, ContentBuffer& buffer, std::size_t& filled, std::size_t limit, bool& ended)
{
    buffer.reserve(limit);
    while (filled < limit && !ended) {
        const std::size_t got = in.read(buffer.data() + filled, limit - filled);
        ended = got == 0;
        filled += got;
    }
}

// Where the next block ends: after the last line feed within the block's
// size, or the first one after it; 0 when the buffer holds no whole line.
std::size_t BlockEnd(const char* data, std::size_t filled, std::size_t blockBytes, bool ended)
{
    if (ended && filled <= blockBytes)
        return filled;
    const std::size_t within = std::min(filled, blockBytes);
    const void* lf = ::memrchr(data, '\n', within);
    if (!lf)
        lf = std::memchr(data + within, '\n', filled - within);
    return lf ? std::size_t(static_cast<const char*>(lf) - data) + 1 : ended ? filled : 0;
}

// Reads a table in blocks of whole lines, the first of them in `buffer`.
// While a block is read, a thread fetches (and decompresses) the next.
void ReadBlocks(InputStream& in, ContentBuffer& buffer, std::size_t filled, bool ended, std::size_t blockBytes,
                uint64_t total, TableReader& table)
{
    ContentBuffer spare;
    ContentBuffer *current = &buffer, *next = &spare;
    for (uint64_t offset = 0;;) {
        const std::size_t cut = BlockEnd(current->data(), filled, blockBytes, ended);
        if (cut == 0) {
            Fill(in, *current, filled, filled * 2, ended); // a line longer than a block
            continue;
        }
        const bool last = ended && cut == filled;
        std::size_t nextFilled = filled - cut;
        bool nextEnded = ended;
        std::exception_ptr fetchError;
        std::thread fetch;
        if (!last) {
            next->reserve(std::max(blockBytes, nextFilled));
            std::memcpy(next->data(), current->data() + cut, nextFilled);
            fetch = std::thread([&] {
                try {
                    Fill(in, *next, nextFilled, std::max(blockBytes, nextFilled), nextEnded);
                } catch (...) {
                    fetchError = std::current_exception();
                }
            });
        }
        bool more = false;
        try {
            more = table.add(std::string_view(current->data(), cut), offset, 0, total);
        } catch (...) {
            if (fetch.joinable())
                fetch.join();
            throw;
        }
        if (fetch.joinable())
            fetch.join();
        if (fetchError)
            std::rethrow_exception(fetchError);
        if (!more || last)
            return;
        std::swap(current, next);
        filled = nextFilled;
        ended = nextEnded;
        offset += cut;
    }
}

} // namespace

AnnotationFile ReadAnnotationFile(const QString& path, std::size_t blockBytes)
{
    const std::string name = QFileInfo(path).fileName().toStdString();
    blockBytes = std::max<std::size_t>(blockBytes, 1);
    constexpr std::size_t kHead = std::size_t(1) << 20; // what the format is told from
    ContentBuffer buffer;
    std::size_t filled = 0;
    bool ended = false;
    try {
        const std::unique_ptr<InputStream> in = OpenInput(path);
        const uint64_t total = in->compression() == Compression::None ? in->total() : 0;
        Fill(*in, buffer, filled, std::max(blockBytes, kHead), ended);
        const AnnotationKind kind = SniffAnnotation(std::string_view(buffer.data(), filled));
        std::unique_ptr<TableReader> table = kind.format == AnnotationFormat::Gff3  ? GffTableReader(name, false)
                                             : kind.format == AnnotationFormat::Gtf ? GffTableReader(name, true)
                                             : kind.format == AnnotationFormat::Bed ? BedTableReader(name)
                                                                                    : nullptr;
        if (!table) {
            // The flat files (and what is refused) are read whole.
            while (!ended)
                Fill(*in, buffer, filled, filled * 2, ended);
            return ReadAnnotation(std::string_view(buffer.data(), filled), name);
        }
        ReadBlocks(*in, buffer, filled, ended, blockBytes, total, *table);
        return table->finish();
    } catch (const InputError& e) {
        throw Failure(name + ": " + e.what());
    } catch (const std::bad_alloc&) {
        throw Failure(name + ": it is too large to be read into memory");
    }
}

std::shared_ptr<const FeatureSet> SequenceFileFeatures(const QString& path, RecordFormat format)
{
    try {
        if (format == RecordFormat::Fasta) {
            const std::unique_ptr<InputStream> in = OpenInput(path);
            std::string head(4096, '\0');
            head.resize(in->read(head.data(), head.size()));
            if (SniffAnnotation(head).format != AnnotationFormat::Gff3)
                return nullptr;
        }
        return std::make_shared<const FeatureSet>(ReadAnnotationFile(path).features);
    } catch (const std::exception&) {
        return nullptr;
    }
}

} // namespace quillet
