// GenBank and EMBL flat files: records up to "//", the header facts of
// each (name, topology, length, accession and version, definition) and
// the feature table with its locations and qualifiers. The sequence
// (ORIGIN, SQ) is skipped.
#include "analysis/annotation.h"
#include "analysis/annotationtext.h"

#include <cctype>
#include <vector>

namespace quillet {

using namespace annotation;

namespace {

constexpr int kMaxNesting = 50;

bool EqualFold(std::string_view a, std::string_view b)
{
    if (a.size() != b.size())
        return false;
    for (std::size_t i = 0; i < a.size(); ++i)
        if ((a[i] | 0x20) != (b[i] | 0x20))
            return false;
    return true;
}

// Words separated by blanks (and by `also`).
std::vector<std::string_view> Words(std::string_view s, char also = ' ')
{
    std::vector<std::string_view> words;
    std::size_t i = 0;
    while (i < s.size()) {
        while (i < s.size() && (IsBlank(s[i]) || s[i] == also))
            ++i;
        const std::size_t start = i;
        while (i < s.size() && !IsBlank(s[i]) && s[i] != also)
            ++i;
        if (i > start)
            words.push_back(s.substr(start, i - start));
    }
    return words;
}

std::string WithoutFinalPeriod(std::string s)
{
    if (!s.empty() && s.back() == '.')
        s.pop_back();
    return s;
}

// A feature's location ("complement(join(2691..4571,4918..5163))"),
// read into parts in the order it lists them.
class LocationReader {
public:
    LocationReader(std::string_view text, const FeatureRecord& record) : s_(text), record_(record) {}

    std::vector<FeaturePart> parts;
    uint64_t remoteParts = 0;
    uint32_t reversed = 0;
    bool partialStart = false;
    bool partialEnd = false;
    bool site = false;
    bool unjoined = false;

    // Returns an empty text when the location reads, else what is wrong.
    std::string read()
    {
        try {
            node(false, 0);
            if (pos_ != s_.size())
                bad();
        } catch (const std::string& what) {
            return what;
        }
        return {};
    }

private:
    [[noreturn]] void bad() const
    {
        throw "the location " + Shown(s_) + " cannot be read (at character " + std::to_string(pos_ + 1) + ")";
    }
    bool take(std::string_view word)
    {
        if (s_.substr(pos_, word.size()) != word)
            return false;
        pos_ += word.size();
        return true;
    }
    void expect(char c)
    {
        if (pos_ >= s_.size() || s_[pos_] != c)
            bad();
        ++pos_;
    }

    void node(bool complement, int depth)
    {
        if (depth > kMaxNesting)
            throw std::string("the location is nested more than 50 deep");
        if (take("complement(")) {
            node(!complement, depth + 1);
            expect(')');
        } else if (take("join(") || take("order(")) {
            unjoined = unjoined || s_[pos_ - 2] == 'r';
            do
                node(complement, depth + 1);
            while (take(","));
            expect(')');
        } else {
            base(complement);
        }
    }

    uint32_t number()
    {
        const std::size_t start = pos_;
        while (pos_ < s_.size() && s_[pos_] >= '0' && s_[pos_] <= '9')
            ++pos_;
        uint64_t v = 0;
        if (!ReadUint(s_.substr(start, pos_ - start), v))
            bad();
        if (v == 0 || v > kMaxPosition)
            throw "the location " + Shown(s_) + " has the position " + std::to_string(v) +
                " (positions run from 1 to 4,294,967,295)";
        return uint32_t(v);
    }

    // "<12", ">12", "12", and the old "(12.20)": somewhere in 12..20, of
    // which the wider end is taken.
    uint32_t position(bool isStart)
    {
        if (take("<"))
            partialStart = true;
        else if (take(">"))
            partialEnd = true;
        if (take("(")) {
            const uint32_t a = number();
            expect('.');
            const uint32_t b = number();
            expect(')');
            return isStart ? std::min(a, b) : std::max(a, b);
        }
        return number();
    }

