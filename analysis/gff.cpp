// GFF3 and GTF: nine tab-separated columns a feature, with their
// attributes as tag=value (GFF3, percent-encoded, values separated by
// commas) or as key "value"; (GTF).
#include "analysis/annotation.h"
#include "analysis/annotationtext.h"

#include <array>

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

// The first of the values separated by commas.
std::string_view FirstValue(std::string_view v)
{
    return v.substr(0, v.find(','));
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
        if (value[f].empty())
            value[f] = encoded ? PercentDecoded(FirstValue(v), scratch[f]) : v;
    }
};

class GffReader {
public:
    GffReader(std::string_view content, std::string_view fileName, bool gtf)
        : lines_(content), file_(fileName), gtf_(gtf)
    {
        result_.format = gtf ? AnnotationFormat::Gtf : AnnotationFormat::Gff3;
    }

    AnnotationFile read()
    {
        builder_.mergeSameIds();
        std::string_view line;
        while (lines_.next(line)) {
            if (line.empty() || Trim(line).empty())
                continue;
            if (line[0] == '>' && !gtf_) {
                result_.fastaOffset = int64_t(lines_.lineStart());
                break;
            }
            if (line[0] == '#') {
                if (!gtf_ && !directive(line))
                    break;
                continue;
            }
            featureLine(line);
        }
        result_.features = AtLine(file_, lines_.number(), [&] { return builder_.finish(); });
        return std::move(result_);
    }

private:
    [[noreturn]] void fail(const std::string& what) const { LineFailure(file_, lines_.number(), what); }

    // False at ##FASTA, where the features end.
    bool directive(std::string_view line)
    {
        if (line == "##FASTA") {
            result_.fastaOffset = int64_t(lines_.lineEnd());
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
            FeatureRecord& rec = builder_.recordInfo(builder_.record(PercentDecoded(words[0], scratch)));
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

    void gffAttributes(std::string_view text)
    {
        while (!text.empty()) {
            const std::size_t semi = text.find(';');
            const std::string_view piece = Trim(text.substr(0, semi));
            text = semi == std::string_view::npos ? std::string_view() : text.substr(semi + 1);
            const std::size_t eq = piece.find('=');
            if (eq == std::string_view::npos)
                continue;
            const std::string_view tag = piece.substr(0, eq), v = piece.substr(eq + 1);
            if (tag == "ID")
                attrs_.set(Attributes::Id, v, true);
            else if (tag == "Name")
                attrs_.set(Attributes::Name, v, true);
            else if (tag == "Parent")
                attrs_.set(Attributes::Parent, v, true);
            else if (tag == "gene" || tag == "gene_name")
                attrs_.set(Attributes::Gene, v, true);
            else if (tag == "locus_tag")
                attrs_.set(Attributes::Locus, v, true);
            else if (tag == "product")
                attrs_.set(Attributes::Product, v, true);
            else if (tag == "Note" || tag == "note")
                attrs_.set(Attributes::Note, v, true);
            else if (tag == "mobile_element_type")
                attrs_.set(Attributes::MobileElement, v, true);
            else if (tag == "Is_circular")
                attrs_.circular = v == "true";
            else if (tag == "start_range")
                attrs_.partialStart = v.substr(0, 1) == ".";
            else if (tag == "end_range")
                attrs_.partialEnd = !v.empty() && v.back() == '.';
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
        d.record = builder_.record(gtf_ ? col[0] : PercentDecoded(col[0], seqid_));
        d.type = col[2];
        d.partialStart = attrs_.partialStart;
        d.partialEnd = attrs_.partialEnd;
        d.locusTag = attrs_.value[Attributes::Locus];
        d.product = attrs_.value[Attributes::Product];
        d.note = attrs_.value[Attributes::Note];
        gtf_ ? gtfDraft(d) : gffDraft(d);

        FeatureRecord& rec = builder_.recordInfo(d.record);
        if (attrs_.circular) {
            rec.topology = Topology::Circular;
            if (rec.length == 0 && d.type == "region")
                rec.length = end;
        }
        // On a circular record, a feature across the origin ends past the
        // record's end.
        const FeaturePart whole{start, end};
        std::span<const FeaturePart> parts(&whole, 1);
        FeaturePart split[2];
        if (rec.topology == Topology::Circular && rec.length > 0 && end > rec.length && start <= rec.length &&
            end - rec.length < start) {
            split[0] = {start, uint32_t(rec.length)};
            split[1] = {1, uint32_t(end - rec.length)};
            parts = split;
        }
        AtLine(file_, lines_.number(), [&] { builder_.add(d, parts); });
    }

    Lines lines_;
    std::string_view file_;
    bool gtf_;
    AnnotationFile result_;
    FeatureSetBuilder builder_;
    Attributes attrs_;
    std::string seqid_;
};

} // namespace

AnnotationFile ReadGff3(std::string_view content, std::string_view fileName)
{
    return GffReader(content, fileName, false).read();
}

AnnotationFile ReadGtf(std::string_view content, std::string_view fileName)
{
    return GffReader(content, fileName, true).read();
}

} // namespace quillet
