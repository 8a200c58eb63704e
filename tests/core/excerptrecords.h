#pragma once
// The records of tests/data/athaliana_excerpt.fa (seven A. thaliana
// records, two with runs of N) computed as a run computes them.
#include "analysis/calcwindows.h"
#include "tests/reference/fastareader.h"

#include <QString>
#include <fstream>
#include <sstream>
#include <stdexcept>
#include <vector>

namespace quillet::test {

struct ComputedRecord {
    QString name;
    int64_t length = 0;
    WindowResults windows;
};

inline std::vector<ComputedRecord> ExcerptRecords(int32_t windowSize, int32_t step)
{
    std::ifstream in(QUILLET_SOURCE_DIR "/tests/data/athaliana_excerpt.fa", std::ios::binary);
    std::stringstream ss;
    ss << in.rdbuf();
    std::string content = ss.str();
    if (content.empty())
        throw std::runtime_error("tests/data/athaliana_excerpt.fa is missing");
    FastaReader reader(content);
    FastaRecord record;
    FastaProblem problem = FastaProblem::None;
    std::vector<ComputedRecord> out;
    while (reader.next(record, problem)) {
        ComputedRecord r;
        r.name = record.name;
        r.length = int64_t(record.sequence.size());
        CalcWindows(record.sequence, windowSize, step, r.windows);
        out.push_back(std::move(r));
    }
    return out;
}

} // namespace quillet::test