    void base(bool complement)
    {
        // A part on another entry: "J00194.1:100..202".
        std::size_t i = pos_;
        while (i < s_.size() && (std::isalnum(uint8_t(s_[i])) || s_[i] == '_' || s_[i] == '.'))
            ++i;
        const bool remote = i < s_.size() && s_[i] == ':' && i > pos_;
        if (remote)
            pos_ = i + 1;
        const uint32_t a = position(true);
        std::vector<FeaturePart> found;
        if (take("..")) {
            const uint32_t b = position(false);
            if (b >= a)
                found.push_back({a, b});
            else if (record_.topology == Topology::Circular && record_.length >= a)
                found = {{a, uint32_t(record_.length)}, {1, b}}; // across the origin
            else
                throw "the location " + Shown(s_) + " ends (" + std::to_string(b) + ") before it starts (" +
                    std::to_string(a) + ")";
        } else if (take("^")) {
            // Between two bases: the base before the site.
            const uint32_t b = number();
            if (b != a + 1 && !(b == 1 && a == record_.length) && b <= a)
                bad();
            site = true;
            found.push_back({a, b == a + 1 || b == 1 ? a : b - 1});
        } else if (take(".")) {
            const uint32_t b = number();
            if (b < a)
                bad();
            found.push_back({a, b});
        } else {
            found.push_back({a, a});
        }
        if (remote) {
            ++remoteParts;
            return;
        }
        parts.insert(parts.end(), found.begin(), found.end());
        reversed += complement ? uint32_t(found.size()) : 0;
    }

    std::string_view s_;
    std::size_t pos_ = 0;
    const FeatureRecord& record_;
};

// The qualifiers a feature keeps.
struct Qualifiers {
    enum Field { Gene, Locus, StandardName, MobileElement, ProteinId, Product, Note, Chromosome, Plasmid, Organelle };
    static constexpr const char* kNames[] = {"gene",       "locus_tag", "standard_name", "mobile_element_type",
                                             "protein_id", "product",   "note",          "chromosome",
                                             "plasmid",    "organelle"};
    std::string value[std::size(kNames)];
    bool seen[std::size(kNames)] = {};
};

class FlatFileReader {
public:
    FlatFileReader(std::string_view content, bool embl) : lines_(content), embl_(embl)
    {
        result_.format = embl ? AnnotationFormat::Embl : AnnotationFormat::GenBank;
    }

    AnnotationFile read()
    {
        std::string_view line;
        while (lines_.next(line)) {
            if (line.substr(0, 2) == "//") {
                endRecord();
            } else if (state_ == State::Sequence || line.empty()) {
                continue;
            } else if (embl_) {
                emblLine(line);
            } else {
                genBankLine(line);
            }
        }
        endRecord();
        result_.features = AtLine(lines_.number(), [&] { return builder_.finish(); });
        return std::move(result_);
    }

private:
    enum class State { Between, Header, Table, Sequence };

    [[noreturn]] void fail(uint64_t line, const std::string& what) const { LineFailure(line, what); }

    void startRecord()
    {
        endRecord();
        state_ = State::Header;
        locus_ = accession_ = version_ = definition_ = {};
        topology_ = Topology::Unknown;
        length_ = 0;
        record_ = FeatureSet::kNone;
        sourceSeen_ = false;
    }

    // The record in the set, made when its features begin (or at its end).
    uint32_t record()
    {
        if (record_ != FeatureSet::kNone)
            return record_;
        const std::string& id = !version_.empty() ? version_ : !accession_.empty() ? accession_ : locus_;
        if (id.empty())
            fail(lines_.number(), "the record has no name (no LOCUS, ACCESSION or VERSION; or no ID and AC)");
        record_ = builder_.record(id);
        FeatureRecord& rec = builder_.recordInfo(record_);
        rec.definition = WithoutFinalPeriod(definition_);
        rec.topology = topology_;
        rec.length = length_;
        return record_;
    }

    void endRecord()
    {
        finishFeature();
        if (state_ != State::Between)
            record();
        state_ = State::Between;
    }

    void topologyIn(const std::vector<std::string_view>& words)
    {
        for (const std::string_view w : words)
            if (EqualFold(w, "circular"))
                topology_ = Topology::Circular;
            else if (EqualFold(w, "linear"))
                topology_ = Topology::Linear;
    }

    // LOCUS       NC_000913   4641652 bp    DNA     circular CON 09-MAR-2022
    void locusLine(std::string_view rest)
    {
        startRecord();
        const std::vector<std::string_view> words = Words(rest);
        if (!words.empty())
            locus_ = std::string(words[0]);
        for (std::size_t i = 1; i + 1 < words.size(); ++i)
            if (words[i + 1] == "bp" || words[i + 1] == "aa")
                ReadUint(words[i], length_);
        topologyIn(words);
    }

