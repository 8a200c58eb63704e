#pragma once
// The features of an annotation file (genes, RNAs, repeats and the rest)
// as one compact, immutable set: a small fixed row a feature, their texts
// in one pool, the parts of joined features in one shared vector, sorted by
// record and start, with an interval index for the features under a stretch
// of a record and a case-insensitive index of names, locus tags and IDs.
#include "analysis/recordformat.h"

#include <QString>
#include <QStringList>

#include <cstdint>
#include <span>
#include <string>
#include <string_view>
#include <unordered_map>
#include <vector>

namespace quillet {

// What a feature is, for drawing: the type text mapped by a small table.
enum class FeatureKind : uint8_t { Gene, Rrna, Trna, OtherRna, Repeat, Other };
FeatureKind KindOfType(std::string_view type);

enum class Strand : uint8_t { None, Forward, Reverse };

// A stretch of a record, 1-based and inclusive at both ends.
struct FeaturePart {
    uint32_t start = 0;
    uint32_t end = 0;
    friend bool operator==(const FeaturePart&, const FeaturePart&) = default;
};

// One feature as its reader found it. The texts point into the set.
struct Feature {
    uint32_t record = 0;
    // The span: from the lowest part start to the highest part end.
    uint32_t start = 0;
    uint32_t end = 0;
    // The parts in the order the location lists them (the lines of a GFF3
    // feature in file order); one part for a plain feature.
    std::span<const FeaturePart> parts;
    std::string_view type; // as the file writes it: "CDS", "mobile_element"
    FeatureKind kind = FeatureKind::Other;
    Strand strand = Strand::None;
    // The start or the end lies beyond the position given ("<" and ">"
    // of a GenBank location, start_range and end_range of GFF3), in
    // sequence coordinates whatever the strand.
    bool partialStart = false;
    bool partialEnd = false;
    // A site between two bases (GenBank "123^124", a BED line of length
    // 0): its one part is the base before the site.
    bool site = false;
    // Its parts run across the origin of a circular record: the span is
    // then most of the record, and the parts are what to draw.
    bool acrossOrigin = false;
    // The parts are joined (join(), GFF3 lines of one ID, BED blocks), not
    // merely listed (order()).
    bool joined = true;
    // The feature named by the first Parent (GFF3), by transcript_id or
    // gene_id (GTF), or the gene of the same locus tag or gene name
    // (GenBank, EMBL); or none.
    uint32_t parent = UINT32_MAX;
    std::string_view name; // gene name, else Name, locus tag, mobile element type, ID
    std::string_view locusTag;
    // GFF3 ID; GTF gene_id of a gene, transcript_id of a transcript and its
    // CDS; GenBank and EMBL: a gene's locus tag (else gene name), else the
    // protein_id.
    std::string_view id;
    std::string_view product;
    std::string_view note; // the first one
    std::string_view parentId;
};

// A record (sequence) named by the file, with what the file says of it.
struct FeatureRecord {
    std::string id;         // GenBank/EMBL: ACCESSION.VERSION, as FASTA headers name it
    std::string definition; // GenBank DEFINITION, EMBL DE, without the final period
    std::string chromosome; // of the source feature
    std::string plasmid;
    std::string organelle;
    Topology topology = Topology::Unknown;
    uint64_t length = 0; // 0 when the file does not say
    uint32_t firstFeature = 0;
    uint32_t featureCount = 0;
    // "ID DEFINITION", the header of the record's FASTA text.
    std::string fullName() const { return definition.empty() ? id : id + ' ' + definition; }
};

class FeatureSet {
public:
    static constexpr uint32_t kNone = UINT32_MAX;

    uint32_t size() const { return uint32_t(rows_.size()); }
    Feature feature(uint32_t i) const;
    FeaturePart span(uint32_t i) const { return rows_[i].span; }
    // The strand and the number of parts of feature i, without the rest of
    // it (what thinning a whole genome's track asks of every feature).
    Strand strand(uint32_t i) const { return Strand(rows_[i].flags & kStrandMask); }
    uint32_t partCount(uint32_t i) const { return rows_[i].partCount; }
    std::string_view type(uint32_t i) const { return types_[rows_[i].type]; }
    uint32_t parent(uint32_t i) const { return rows_[i].parent; }
    const std::vector<FeatureRecord>& records() const { return records_; }
    // The record with this ID (exactly), or kNone.
    uint32_t recordIndex(std::string_view id) const;
    // Appends to `out`, in set order, the features of `record` whose span
    // meets [from, to] (1-based, inclusive).
    void overlapping(uint32_t record, uint64_t from, uint64_t to, std::vector<uint32_t>& out) const;
    // The features whose name, locus tag or ID is `text`, ignoring ASCII
    // case, in set order.
    std::vector<uint32_t> find(std::string_view text) const;

