#include "analysis/features.h"

#include "analysis/failure.h"
#include "analysis/numtext.h"

#include <algorithm>
#include <array>
#include <unordered_set>

namespace quillet {

namespace {

constexpr uint32_t kBlock = 16;         // rows a block of the interval index
constexpr uint32_t kMaxRows = 1u << 30; // the name index keeps row << 2 | field
constexpr int kTexts = 6;
// The texts of a feature in the pool, the most looked at first.
enum Text { kIdText, kParentText, kNameText, kLocusText, kProductText, kNoteText };
// The texts the name index holds, by the field of an entry.
constexpr int kIndexedText[3] = {kNameText, kLocusText, kIdText};

char Lower(char c)
{
    return c >= 'A' && c <= 'Z' ? char(c - 'A' + 'a') : c;
}

bool EqualFold(std::string_view a, std::string_view b)
{
    if (a.size() != b.size())
        return false;
    for (std::size_t i = 0; i < a.size(); ++i)
        if (Lower(a[i]) != Lower(b[i]))
            return false;
    return true;
}

// FNV-1a over the text with ASCII letters folded to lower case.
uint32_t FoldHash(std::string_view s)
{
    uint32_t h = 2166136261u;
    for (const char c : s)
        h = (h ^ uint8_t(Lower(c))) * 16777619u;
    return h;
}

uint32_t MixHash(uint32_t h, uint32_t v)
{
    for (int i = 0; i < 4; ++i, v >>= 8)
        h = (h ^ (v & 0xFF)) * 16777619u;
    return h;
}

// Sorts by the upper 32 bits, keeping the order of equal keys (a least
// significant digit radix sort, three passes of 11 bits).
void SortByHigh32(std::vector<uint64_t>& v)
{
    std::vector<uint64_t> scratch(v.size());
    for (int shift = 32; shift < 64; shift += 11) {
        std::vector<std::size_t> count(2049, 0);
        for (const uint64_t x : v)
            ++count[((x >> shift) & 2047) + 1];
        for (std::size_t i = 1; i < count.size(); ++i)
            count[i] += count[i - 1];
        for (const uint64_t x : v)
            scratch[count[(x >> shift) & 2047]++] = x;
        v.swap(scratch);
    }
}

void AppendVarint(std::string& out, uint64_t v)
{
    while (v >= 0x80) {
        out.push_back(char(uint8_t(v) | 0x80));
        v >>= 7;
    }
    out.push_back(char(v));
}

uint64_t ReadVarint(const char*& p)
{
    uint64_t v = 0;
    for (int shift = 0;; shift += 7) {
        const auto b = uint8_t(*p++);
        v |= uint64_t(b & 0x7F) << shift;
        if (b < 0x80)
            return v;
    }
}

struct KindEntry {
    std::string_view type;
    FeatureKind kind;
};

constexpr KindEntry kKinds[] = {
    {"gene", FeatureKind::Gene},
    {"CDS", FeatureKind::Gene},
    {"mRNA", FeatureKind::Gene},
    {"exon", FeatureKind::Gene},
    {"intron", FeatureKind::Gene},
    {"transcript", FeatureKind::Gene},
    {"primary_transcript", FeatureKind::Gene},
    {"prim_transcript", FeatureKind::Gene},
    {"pseudogene", FeatureKind::Gene},
    {"pseudogenic_transcript", FeatureKind::Gene},
    {"five_prime_UTR", FeatureKind::Gene},
    {"three_prime_UTR", FeatureKind::Gene},
    {"5'UTR", FeatureKind::Gene},
    {"3'UTR", FeatureKind::Gene},
    {"UTR", FeatureKind::Gene},
    {"start_codon", FeatureKind::Gene},
    {"stop_codon", FeatureKind::Gene},
    {"polypeptide", FeatureKind::Gene},
    {"mat_peptide", FeatureKind::Gene},
    {"sig_peptide", FeatureKind::Gene},
    {"transit_peptide", FeatureKind::Gene},
    {"propeptide", FeatureKind::Gene},
    {"rRNA", FeatureKind::Rrna},
    {"pseudogenic_rRNA", FeatureKind::Rrna},
    {"tRNA", FeatureKind::Trna},
    {"pseudogenic_tRNA", FeatureKind::Trna},
    {"mobile_element", FeatureKind::Repeat},
    {"mobile_genetic_element", FeatureKind::Repeat},
    {"transposable_element", FeatureKind::Repeat},
    {"insertion_sequence", FeatureKind::Repeat},
    {"transposon", FeatureKind::Repeat},
    {"LTR", FeatureKind::Repeat},
    {"microsatellite", FeatureKind::Repeat},
    {"satellite_DNA", FeatureKind::Repeat},
    {"CRISPR", FeatureKind::Repeat},
};

} // namespace

FeatureKind KindOfType(std::string_view type)
{
    for (const KindEntry& e : kKinds)
        if (EqualFold(e.type, type))
            return e.kind;
    // ncRNA, tmRNA, misc_RNA, lnc_RNA, snoRNA ...; repeat_region,
    // inverted_repeat, tandem_repeat ...
    if (type.size() >= 3 && EqualFold(type.substr(type.size() - 3), "RNA"))
        return FeatureKind::OtherRna;
    for (std::size_t i = 0; i + 6 <= type.size(); ++i)
        if (EqualFold(type.substr(i, 6), "repeat"))
            return FeatureKind::Repeat;
    return FeatureKind::Other;
}

std::string_view FeatureSet::text(uint32_t offset, int field) const
{
    const char* p = pool_.data() + offset;
    for (int i = 0;; ++i) {
        const auto n = std::size_t(ReadVarint(p));
        if (i == field)
            return {p, n};
        p += n;
    }
}

uint32_t FeatureSet::recordOf(uint32_t row) const
{
    const auto it = std::upper_bound(records_.begin(), records_.end(), row, [](uint32_t r, const FeatureRecord& rec) {
        return r < rec.firstFeature + rec.featureCount;
    });
    return uint32_t(it - records_.begin());
}

Feature FeatureSet::feature(uint32_t i) const
{
    const Row& row = rows_[i];
    Feature f;
    f.record = recordOf(i);
    f.start = row.span.start;
    f.end = row.span.end;
    f.parts = row.partCount == 1 ? std::span<const FeaturePart>(&row.span, 1)
                                 : std::span<const FeaturePart>(parts_.data() + row.firstPart, row.partCount);
    f.type = types_[row.type];
    f.kind = FeatureKind(row.kind);
    f.strand = Strand(row.flags & kStrandMask);
    f.partialStart = row.flags & kPartialStart;
    f.partialEnd = row.flags & kPartialEnd;
    f.site = row.flags & kSite;
    f.acrossOrigin = row.flags & kAcrossOrigin;
    f.joined = !(row.flags & kUnjoined);
    f.parent = row.parent;
    const char* p = pool_.data() + row.strings;
    std::string_view* texts[kTexts] = {&f.id, &f.parentId, &f.name, &f.locusTag, &f.product, &f.note};
    for (std::string_view* t : texts) {
        const auto n = std::size_t(ReadVarint(p));
        *t = {p, n};
        p += n;
    }
    return f;
}

uint32_t FeatureSet::recordIndex(std::string_view id) const
{
    const auto it = std::lower_bound(recordsById_.begin(), recordsById_.end(), id,
                                     [&](uint32_t r, std::string_view key) { return records_[r].id < key; });
    return it != recordsById_.end() && records_[*it].id == id ? *it : kNone;
}

void FeatureSet::visit(uint32_t base, uint32_t count, uint32_t firstBlock, uint32_t lo, uint32_t hi, uint32_t from,
                       uint32_t to, std::vector<uint32_t>& out) const
{
    // The blocks [lo, hi) form a subtree whose root is the middle block and
    // whose highest end is kept at the root (the layout of buildTree).
    while (lo < hi) {
        const uint32_t mid = lo + (hi - lo) / 2;
        if (tree_[firstBlock + mid] < from)
            return;
        visit(base, count, firstBlock, lo, mid, from, to, out);
        const uint32_t first = base + mid * kBlock, last = base + std::min(count, (mid + 1) * kBlock);
        if (rows_[first].span.start > to)
            return;
        for (uint32_t r = first; r < last && rows_[r].span.start <= to; ++r)
            if (rows_[r].span.end >= from)
                out.push_back(r);
        lo = mid + 1;
    }
}

void FeatureSet::overlapping(uint32_t record, uint64_t from, uint64_t to, std::vector<uint32_t>& out) const
{
    if (record >= records_.size() || from > to || from > UINT32_MAX)
        return;
    const FeatureRecord& rec = records_[record];
    const uint32_t blocks = (rec.featureCount + kBlock - 1) / kBlock;
    visit(rec.firstFeature, rec.featureCount, recordBlocks_[record], 0, blocks, uint32_t(from),
          uint32_t(std::min<uint64_t>(to, UINT32_MAX)), out);
}

std::vector<uint32_t> FeatureSet::find(std::string_view key) const
{
    const uint32_t h = FoldHash(key);
    const auto entryText = [&](uint32_t e) { return text(rows_[e >> 2].strings, kIndexedText[e & 3]); };
    auto it = std::lower_bound(names_.begin(), names_.end(), h,
                               [&](uint32_t e, uint32_t value) { return FoldHash(entryText(e)) < value; });
    std::vector<uint32_t> found;
    for (; it != names_.end() && FoldHash(entryText(*it)) == h; ++it)
        if (EqualFold(entryText(*it), key))
            found.push_back(*it >> 2);
    std::sort(found.begin(), found.end());
    found.erase(std::unique(found.begin(), found.end()), found.end());
    return found;
}

uint64_t FeatureSet::memoryBytes() const
{
    uint64_t bytes =
        sizeof(*this) + rows_.capacity() * sizeof(Row) + parts_.capacity() * sizeof(FeaturePart) +
        (recordBlocks_.capacity() + tree_.capacity() + recordsById_.capacity() + names_.capacity()) * sizeof(uint32_t);
    for (const std::string& t : types_)
        bytes += sizeof(t) + t.capacity();
    for (const FeatureRecord& r : records_)
        bytes += sizeof(r) + r.id.capacity() + r.definition.capacity() + r.chromosome.capacity() +
                 r.plasmid.capacity() + r.organelle.capacity();
    return bytes;
}

// The name index: every name, locus tag and ID that differs from the
// texts before it, by the hash of its folded text, in row order for equal
// hashes. Returned with the hashes in the upper half, for resolveParents.
std::vector<uint64_t> FeatureSet::buildIndex() const
{
    std::vector<uint64_t> keys;
    keys.reserve(rows_.size() * 2);
    for (uint32_t i = 0; i < rows_.size(); ++i) {
        const std::string_view name = text(rows_[i].strings, kNameText), locus = text(rows_[i].strings, kLocusText),
                               id = text(rows_[i].strings, kIdText);
        const auto add = [&](std::string_view s, uint32_t field) {
            keys.push_back(uint64_t(FoldHash(s)) << 32 | (i << 2 | field));
        };
        if (!name.empty())
            add(name, 0);
        if (!locus.empty() && !EqualFold(locus, name))
            add(locus, 1);
        if (!id.empty() && !EqualFold(id, name) && !EqualFold(id, locus))
            add(id, 2);
    }
    SortByHigh32(keys);
    return keys;
}

// Each feature's first Parent names the feature with that ID on the same
// record; a feature that is itself a child of that ID is a sibling, not the
// parent (GTF's CDS carries its transcript's ID). Queries and index are
// both in hash order, so one merging pass resolves them all.
void FeatureSet::resolveParents(const std::vector<uint64_t>& keys)
{
    std::vector<uint64_t> queries;
    for (uint32_t i = 0; i < rows_.size(); ++i) {
        const std::string_view pid = text(rows_[i].strings, kParentText);
        if (!pid.empty())
            queries.push_back(uint64_t(FoldHash(pid)) << 32 | i);
    }
    SortByHigh32(queries);
    std::size_t a = 0;
    for (const uint64_t q : queries) {
        const uint64_t hq = q >> 32;
        while (a < keys.size() && keys[a] >> 32 < hq)
            ++a;
        const auto child = uint32_t(q);
        const std::string_view pid = text(rows_[child].strings, kParentText);
        const uint32_t record = recordOf(child);
        for (std::size_t k = a; k < keys.size() && keys[k] >> 32 == hq; ++k) {
            const uint32_t r = uint32_t(keys[k]) >> 2;
            if (r != child && text(rows_[r].strings, kIdText) == pid && text(rows_[r].strings, kParentText) != pid &&
                recordOf(r) == record) {
                rows_[child].parent = r;
                break;
            }
        }
    }
}

uint32_t FeatureSet::buildTree(uint32_t base, uint32_t count, uint32_t firstBlock, uint32_t lo, uint32_t hi)
{
    if (lo >= hi)
        return 0;
    const uint32_t mid = lo + (hi - lo) / 2;
    uint32_t highest = 0;
    for (uint32_t r = base + mid * kBlock; r < base + std::min(count, (mid + 1) * kBlock); ++r)
        highest = std::max(highest, rows_[r].span.end);
    highest = std::max(
        {highest, buildTree(base, count, firstBlock, lo, mid), buildTree(base, count, firstBlock, mid + 1, hi)});
    tree_[firstBlock + mid] = highest;
    return highest;
}

void FeatureSet::buildTree()
{
    recordBlocks_.resize(records_.size());
    uint32_t blocks = 0;
    for (std::size_t r = 0; r < records_.size(); ++r) {
        recordBlocks_[r] = blocks;
        blocks += (records_[r].featureCount + kBlock - 1) / kBlock;
    }
    tree_.assign(blocks, 0);
    for (std::size_t r = 0; r < records_.size(); ++r)
        buildTree(records_[r].firstFeature, records_[r].featureCount, recordBlocks_[r], 0,
                  (records_[r].featureCount + kBlock - 1) / kBlock);
}

uint32_t FeatureSetBuilder::record(std::string_view id)
{
    if (lastRecord_ != FeatureSet::kNone && set_.records_[lastRecord_].id == id)
        return lastRecord_;
    const auto [it, added] = recordIds_.try_emplace(std::string(id), uint32_t(set_.records_.size()));
    if (added) {
        set_.records_.emplace_back();
        set_.records_.back().id = std::string(id);
    }
    return lastRecord_ = it->second;
}

uint16_t FeatureSetBuilder::typeIndex(std::string_view type)
{
    // Files use a few types, mostly in turns: look through them first.
    for (std::size_t i = 0; i < set_.types_.size() && i < 32; ++i)
        if (set_.types_[i] == type)
            return uint16_t(i);
    const auto [it, added] = typeIds_.try_emplace(std::string(type), uint16_t(set_.types_.size()));
    if (added) {
        if (set_.types_.size() > UINT16_MAX)
            throw Failure("it names more than 65,535 types of feature");
        set_.types_.emplace_back(type);
        typeKinds_.push_back(uint8_t(KindOfType(type)));
    }
    return it->second;
}

void FeatureSetBuilder::appendText(std::string_view s)
{
    AppendVarint(set_.pool_, s.size());
    set_.pool_.append(s);
}

void FeatureSetBuilder::add(const Draft& d, std::span<const FeaturePart> parts)
{
    constexpr std::size_t kLongest = std::size_t(1) << 24; // bytes kept of one text
    const std::string_view texts[kTexts] = {d.id, d.parentId, d.name, d.locusTag, d.product, d.note};
    uint64_t bytes = 0;
    for (const std::string_view s : texts)
        bytes += 4 + std::min(s.size(), kLongest);
    if (set_.rows_.size() >= kMaxRows || set_.pool_.size() + bytes >= UINT32_MAX ||
        set_.parts_.size() + parts.size() >= UINT32_MAX)
        throw Failure("it holds more features than can be kept (over 1,073,741,824, or 4 GB of their texts)");
    FeatureSet::Row row;
    row.span = parts[0];
    if (parts.size() > 1) {
        row.firstPart = uint32_t(set_.parts_.size());
        row.partCount = uint32_t(parts.size());
        set_.parts_.insert(set_.parts_.end(), parts.begin(), parts.end());
        for (const FeaturePart& p : parts) {
            row.span.start = std::min(row.span.start, p.start);
            row.span.end = std::max(row.span.end, p.end);
        }
    }
    row.strings = uint32_t(set_.pool_.size());
    for (const std::string_view s : texts)
        appendText(s.substr(0, std::min(s.size(), kLongest)));
    row.type = typeIndex(d.type);
    row.kind = typeKinds_[row.type];
    row.flags = uint8_t(uint8_t(d.strand) | (d.partialStart ? FeatureSet::kPartialStart : 0) |
                        (d.partialEnd ? FeatureSet::kPartialEnd : 0) | (d.site ? FeatureSet::kSite : 0) |
                        (d.joined ? 0 : FeatureSet::kUnjoined));
    set_.rows_.push_back(row);
    rowRecords_.push_back(d.record);
    if (mergeIds_)
        idHashes_.push_back(d.id.empty() ? 0 : std::max(1u, FoldHash(d.id)));
}

void FeatureSetBuilder::expect(uint64_t contentBytes)
{
    const uint64_t rows = std::min<uint64_t>(contentBytes / 256, kMaxRows);
    set_.rows_.reserve(std::size_t(rows));
    rowRecords_.reserve(std::size_t(rows));
    if (mergeIds_)
        idHashes_.reserve(std::size_t(rows));
    set_.pool_.reserve(std::size_t(std::min<uint64_t>(contentBytes / 3, UINT32_MAX)));
}

void FeatureSetBuilder::absorb(FeatureSetBuilder&& next)
{
    FeatureSet& n = next.set_;
    std::vector<uint32_t> records(n.records_.size());
    for (std::size_t r = 0; r < records.size(); ++r) {
        const FeatureRecord& theirs = n.records_[r];
        FeatureRecord& ours = set_.records_[records[r] = record(theirs.id)];
        if (ours.length == 0)
            ours.length = theirs.length;
        if (ours.topology == Topology::Unknown)
            ours.topology = theirs.topology;
        for (auto field : {&FeatureRecord::definition, &FeatureRecord::chromosome, &FeatureRecord::plasmid,
                           &FeatureRecord::organelle})
            if ((ours.*field).empty())
                ours.*field = theirs.*field;
    }
    std::vector<uint16_t> types(n.types_.size());
    for (std::size_t t = 0; t < types.size(); ++t)
        types[t] = typeIndex(n.types_[t]);
    if (set_.rows_.size() + n.rows_.size() >= kMaxRows || set_.pool_.size() + n.pool_.size() >= UINT32_MAX ||
        set_.parts_.size() + n.parts_.size() >= UINT32_MAX)
        throw Failure("it holds more features than can be kept (over 1,073,741,824, or 4 GB of their texts)");
    const auto poolBase = uint32_t(set_.pool_.size()), partBase = uint32_t(set_.parts_.size());
    set_.pool_.append(n.pool_);
    set_.parts_.insert(set_.parts_.end(), n.parts_.begin(), n.parts_.end());
    set_.rows_.reserve(set_.rows_.size() + n.rows_.size());
    for (std::size_t i = 0; i < n.rows_.size(); ++i) {
        FeatureSet::Row row = n.rows_[i];
        row.strings += poolBase;
        row.firstPart += row.partCount > 1 ? partBase : 0;
        row.type = types[row.type];
        set_.rows_.push_back(row);
        rowRecords_.push_back(records[next.rowRecords_[i]]);
    }
    idHashes_.insert(idHashes_.end(), next.idHashes_.begin(), next.idHashes_.end());
    next = FeatureSetBuilder();
}

// Rows of one ID, type and record: the first takes the parts of all, in
// file order, and the others are dropped.
void FeatureSetBuilder::mergeRows()
{
    auto& rows = set_.rows_;
    std::vector<uint64_t> keys;
    for (uint32_t i = 0; i < rows.size(); ++i)
        if (idHashes_[i] != 0)
            keys.push_back(uint64_t(MixHash(MixHash(idHashes_[i], rowRecords_[i]), rows[i].type)) << 32 | i);
    SortByHigh32(keys);
    const auto same = [&](uint32_t a, uint32_t b) {
        return rowRecords_[a] == rowRecords_[b] && rows[a].type == rows[b].type &&
               set_.text(rows[a].strings, kIdText) == set_.text(rows[b].strings, kIdText);
    };
    std::vector<uint32_t> group;
    std::vector<FeaturePart> parts;
    for (std::size_t k = 0; k < keys.size();) {
        std::size_t end = k + 1;
        while (end < keys.size() && keys[end] >> 32 == keys[k] >> 32)
            ++end;
        // Within a run of one hash, each row not yet taken leads a group.
        for (std::size_t lead = k; lead < end; ++lead) {
            const auto first = uint32_t(keys[lead]);
            if (rows[first].flags & FeatureSet::kDropped)
                continue;
            group.assign(1, first);
            for (std::size_t m = lead + 1; m < end; ++m)
                if (!(rows[uint32_t(keys[m])].flags & FeatureSet::kDropped) && same(first, uint32_t(keys[m])))
                    group.push_back(uint32_t(keys[m]));
            if (group.size() == 1)
                continue;
            parts.clear();
            FeatureSet::Row& leader = rows[first];
            for (const uint32_t g : group) {
                const FeatureSet::Row& row = rows[g];
                if (row.partCount == 1)
                    parts.push_back(row.span);
                else
                    parts.insert(parts.end(), set_.parts_.begin() + row.firstPart,
                                 set_.parts_.begin() + row.firstPart + row.partCount);
                leader.flags |= row.flags & (FeatureSet::kPartialStart | FeatureSet::kPartialEnd);
                leader.span.start = std::min(leader.span.start, row.span.start);
                leader.span.end = std::max(leader.span.end, row.span.end);
                if (g != first)
                    rows[g].flags |= FeatureSet::kDropped;
            }
            if (set_.parts_.size() + parts.size() >= UINT32_MAX)
                throw Failure("it holds more feature parts than can be kept");
            leader.firstPart = uint32_t(set_.parts_.size());
            leader.partCount = uint32_t(parts.size());
            set_.parts_.insert(set_.parts_.end(), parts.begin(), parts.end());
        }
        k = end;
    }
}

// On circular records: cuts a feature that ends past the record's end
// (as GFF3 writes one across the origin) in two, and marks joins across
// the origin.
void FeatureSetBuilder::markOrigins()
{
    for (uint32_t i = 0; i < set_.rows_.size(); ++i) {
        FeatureSet::Row& row = set_.rows_[i];
        const FeatureRecord& rec = set_.records_[rowRecords_[i]];
        if (rec.topology != Topology::Circular || rec.length == 0 || (row.flags & FeatureSet::kDropped))
            continue;
        const FeaturePart span = row.span;
        if (row.partCount == 1 && span.end > rec.length && span.start <= rec.length &&
            span.end - rec.length < span.start) {
            if (set_.parts_.size() + 2 >= UINT32_MAX)
                throw Failure("it holds more feature parts than can be kept");
            row.firstPart = uint32_t(set_.parts_.size());
            row.partCount = 2;
            set_.parts_.push_back({span.start, uint32_t(rec.length)});
            set_.parts_.push_back({1, uint32_t(span.end - rec.length)});
            row.span = {1, uint32_t(rec.length)};
        }
        const FeaturePart* p = set_.parts_.data() + row.firstPart;
        for (uint32_t k = 1; k < row.partCount; ++k)
            if ((p[k - 1].end == rec.length && p[k].start == 1) || (p[k].end == rec.length && p[k - 1].start == 1))
                row.flags |= FeatureSet::kAcrossOrigin;
    }
}

// Drops the merged rows and orders the others by record and start (file
// order for ties).
void FeatureSetBuilder::sortRows()
{
    auto& rows = set_.rows_;
    std::vector<uint32_t> order;
    order.reserve(rows.size());
    bool sorted = true;
    for (uint32_t i = 0; i < rows.size(); ++i) {
        if (rows[i].flags & FeatureSet::kDropped)
            continue;
        if (!order.empty()) {
            const uint32_t prev = order.back();
            sorted = sorted && (rowRecords_[prev] < rowRecords_[i] ||
                                (rowRecords_[prev] == rowRecords_[i] && rows[prev].span.start <= rows[i].span.start));
        }
        order.push_back(i);
    }
    if (!sorted) {
        // By (record, start, row): the keys side by side sort faster than
        // rows looked up from a comparison.
        std::vector<std::pair<uint64_t, uint32_t>> keyed(order.size());
        for (std::size_t k = 0; k < order.size(); ++k)
            keyed[k] = {uint64_t(rowRecords_[order[k]]) << 32 | rows[order[k]].span.start, order[k]};
        std::sort(keyed.begin(), keyed.end());
        for (std::size_t k = 0; k < order.size(); ++k)
            order[k] = keyed[k].second;
    }
    std::vector<FeatureSet::Row> ordered;
    ordered.reserve(order.size());
    for (const uint32_t i : order)
        ordered.push_back(rows[i]);
    rows.swap(ordered);
    for (FeatureRecord& rec : set_.records_)
        rec.featureCount = 0;
    for (const uint32_t i : order)
        ++set_.records_[rowRecords_[i]].featureCount;
    uint32_t first = 0;
    for (FeatureRecord& rec : set_.records_) {
        rec.firstFeature = first;
        first += rec.featureCount;
    }
}

FeatureSet FeatureSetBuilder::finish()
{
    if (mergeIds_)
        mergeRows();
    markOrigins();
    sortRows();
    rowRecords_ = {};
    idHashes_ = {};
    recordIds_ = {};
    typeIds_ = {};
    typeKinds_ = {};
    FeatureSet set = std::move(set_);
    set_ = FeatureSet();
    lastRecord_ = FeatureSet::kNone;
    set.parts_.shrink_to_fit();
    {
        const std::vector<uint64_t> keys = set.buildIndex();
        set.resolveParents(keys);
        set.names_.resize(keys.size());
        for (std::size_t k = 0; k < keys.size(); ++k)
            set.names_[k] = uint32_t(keys[k]);
    }
    set.buildTree();
    set.recordsById_.resize(set.records_.size());
    for (uint32_t r = 0; r < set.records_.size(); ++r)
        set.recordsById_[r] = r;
    std::sort(set.recordsById_.begin(), set.recordsById_.end(),
              [&](uint32_t a, uint32_t b) { return set.records_[a].id < set.records_[b].id; });
    return set;
}

std::string_view RecordIdOf(std::string_view name)
{
    const std::size_t blank = name.find_first_of(" \t");
    return blank == std::string_view::npos ? name : name.substr(0, blank);
}

std::vector<MissingRecord> MissingRecords(const FeatureSet& set, const QStringList& runRecordNames)
{
    std::unordered_set<std::string> held;
    for (const QString& name : runRecordNames) {
        const QByteArray utf8 = name.toUtf8();
        held.emplace(RecordIdOf(std::string_view(utf8.constData(), std::size_t(utf8.size()))));
    }
    std::vector<MissingRecord> missing;
    for (const FeatureRecord& rec : set.records())
        if (rec.featureCount > 0 && !held.count(rec.id))
            missing.push_back({rec.id, rec.featureCount});
    return missing;
}

QString MissingRecordsReport(const std::vector<MissingRecord>& missing)
{
    constexpr std::size_t kShown = 5;
    const auto features = [](uint64_t n) {
        return GroupedInteger(int64_t(n)) + (n == 1 ? QStringLiteral(" feature") : QStringLiteral(" features"));
    };
    QStringList lines;
    const std::size_t shown = missing.size() <= kShown ? missing.size() : kShown - 1;
    for (std::size_t i = 0; i < shown; ++i)
        lines << QStringLiteral("%1 on %2, which the sequence file does not hold")
                     .arg(features(missing[i].features), QString::fromStdString(missing[i].id));
    if (shown < missing.size()) {
        uint64_t rest = 0;
        for (std::size_t i = shown; i < missing.size(); ++i)
            rest += missing[i].features;
        lines << QStringLiteral("and %1 on %2 more records, which the sequence file does not hold")
                     .arg(features(rest), GroupedInteger(int64_t(missing.size() - shown)));
    }
    return lines.join(u'\n');
}

} // namespace quillet