    void genBankLine(std::string_view line)
    {
        if (line[0] == ' ') {
            if (state_ == State::Table)
                tableLine(line.size() > 5 ? line.substr(5) : std::string_view());
            else if (lastKeyword_ == "DEFINITION" && Trim(line.substr(0, 12)).empty())
                definition_ += ' ' + std::string(Trim(line));
            return;
        }
        const std::string_view keyword = line.substr(0, std::min(line.find(' '), line.size()));
        const std::string_view rest = line.size() > 12 ? Trim(line.substr(12)) : std::string_view();
        if (state_ == State::Table)
            finishFeature();
        if (keyword == "LOCUS") {
            locusLine(rest);
        } else if (state_ == State::Between) {
            return; // text between records
        } else if (keyword == "DEFINITION") {
            definition_ = std::string(rest);
        } else if (keyword == "ACCESSION") {
            accession_ = std::string(rest.substr(0, std::min(rest.find(' '), rest.size())));
        } else if (keyword == "VERSION") {
            version_ = std::string(rest.substr(0, std::min(rest.find(' '), rest.size())));
        } else if (keyword == "FEATURES") {
            state_ = State::Table;
            record();
        } else if (keyword == "ORIGIN") {
            state_ = State::Sequence;
        } else if (state_ == State::Table) {
            state_ = State::Header;
        }
        lastKeyword_ = keyword;
    }

    // ID   X56734; SV 1; linear; mRNA; STD; PLN; 1859 BP.
    void idLine(std::string_view rest)
    {
        startRecord();
        const std::vector<std::string_view> fields = Words(rest, ';');
        if (!fields.empty())
            locus_ = std::string(fields[0]);
        for (std::size_t i = 1; i < fields.size(); ++i) {
            if (fields[i] == "SV" && i + 1 < fields.size())
                version_ = locus_ + '.' + std::string(fields[i + 1]);
            if (i + 1 < fields.size() && (fields[i + 1] == "BP." || fields[i + 1] == "BP"))
                ReadUint(fields[i], length_);
        }
        topologyIn(fields);
    }

    void emblLine(std::string_view line)
    {
        const std::string_view code = line.substr(0, 2);
        const std::string_view rest = line.size() > 5 ? Trim(line.substr(5)) : std::string_view();
        if (code == "ID") {
            idLine(rest);
            return;
        }
        if (state_ == State::Between)
            return;
        if (code == "FT") {
            if (state_ != State::Table)
                record();
            state_ = State::Table;
            tableLine(line.size() > 5 ? line.substr(5) : std::string_view());
            return;
        }
        if (state_ == State::Table) {
            finishFeature();
            state_ = State::Header;
        }
        if (code == "AC" && accession_.empty()) {
            const std::vector<std::string_view> words = Words(rest, ';');
            if (!words.empty())
                accession_ = std::string(words[0]);
        } else if (code == "SV" && !rest.empty()) {
            version_ = std::string(Words(rest)[0]);
        } else if (code == "DE") {
            definition_ += (definition_.empty() ? "" : " ") + std::string(rest);
        } else if (code == "SQ") {
            state_ = State::Sequence;
        }
    }

    // A line of the feature table from its sixth column: the feature key
    // there, or blanks up to the location's or a qualifier's continuation.
    void tableLine(std::string_view body)
    {
        if (body.empty())
            return;
        if (body[0] != ' ') {
            finishFeature();
            const std::size_t blank = std::min(body.find(' '), body.size());
            key_ = std::string(body.substr(0, blank));
            location_.clear();
            appendLocation(body.substr(blank));
            featureLine_ = lines_.number();
            inFeature_ = inLocation_ = true;
            qualifiers_ = Qualifiers();
            return;
        }
        const std::string_view text = Trim(body);
        if (!inFeature_ || text.empty())
            return;
        if (quoted_) {
            if (target_ && !target_->empty())
                target_->push_back(' ');
            continueQuote(text);
        } else if (text[0] == '/') {
            inLocation_ = false;
            qualifier(text.substr(1));
        } else if (inLocation_) {
            appendLocation(text);
        }
    }

    void appendLocation(std::string_view text)
    {
        for (const char c : text)
            if (!IsBlank(c))
                location_.push_back(c);
    }

