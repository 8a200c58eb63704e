#include "analysis/annotation.h"

#include "analysis/annotationtext.h"
#include "analysis/input.h"

#include <QFileInfo>

#include <cctype>
#include <cstdlib>
#include <memory>
#include <new>
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

AnnotationFile ReadAnnotationFile(const QString& path)
{
    const std::string name = QFileInfo(path).fileName().toStdString();
    std::string content;
    try {
        const std::unique_ptr<InputStream> in = OpenInput(path);
        constexpr std::size_t kChunk = std::size_t(1) << 20;
        if (in->compression() == Compression::None)
            content.reserve(std::size_t(in->total()) + kChunk);
        std::size_t filled = 0;
        for (;;) {
            if (content.size() < filled + kChunk)
                content.resize(std::max(content.capacity(), filled + kChunk));
            const std::size_t got = in->read(content.data() + filled, content.size() - filled);
            if (got == 0)
                break;
            filled += got;
        }
        content.resize(filled);
    } catch (const InputError& e) {
        throw Failure(name + ": " + e.what());
    } catch (const std::bad_alloc&) {
        throw Failure(name + ": it is too large to be read into memory");
    }
    return ReadAnnotation(content, name);
}

} // namespace quillet
