// Fuzzes the annotation readers (GFF3, GTF, BED, GenBank, EMBL, and the
// recognition of the format) and the feature set they make.
//
// Input: one byte choosing the reader (its value modulo 6: recognising the
// format, then GFF3, GTF, BED, GenBank, EMBL) and for the tables the
// number of pieces to read them in as well (1 + the value / 6 modulo 4),
// then the file content.
//
// Checks: a reader either gives a set or fails with a message that names
// the file; a table read in pieces gives the same set or failure; the set's features have parts of 1-based stretches within
// their span, come in record and start order, belong to the records they
// are counted in and have parents on their own record; every feature is
// found by its name, locus tag and ID; overlap queries (at positions taken
// from the features and the input) equal a plain scan; a ##FASTA section
// starts within the content.
#include "analysis/annotation.h"
#include "analysis/failure.h"
#include "fuzz/check.h"

#include <algorithm>
#include <cstdint>
#include <cstring>
#include <string>
#include <vector>

using namespace quillet;

namespace {

using fuzz::Check;

void CheckFeatures(const FeatureSet& set)
{
    uint64_t counted = 0;
    for (const FeatureRecord& r : set.records()) {
        Check(r.firstFeature == counted, "records cover the features in turn");
        counted += r.featureCount;
    }
    Check(counted == set.size(), "the records count every feature");
    std::vector<Feature> all;
    for (uint32_t i = 0; i < set.size(); ++i) {
        const Feature f = set.feature(i);
        const FeatureRecord& rec = set.records()[f.record];
        Check(i >= rec.firstFeature && i < rec.firstFeature + rec.featureCount, "a feature lies in its record");
        Check(!f.parts.empty(), "a feature has parts");
        uint32_t low = UINT32_MAX, high = 0;
        for (const FeaturePart& p : f.parts) {
            Check(p.start >= 1 && p.start <= p.end, "a part is a 1-based stretch");
            low = std::min(low, p.start);
            high = std::max(high, p.end);
        }
        Check(f.start == low && f.end == high, "the span runs from the lowest part to the highest");
        Check(f.parent == FeatureSet::kNone ||
                  (f.parent < set.size() && f.parent != i && set.feature(f.parent).record == f.record),
              "a parent is another feature of the same record");
        if (i > 0)
            Check(all.back().record < f.record || (all.back().record == f.record && all.back().start <= f.start),
                  "features in record and start order");
        all.push_back(f);
    }
    for (uint32_t i = 0; i < set.size() && i < 300; ++i)
        for (const std::string_view key : {all[i].name, all[i].locusTag, all[i].id}) {
            if (key.empty())
                continue;
            const std::vector<uint32_t> found = set.find(key);
            Check(std::find(found.begin(), found.end(), i) != found.end(), "found by its name, locus tag and ID");
        }
    if (set.size() > 3000)
        return;
    std::vector<std::pair<uint64_t, uint64_t>> queries = {{1, UINT32_MAX}, {0, 0}};
    for (std::size_t i = 0; i < all.size() && i < 40; ++i) {
        queries.push_back({all[i].start, all[i].start});
        queries.push_back({all[i].end, uint64_t(all[i].end) + 7});
        queries.push_back({all[i].start > 9 ? all[i].start - 9 : 1, all[i].start > 9 ? all[i].start - 1 : 1});
    }
    for (uint32_t r = 0; r < set.records().size(); ++r)
        for (const auto& [from, to] : queries) {
            std::vector<uint32_t> got, expected;
            set.overlapping(r, from, to, got);
            for (uint32_t i = 0; i < all.size(); ++i)
                if (all[i].record == r && all[i].start <= to && all[i].end >= from)
                    expected.push_back(i);
            Check(got == expected, "overlap queries equal a scan");
        }
}

// Everything a reading gives, as text.
std::string Described(const AnnotationFile& file)
{
    const FeatureSet& set = file.features;
    std::string s = std::to_string(file.fastaOffset) + " " + std::to_string(file.remoteParts) + "\n";
    for (const FeatureRecord& r : set.records())
        s += r.id + " " + std::to_string(r.length) + " " + std::to_string(int(r.topology)) + " " + r.definition + " " +
             std::to_string(r.featureCount) + "\n";
    for (uint32_t i = 0; i < set.size(); ++i) {
        const Feature f = set.feature(i);
        s += std::string(f.type) + " " + std::to_string(int(f.strand)) + std::to_string(f.partialStart) +
             std::to_string(f.partialEnd) + std::to_string(f.site) + std::to_string(f.acrossOrigin) +
             std::to_string(f.joined) + " " + std::to_string(f.parent);
        for (const FeaturePart& p : f.parts)
            s += " " + std::to_string(p.start) + "-" + std::to_string(p.end);
        for (const std::string_view t : {f.name, f.locusTag, f.id, f.product, f.note, f.parentId})
            s += "|" + std::string(t);
        s += "\n";
    }
    return s;
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    if (size == 0)
        return 0;
    const std::string content(reinterpret_cast<const char*>(data) + 1, size - 1);
    const int choice = data[0] % 6;
    const int pieces = 1 + (data[0] / 6) % 4;
    const auto read = [&](int n) {
        switch (choice) {
        case 1: return ReadGff3(content, "f.txt", n);
        case 2: return ReadGtf(content, "f.txt", n);
        case 3: return ReadBed(content, "f.txt", n);
        case 4: return ReadGenBank(content, "f.txt");
        case 5: return ReadEmbl(content, "f.txt");
        default: return ReadAnnotation(content, "f.txt");
        }
    };
    const AnnotationKind kind = SniffAnnotation(content);
    Check((kind.format == AnnotationFormat::None) != kind.what.empty(), "a kind that is no format says what it is");
    AnnotationFile file;
    std::string failure;
    try {
        file = read(1);
    } catch (const Failure& e) {
        failure = e.what();
        Check(failure.rfind("f.txt line ", 0) == 0 || failure.rfind("f.txt: ", 0) == 0, "a failure names the file");
        Check(choice != 0 || kind.format != AnnotationFormat::None || failure.rfind("f.txt: ", 0) == 0,
              "other kinds are refused as a whole");
    }
    // A table read in pieces (at once, as large files are) is the same.
    if (choice >= 1 && choice <= 3 && pieces > 1) {
        try {
            const AnnotationFile inPieces = read(pieces);
            Check(failure.empty(), "pieces fail where the whole fails");
            Check(Described(inPieces) == Described(file), "pieces read as the whole");
        } catch (const Failure& e) {
            Check(failure == e.what(), "pieces fail as the whole does");
        }
    }
    if (!failure.empty())
        return 0;
    if (choice == 0)
        Check(file.format == kind.format, "the recognised format is the one read");
    Check(file.fastaOffset >= -1 && file.fastaOffset <= int64_t(content.size()), "FASTA starts within the content");
    Check(file.remoteFeatures <= file.remoteParts, "a skipped feature had parts on other entries");
    CheckFeatures(file.features);
    return 0;
}