    void qualifier(std::string_view text)
    {
        const std::size_t eq = std::min(text.find('='), text.size());
        const std::string_view name = text.substr(0, eq);
        target_ = nullptr;
        for (std::size_t f = 0; f < std::size(Qualifiers::kNames); ++f)
            if (name == Qualifiers::kNames[f] && !qualifiers_.seen[f]) {
                qualifiers_.seen[f] = true;
                target_ = &qualifiers_.value[f];
            }
        std::string_view value = eq < text.size() ? text.substr(eq + 1) : std::string_view();
        if (!value.empty() && value[0] == '"') {
            quoted_ = true;
            quoteLine_ = lines_.number();
            quoteName_ = std::string(name);
            continueQuote(value.substr(1));
        } else if (target_) {
            *target_ = std::string(value);
        }
    }

    // Text inside a quoted value, up to its closing quote ("" is a quote).
    void continueQuote(std::string_view text)
    {
        for (std::size_t i = 0; i < text.size(); ++i) {
            if (text[i] == '"') {
                if (i + 1 < text.size() && text[i + 1] == '"') {
                    ++i;
                } else {
                    quoted_ = false;
                    return;
                }
            }
            if (target_)
                target_->push_back(text[i]);
        }
    }

    void finishFeature()
    {
        if (!inFeature_)
            return;
        inFeature_ = false;
        if (quoted_)
            fail(quoteLine_, "the value of /" + quoteName_ + " has no closing quote");
        const uint32_t rec = record();
        LocationReader location(location_, builder_.recordInfo(rec));
        const std::string problem = location.read();
        if (!problem.empty())
            fail(featureLine_, problem);
        result_.remoteParts += location.remoteParts;
        if (location.parts.empty()) {
            ++result_.remoteFeatures;
            return;
        }
        const auto& q = qualifiers_.value;
        if (key_ == "source" && !sourceSeen_) {
            sourceSeen_ = true;
            FeatureRecord& info = builder_.recordInfo(rec);
            info.chromosome = q[Qualifiers::Chromosome];
            info.plasmid = q[Qualifiers::Plasmid];
            info.organelle = q[Qualifiers::Organelle];
        }
        FeatureSetBuilder::Draft d;
        d.record = rec;
        d.type = key_;
        d.strand = location.reversed == 0                       ? Strand::Forward
                   : location.reversed == location.parts.size() ? Strand::Reverse
                                                                : Strand::None;
        d.partialStart = location.partialStart;
        d.partialEnd = location.partialEnd;
        d.site = location.site;
        d.joined = !location.unjoined;
        for (const auto f : {Qualifiers::Gene, Qualifiers::Locus, Qualifiers::StandardName, Qualifiers::MobileElement,
                             Qualifiers::ProteinId})
            if (d.name.empty())
                d.name = q[f];
        d.locusTag = q[Qualifiers::Locus];
        // A gene is known by its locus tag (else its name), and the features
        // that carry it belong to the gene.
        const std::string& geneKey = q[Qualifiers::Locus].empty() ? q[Qualifiers::Gene] : q[Qualifiers::Locus];
        if (key_ == "gene")
            d.id = geneKey;
        else
            d.parentId = geneKey;
        if (d.id.empty())
            d.id = q[Qualifiers::ProteinId];
        d.product = q[Qualifiers::Product];
        d.note = q[Qualifiers::Note];
        AtLine(featureLine_, [&] { builder_.add(d, location.parts); });
    }

    Lines lines_;
    bool embl_;
    AnnotationFile result_;
    FeatureSetBuilder builder_;
    State state_ = State::Between;
    std::string_view lastKeyword_;
    // The record being read.
    std::string locus_, accession_, version_, definition_;
    Topology topology_ = Topology::Unknown;
    uint64_t length_ = 0;
    uint32_t record_ = FeatureSet::kNone;
    bool sourceSeen_ = false;
    // The feature being read.
    bool inFeature_ = false;
    bool inLocation_ = false;
    std::string key_, location_;
    uint64_t featureLine_ = 0;
    Qualifiers qualifiers_;
    std::string* target_ = nullptr;
    bool quoted_ = false;
    uint64_t quoteLine_ = 0;
    std::string quoteName_;
};

} // namespace

AnnotationFile ReadGenBank(std::string_view content, std::string_view fileName)
{
    try {
        return FlatFileReader(content, false).read();
    } catch (const LineProblem& p) {
        Fail(fileName, p);
    }
}

AnnotationFile ReadEmbl(std::string_view content, std::string_view fileName)
{
    try {
        return FlatFileReader(content, true).read();
    } catch (const LineProblem& p) {
        Fail(fileName, p);
    }
}

} // namespace quillet
