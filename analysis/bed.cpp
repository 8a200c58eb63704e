// BED, 3 to 12 columns (more are ignored): 0-based half-open stretches,
// turned into 1-based inclusive parts; the blocks of BED12 are the parts.
#include "analysis/annotation.h"
#include "analysis/annotationtext.h"

#include <vector>

namespace quillet {

using namespace annotation;

namespace {

constexpr int kMaxColumns = 12;

// The lines from `from` to `to` of a BED content (a TableReading reads a large
// file in several such pieces at once).
class BedPiece {
public:
    BedPiece(std::string_view content, std::size_t from, std::size_t to, uint64_t expected, bool atStart, bool)
        : lines_(content, from, to, atStart)
    {
        builder.expect(expected);
    }

    FeatureSetBuilder builder;
    int64_t fastaOffset = -1; // BED has no FASTA section
    uint64_t lines() const { return lines_.number(); }

    void read()
    {
        std::string_view line;
        while (lines_.next(line)) {
            const std::string_view t = Trim(line);
            if (t.empty() || t[0] == '#' || IsWord(t, "track") || IsWord(t, "browser"))
                continue;
            featureLine(t);
        }
    }

private:
    [[noreturn]] void fail(const std::string& what) const { LineFailure(lines_.number(), what); }

    static bool IsWord(std::string_view line, std::string_view word)
    {
        return line.substr(0, word.size()) == word && (line.size() == word.size() || IsBlank(line[word.size()]));
    }

    // Tabs separate the columns; a line without a tab is split at blanks.
    int split(std::string_view line, std::string_view* col) const
    {
        const bool tabs = line.find('\t') != std::string_view::npos;
        int n = 0;
        std::size_t i = 0;
        while (i <= line.size() && n < kMaxColumns) {
            std::size_t end = i;
            while (end < line.size() && (tabs ? line[end] != '\t' : !IsBlank(line[end])))
                ++end;
            col[n++] = tabs ? Trim(line.substr(i, end - i)) : line.substr(i, end - i);
            i = end + 1;
            while (!tabs && i < line.size() && IsBlank(line[i]))
                ++i;
        }
        return n;
    }

    uint64_t number(std::string_view text, const char* what) const
    {
        uint64_t v = 0;
        if (!ReadUint(text, v))
            fail(std::string("the ") + what + " (" + Shown(text) + ") is no whole number");
        if (v > kMaxPosition)
            fail(std::string("the ") + what + " (" + std::string(text) + ") is beyond 4,294,967,295");
        return v;
    }

    // A list of numbers separated by commas, with an optional final comma.
    std::vector<uint64_t> list(std::string_view text, const char* what) const
    {
        std::vector<uint64_t> values;
        if (!text.empty() && text.back() == ',')
            text.remove_suffix(1);
        while (true) {
            const std::size_t comma = text.find(',');
            values.push_back(number(text.substr(0, comma), what));
            if (comma == std::string_view::npos)
                return values;
            text = text.substr(comma + 1);
        }
    }

    void blocks(const std::string_view* col, uint64_t start, uint64_t end)
    {
        const uint64_t count = number(col[9], "blockCount");
        const std::vector<uint64_t> sizes = list(col[10], "block size"), starts = list(col[11], "block start");
        if (count == 0 || sizes.size() != count || starts.size() != count)
            fail("blockCount is " + std::to_string(count) + " but there are " + std::to_string(sizes.size()) +
                 " block sizes and " + std::to_string(starts.size()) + " block starts");
        parts_.clear();
        for (std::size_t b = 0; b < count; ++b) {
            const uint64_t from = start + starts[b], to = from + sizes[b];
            if (sizes[b] == 0 || to > end)
                fail("block " + std::to_string(b + 1) + " (" + std::to_string(starts[b]) + ", size " +
                     std::to_string(sizes[b]) + ") is empty or ends after the end (" + std::to_string(end) + ")");
            parts_.push_back({uint32_t(from + 1), uint32_t(to)});
        }
    }

    void featureLine(std::string_view line)
    {
        std::string_view col[kMaxColumns];
        const int n = split(line, col);
        if (n < 3)
            fail("it has " + std::to_string(n) + (n == 1 ? " column" : " columns") + "; a BED line has 3 to 12");
        if (n >= 10 && n < 12)
            fail("it has " + std::to_string(n) + " columns: blocks need blockCount, blockSizes and blockStarts");
        if (col[0].empty())
            fail("the record (column 1) is empty");
        const uint64_t start = number(col[1], "start"), end = number(col[2], "end");
        if (end < start)
            fail("the end (" + std::to_string(end) + ") is before the start (" + std::to_string(start) + ")");
        FeatureSetBuilder::Draft d;
        d.record = builder.record(col[0]);
        d.type = "feature";
        if (n >= 4 && col[3] != ".")
            d.name = col[3];
        if (n >= 6) {
            if (col[5] == "+")
                d.strand = Strand::Forward;
            else if (col[5] == "-")
                d.strand = Strand::Reverse;
            else if (col[5] != ".")
                fail("the strand (" + Shown(col[5]) + ") is none of +, - and .");
        }
        if (n >= 12) {
            blocks(col, start, end);
        } else if (start == end) {
            // An empty stretch is the site after base `start`.
            d.site = true;
            parts_.assign(1, {uint32_t(std::max<uint64_t>(start, 1)), uint32_t(std::max<uint64_t>(start, 1))});
        } else {
            parts_.assign(1, {uint32_t(start + 1), uint32_t(end)});
        }
        AtLine(lines_.number(), [&] { builder.add(d, parts_); });
    }

    Lines lines_;
    std::vector<FeaturePart> parts_;
};

} // namespace

namespace annotation {

std::unique_ptr<TableReader> BedTableReader(std::string_view file)
{
    return std::make_unique<TableReading<BedPiece>>(file, AnnotationFormat::Bed, false);
}

} // namespace annotation

AnnotationFile ReadBed(std::string_view content, std::string_view fileName, int pieces)
{
    const auto reader = BedTableReader(fileName);
    reader->add(content, 0, pieces, content.size());
    return reader->finish();
}

} // namespace quillet
