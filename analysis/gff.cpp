// GFF3 and GTF: nine tab-separated columns a feature, with their
// attributes as tag=value (GFF3, percent-encoded, values separated by
// commas) or as key "value"; (GTF).
#include "analysis/annotation.h"
#include "analysis/annotationtext.h"

#include <array>
#include <cstring>

namespace quillet {

using namespace annotation;

namespace {

int HexDigit(char c)
{
    if (c >= '0' && c <= '9')
        return c - '0';
    if (c >= 'a' && c <= 'f')
        return c - 'a' + 10;
    if (c >= 'A' && c <= 'F')
        return c - 'A' + 10;
    return -1;
}

// "%3B" and the like decoded into `scratch`; the text itself when it has
// none. A "%" without two hex digits stays as it is.
std::string_view PercentDecoded(std::string_view s, std::string& scratch)
{
    if (s.find('%') == std::string_view::npos)
        return s;
    scratch.clear();
    for (std::size_t i = 0; i < s.size(); ++i) {
        int hi = 0, lo = 0;
        if (s[i] == '%' && i + 2 < s.size() && (hi = HexDigit(s[i + 1])) >= 0 && (lo = HexDigit(s[i + 2])) >= 0) {
            scratch.push_back(char(hi * 16 + lo));
            i += 2;
        } else {
            scratch.push_back(s[i]);
        }
    }
    return scratch;
}

// The attributes the features keep, decoded.
struct Attributes {
    enum Field { Id, Name, Parent, Gene, Locus, Product, Note, MobileElement, TranscriptId, Count };
    std::array<std::string_view, Count> value{};
    std::array<std::string, Count> scratch;
    bool circular = false;
    bool partialStart = false;
    bool partialEnd = false;

    void clear()
    {
        value.fill({});
        circular = partialStart = partialEnd = false;
    }
    void set(Field f, std::string_view v, bool encoded)
    {
        if (!value[f].empty())
            return;
        if (!encoded) {
            value[f] = v;
            return;
        }
        // The first value, decoded when it holds a "%".
        bool percent = false;
        std::size_t n = 0;
        for (; n < v.size() && v[n] != ','; ++n)
            percent = percent || v[n] == '%';
        value[f] = percent ? PercentDecoded(v.substr(0, n), scratch[f]) : v.substr(0, n);
    }
};

// The lines from `from` to `to` of a GFF3 or GTF content (a TableReading
// reads a large file in several such pieces at once).
class GffPiece {
public:
    GffPiece(std::string_view content, std::size_t from, std::size_t to, uint64_t expected, bool atStart, bool gtf)
        : lines_(content, from, to, atStart), gtf_(gtf)
    {
        builder.mergeSameIds();
        builder.expect(expected);
    }

    FeatureSetBuilder builder;
    int64_t fastaOffset = -1;
    uint64_t lines() const { return lines_.number(); }

    void read()
    {
        std::string_view line;
        while (lines_.next(line)) {
            if (line.empty() || Trim(line).empty())
                continue;
            if (line[0] == '>' && !gtf_) {
                fastaOffset = int64_t(lines_.lineStart());
                break;
            }
            if (line[0] == '#') {
                if (!gtf_ && !directive(line))
                    break;
                continue;
            }
            featureLine(line);
        }
    }

private:
    [[noreturn]] void fail(const std::string& what) const { LineFailure(lines_.number(), what); }

    // False at ##FASTA, where the features end.
    bool directive(std::string_view line)
    {
        if (line == "##FASTA") {
            fastaOffset = int64_t(lines_.lineEnd());
            return false;
        }
        constexpr std::string_view kRegion = "##sequence-region";
        if (line.substr(0, kRegion.size()) == kRegion) {
            std::string_view words[4];
            int n = 0;
            for (std::string_view rest = line.substr(kRegion.size()); n < 4;) {
                rest = Trim(rest);
                if (rest.empty())
                    break;
                const std::size_t blank = std::min(rest.find(' '), rest.find('\t'));
                words[n++] = rest.substr(0, blank);
                rest = blank == std::string_view::npos ? std::string_view() : rest.substr(blank);
            }
            uint64_t start = 0, end = 0;
            if (n != 3 || !ReadUint(words[1], start) || !ReadUint(words[2], end) || end < start)
                fail("the ##sequence-region line is not \"##sequence-region ID start end\"");
            std::string scratch;
            // The first length given counts, as when pieces of a large
            // file are joined.
            FeatureRecord& rec = builder.recordInfo(builder.record(PercentDecoded(words[0], scratch)));
            if (rec.length == 0)
                rec.length = end;
        }
        return true;
    }