    // Bytes held: the rows, parts, indexes, types and records; the text pool
    // apart.
    uint64_t memoryBytes() const;
    // The bytes of text in use (room reserved beyond them is never touched).
    uint64_t poolBytes() const { return pool_.size(); }

private:
    friend class FeatureSetBuilder;
    enum Flag : uint8_t {
        kStrandMask = 3,
        kPartialStart = 4,
        kPartialEnd = 8,
        kSite = 16,
        kAcrossOrigin = 32,
        kUnjoined = 64,
        kDropped = 128, // merged into another row while building
    };
    struct Row {
        FeaturePart span;
        uint32_t firstPart = 0; // in parts_, when partCount > 1
        uint32_t partCount = 1;
        uint32_t parent = kNone;
        uint32_t strings = 0; // offset in pool_ of the six texts
        uint16_t type = 0;
        uint8_t kind = 0;
        uint8_t flags = 0;
    };
    static_assert(sizeof(Row) == 28);
    // Text `field` (0 ID, 1 parent ID, 2 name, 3 locus tag, 4 product,
    // 5 note) of the texts at `offset`.
    std::string_view text(uint32_t offset, int field) const;
    uint32_t recordOf(uint32_t row) const;
    std::vector<uint64_t> buildIndex() const;
    void resolveParents(const std::vector<uint64_t>& keys);
    void buildTree();
    uint32_t buildTree(uint32_t base, uint32_t count, uint32_t firstBlock, uint32_t lo, uint32_t hi);
    void visit(uint32_t base, uint32_t count, uint32_t firstBlock, uint32_t lo, uint32_t hi, uint32_t from, uint32_t to,
               std::vector<uint32_t>& out) const;

    std::vector<Row> rows_;
    std::vector<FeaturePart> parts_;
    std::string pool_;
    std::vector<std::string> types_;
    std::vector<FeatureRecord> records_;
    std::vector<uint32_t> recordBlocks_; // first block of each record in tree_
    std::vector<uint32_t> tree_;         // per block of rows: the highest end in its subtree
    std::vector<uint32_t> recordsById_;
    std::vector<uint32_t> names_; // row << 2 | field, sorted by the hash of the text
};

// Gathers the features a reader finds, in file order, and makes the set.
class FeatureSetBuilder {
public:
    struct Draft {
        uint32_t record = 0;
        std::string_view type;
        Strand strand = Strand::None;
        bool partialStart = false;
        bool partialEnd = false;
        bool site = false;
        bool joined = true;
        std::string_view name, locusTag, id, product, note, parentId;
    };

    // The record with this ID, added at its first mention.
    uint32_t record(std::string_view id);
    FeatureRecord& recordInfo(uint32_t r) { return set_.records_[r]; }
    // Adds a feature of one or more parts (each with start <= end).
    // Throws Failure when the set would outgrow its 32-bit offsets.
    void add(const Draft& draft, std::span<const FeaturePart> parts);
    // Lines of one ID, type and record become one feature with their
    // parts in file order (GFF3's features over several lines).
    void mergeSameIds() { mergeIds_ = true; }
    // Room for the features of a table file of this many bytes (a line a
    // feature), so that the rows and texts seldom move as they grow.
    void expect(uint64_t contentBytes);
    // Takes the features of a builder of the next part of the same file,
    // as if they had been added here. Throws Failure like add().
    void absorb(FeatureSetBuilder&& next);
    uint32_t size() const { return uint32_t(set_.rows_.size()); }
    // The set: rows of one ID merged when asked, a feature past the end of
    // a circular record cut in two at its origin, sorted and indexed.
    FeatureSet finish();

private:
    uint16_t typeIndex(std::string_view type);
    void appendText(std::string_view s);
    void mergeRows();
    void markOrigins();
    void sortRows();

    FeatureSet set_;
    std::vector<uint32_t> rowRecords_;
    std::vector<uint32_t> idHashes_; // of each row's ID, 0 for none
    std::unordered_map<std::string, uint32_t> recordIds_;
    std::unordered_map<std::string, uint16_t> typeIds_;
    std::vector<uint8_t> typeKinds_;
    uint32_t lastRecord_ = FeatureSet::kNone;
    bool mergeIds_ = false;
};

// A record's ID: its name up to the first blank.
std::string_view RecordIdOf(std::string_view name);

// Features on records the sequence file does not hold, counted per record
// (in the set's order); the run's records are given by their names.
struct MissingRecord {
    std::string id;
    uint64_t features = 0;
};
std::vector<MissingRecord> MissingRecords(const FeatureSet& set, const QStringList& runRecordNames);
// "312 features on chr2, which the sequence file does not hold", a line a
// record, the first few records and then the rest in one line.
QString MissingRecordsReport(const std::vector<MissingRecord>& missing);

} // namespace quillet