    uint32_t position(std::string_view text, const char* what) const
    {
        uint64_t v = 0;
        if (!ReadUint(text, v))
            fail(std::string("the ") + what + " (" + Shown(text) + ") is no whole number");
        if (v == 0)
            fail(std::string("the ") + what + " is 0, and positions count from 1");
        if (v > kMaxPosition)
            fail(std::string("the ") + what + " (" + std::string(text) + ") is beyond 4,294,967,295");
        return uint32_t(v);
    }

    // tag=value;tag=value ... (files write a blank after ";" at times).
    void gffAttributes(std::string_view text)
    {
        const char* p = text.data();
        const char* const end = p + text.size();
        while (p < end) {
            while (p < end && *p == ' ')
                ++p;
            const char* tag = p;
            while (p < end && *p != '=' && *p != ';')
                ++p;
            if (p == end)
                break;
            if (*p++ == ';')
                continue;
            const char* v = p;
            const void* semi = std::memchr(p, ';', std::size_t(end - p));
            const char* vEnd = semi ? static_cast<const char*>(semi) : end;
            p = vEnd + 1;
            while (vEnd > v && IsBlank(vEnd[-1]))
                --vEnd;
            gffAttribute(std::string_view(tag, std::size_t(v - 1 - tag)), std::string_view(v, std::size_t(vEnd - v)));
        }
    }

    void gffAttribute(std::string_view tag, std::string_view v)
    {
        switch (tag.size()) {
        case 2:
            if (tag == "ID")
                attrs_.set(Attributes::Id, v, true);
            break;
        case 4:
            if (tag == "Name")
                attrs_.set(Attributes::Name, v, true);
            else if (tag == "gene")
                attrs_.set(Attributes::Gene, v, true);
            else if (tag == "Note" || tag == "note")
                attrs_.set(Attributes::Note, v, true);
            break;
        case 6:
            if (tag == "Parent")
                attrs_.set(Attributes::Parent, v, true);
            break;
        case 7:
            if (tag == "product")
                attrs_.set(Attributes::Product, v, true);
            break;
        case 9:
            if (tag == "locus_tag")
                attrs_.set(Attributes::Locus, v, true);
            else if (tag == "gene_name")
                attrs_.set(Attributes::Gene, v, true);
            else if (tag == "end_range")
                attrs_.partialEnd = !v.empty() && v.back() == '.';
            break;
        case 11:
            if (tag == "Is_circular")
                attrs_.circular = v == "true";
            else if (tag == "start_range")
                attrs_.partialStart = v.substr(0, 1) == ".";
            break;
        case 19:
            if (tag == "mobile_element_type")
                attrs_.set(Attributes::MobileElement, v, true);
            break;
        }
    }

    // key "value"; key value; ... (a quoted value may hold ";").
    void gtfAttributes(std::string_view text)
    {
        std::size_t i = 0;
        while (i < text.size()) {
            while (i < text.size() && (IsBlank(text[i]) || text[i] == ';'))
                ++i;
            const std::size_t keyStart = i;
            while (i < text.size() && !IsBlank(text[i]) && text[i] != ';')
                ++i;
            const std::string_view key = text.substr(keyStart, i - keyStart);
            while (i < text.size() && IsBlank(text[i]))
                ++i;
            std::string_view v;
            if (i < text.size() && text[i] == '"') {
                const std::size_t close = text.find('"', i + 1);
                if (close == std::string_view::npos)
                    fail("the value of " + std::string(key) + " has no closing quote");
                v = text.substr(i + 1, close - i - 1);
                i = close + 1;
            } else {
                const std::size_t valueStart = i;
                while (i < text.size() && text[i] != ';')
                    ++i;
                v = Trim(text.substr(valueStart, i - valueStart));
            }
            if (key == "gene_id")
                attrs_.set(Attributes::Id, v, false);
            else if (key == "transcript_id")
                attrs_.set(Attributes::TranscriptId, v, false);
            else if (key == "gene_name" || key == "gene")
                attrs_.set(Attributes::Gene, v, false);
            else if (key == "locus_tag")
                attrs_.set(Attributes::Locus, v, false);
            else if (key == "product")
                attrs_.set(Attributes::Product, v, false);
            else if (key == "note" || key == "Note")
                attrs_.set(Attributes::Note, v, false);
        }
    }

    // GTF lines by their type: a gene is named by gene_id, a transcript by
    // transcript_id under its gene; the CDS lines of a transcript form one
    // CDS (they carry its transcript_id), other lines belong to the
    // transcript, or to the gene when they name none.
    void gtfDraft(FeatureSetBuilder::Draft& d) const
    {
        const std::string_view geneId = attrs_.value[Attributes::Id],
                               transcriptId = attrs_.value[Attributes::TranscriptId];
        d.name = !attrs_.value[Attributes::Gene].empty() ? attrs_.value[Attributes::Gene] : geneId;
        if (d.type == "gene") {
            d.id = geneId;
        } else if (d.type == "transcript") {
            d.id = transcriptId;
            d.parentId = geneId;
        } else {
            d.parentId = transcriptId.empty() ? geneId : transcriptId;
            if (d.type == "CDS")
                d.id = transcriptId;
        }
    }

    void gffDraft(FeatureSetBuilder::Draft& d) const
    {
        const auto& v = attrs_.value;
        d.id = v[Attributes::Id];
        d.parentId = v[Attributes::Parent];
        for (const auto f :
             {Attributes::Gene, Attributes::Name, Attributes::Locus, Attributes::MobileElement, Attributes::Id})
            if (d.name.empty())
                d.name = v[f];
    }

    void featureLine(std::string_view line)
    {
        std::string_view col[9];
        int n = 0;
        for (std::string_view rest = line;; ++n) {
            const std::size_t tab = rest.find('\t');
            if (n == 9)
                fail("it has more than 9 columns");
            col[n] = rest.substr(0, tab);
            if (tab == std::string_view::npos)
                break;
            rest = rest.substr(tab + 1);
        }
        ++n;
        if (n < 8)
            fail("it has " + std::to_string(n) + (n == 1 ? " column" : " columns") + "; a " + (gtf_ ? "GTF" : "GFF3") +
                 " line has 9, separated by tabs");
        if (col[0].empty())
            fail("the record (column 1) is empty");
        if (col[2].empty())
            fail("the type (column 3) is empty");
        const uint32_t start = position(col[3], "start"), end = position(col[4], "end");
        if (end < start)
            fail("the end (" + std::to_string(end) + ") is before the start (" + std::to_string(start) + ")");
        FeatureSetBuilder::Draft d;
        const std::string_view strand = col[6];
        if (strand == "+")
            d.strand = Strand::Forward;
        else if (strand == "-")
            d.strand = Strand::Reverse;
        else if (strand != "." && strand != "?")
            fail("the strand (" + Shown(strand) + ") is none of +, - and .");
        attrs_.clear();
        if (n == 9)
            gtf_ ? gtfAttributes(col[8]) : gffAttributes(col[8]);
        d.record = builder.record(gtf_ ? col[0] : PercentDecoded(col[0], seqid_));
        d.type = col[2];
        d.partialStart = attrs_.partialStart;
        d.partialEnd = attrs_.partialEnd;
        d.locusTag = attrs_.value[Attributes::Locus];
        d.product = attrs_.value[Attributes::Product];
        d.note = attrs_.value[Attributes::Note];
        gtf_ ? gtfDraft(d) : gffDraft(d);

        // (A feature past the end of a circular record runs across its
        // origin: the set cuts it in two.)
        if (attrs_.circular) {
            FeatureRecord& rec = builder.recordInfo(d.record);
            rec.topology = Topology::Circular;
            if (rec.length == 0 && d.type == "region")
                rec.length = end;
        }
        const FeaturePart part{start, end};
        AtLine(lines_.number(), [&] { builder.add(d, {&part, 1}); });
    }

    Lines lines_;
    bool gtf_;
    Attributes attrs_;
    std::string seqid_;
};

} // namespace

std::string GffCircularSeqid(std::string_view line)
{
    if (!line.empty() && line.back() == '\r')
        line.remove_suffix(1);
    if (line.empty() || line.front() == '#')
        return {};
    std::size_t attributes = 0;
    for (int tab = 0; tab < 8; ++tab) {
        attributes = line.find('\t', attributes);
        if (attributes == std::string_view::npos)
            return {};
        ++attributes;
    }
    // tag=value;... with blanks after ";" and before it, as gffAttributes reads them.
    for (std::string_view rest = line.substr(attributes); !rest.empty();) {
        const std::size_t semi = rest.find(';');
        std::string_view item = Trim(rest.substr(0, semi));
        rest = semi == std::string_view::npos ? std::string_view{} : rest.substr(semi + 1);
        if (item == "Is_circular=true") {
            std::string scratch;
            return std::string(PercentDecoded(line.substr(0, line.find('\t')), scratch));
        }
    }
    return {};
}

namespace annotation {

std::unique_ptr<TableReader> GffTableReader(std::string_view file, bool gtf)
{
    return std::make_unique<TableReading<GffPiece>>(file, gtf ? AnnotationFormat::Gtf : AnnotationFormat::Gff3, gtf);
}

} // namespace annotation

AnnotationFile ReadGff3(std::string_view content, std::string_view fileName, int pieces)
{
    const auto reader = GffTableReader(fileName, false);
    reader->add(content, 0, pieces, content.size());
    return reader->finish();
}

AnnotationFile ReadGtf(std::string_view content, std::string_view fileName, int pieces)
{
    const auto reader = GffTableReader(fileName, true);
    reader->add(content, 0, pieces, content.size());
    return reader->finish();
}

} // namespace quillet
