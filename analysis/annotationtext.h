#pragma once
// Lines, numbers and messages shared by the annotation readers (not for
// use outside them).
#include "analysis/annotation.h"
#include "analysis/failure.h"

#include <algorithm>
#include <cstdint>
#include <cstring>
#include <exception>
#include <memory>
#include <string>
#include <string_view>
#include <thread>
#include <vector>

namespace quillet::annotation {

// The lines of a content (or of the part of it from `from` to `to`),
// without their line feed and a carriage return before it, counted from 1.
// Offsets are in the whole content.
class Lines {
public:
    // A UTF-8 byte-order mark that starts the content is no part of its
    // first line (`atStart`: the text given starts the content).
    explicit Lines(std::string_view content, std::size_t from = 0, std::size_t to = std::string_view::npos,
                   bool atStart = true)
        : s_(content.substr(0, to)), pos_(atStart && from == 0 && content.substr(0, 3) == "\xEF\xBB\xBF" ? 3 : from)
    {}
    bool next(std::string_view& line)
    {
        if (pos_ >= s_.size())
            return false;
        start_ = pos_;
        const void* lf = std::memchr(s_.data() + pos_, '\n', s_.size() - pos_);
        const std::size_t end = lf ? std::size_t(static_cast<const char*>(lf) - s_.data()) : s_.size();
        pos_ = lf ? end + 1 : end;
        line = s_.substr(start_, end - start_);
        if (!line.empty() && line.back() == '\r')
            line.remove_suffix(1);
        ++number_;
        return true;
    }
    uint64_t number() const { return number_; }
    std::size_t lineStart() const { return start_; } // of the last line
    std::size_t lineEnd() const { return pos_; }     // after its line feed

private:
    std::string_view s_;
    std::size_t pos_ = 0;
    std::size_t start_ = 0;
    uint64_t number_ = 0;
};

inline bool IsBlank(char c)
{
    return c == ' ' || c == '\t';
}

inline std::string_view Trim(std::string_view s)
{
    while (!s.empty() && IsBlank(s.front()))
        s.remove_prefix(1);
    while (!s.empty() && (IsBlank(s.back()) || s.back() == '\r'))
        s.remove_suffix(1);
    return s;
}

// Digits only, at most 19 of them.
inline bool ReadUint(std::string_view s, uint64_t& out)
{
    if (s.empty() || s.size() > 19)
        return false;
    uint64_t v = 0;
    for (const char c : s) {
        if (c < '0' || c > '9')
            return false;
        v = v * 10 + uint64_t(c - '0');
    }
    out = v;
    return true;
}

// A text of the file as a message shows it: quoted, cut after 40 bytes,
// control characters as "?".
inline std::string Shown(std::string_view s)
{
    std::string out = "\"";
    for (std::size_t i = 0; i < s.size() && i < 40; ++i)
        out += uint8_t(s[i]) < 0x20 || s[i] == 0x7f ? '?' : s[i];
    out += s.size() > 40 ? "...\"" : "\"";
    return out;
}

// What is wrong on a line, before the reading as a whole (which knows the
// file's name, and where a part of it starts) words it as a Failure.
struct LineProblem {
    uint64_t line = 0;
    std::string what;
};

[[noreturn]] inline void LineFailure(uint64_t line, const std::string& what)
{
    throw LineProblem{line, what};
}

[[noreturn]] inline void Fail(std::string_view file, const LineProblem& p, uint64_t lineBase = 0)
{
    throw Failure(std::string(file) + " line " + std::to_string(lineBase + p.line) + ": " + p.what);
}

// Runs `work`, giving a Failure it throws (the set outgrowing its limits)
// the line.
template <class Work>
auto AtLine(uint64_t line, Work&& work)
{
    try {
        return work();
    } catch (const Failure& e) {
        LineFailure(line, e.what());
    }
}

// Offsets that cut the content into up to `pieces` pieces at line ends:
// 0, the cuts, the size.
inline std::vector<std::size_t> CutAtLines(std::string_view content, int pieces)
{
    std::vector<std::size_t> cuts = {0};
    for (int k = 1; k < pieces; ++k) {
        const std::size_t at = std::max(cuts.back(), content.size() / std::size_t(pieces) * std::size_t(k));
        const std::size_t lf = content.find('\n', at);
        if (lf == std::string_view::npos || lf + 1 >= content.size())
            break;
        cuts.push_back(lf + 1);
    }
    cuts.push_back(content.size());
    return cuts;
}

// Pieces for a large content, each of 32 MiB at least: one for every two
// processors the system counts (two threads on one core of two hardware
// threads each ran at half speed), at most 8.
inline int PiecesFor(std::size_t bytes)
{
    const unsigned pieces = std::clamp(std::thread::hardware_concurrency() / 2, 1u, 8u);
    return int(std::clamp<std::size_t>(bytes >> 25, 1, pieces));
}

// Reads a table format (a feature a line) block by block, each block of
// whole lines cut into pieces read at once, one thread a piece, and joins
// them into what one reading from the start gives: the first problem in
// file order fails the file, and a piece that reaches a FASTA section ends
// the features.
class TableReader {
public:
    virtual ~TableReader() = default;
    // The next block, of whole lines, which starts at `offset` in the
    // content; `expected` is the size of the whole content, if known (room
    // is made for it). False once a FASTA section has begun. Throws Failure.
    virtual bool add(std::string_view block, uint64_t offset, int pieces, uint64_t expected) = 0;
    virtual AnnotationFile finish() = 0;
};

std::unique_ptr<TableReader> GffTableReader(std::string_view file, bool gtf);
std::unique_ptr<TableReader> BedTableReader(std::string_view file);

// A TableReader of the Piece that reads one piece: made of (block, from,
// to, expected bytes, whether the block starts the content, gtf), it has
// read(), builder, fastaOffset (in the block) and lines().
template <class Piece>
class TableReading : public TableReader {
public:
    TableReading(std::string_view file, AnnotationFormat format, bool gtf) : file_(file), gtf_(gtf)
    {
        result_.format = format;
    }

    bool add(std::string_view block, uint64_t offset, int pieces, uint64_t expected) override
    {
        if (done_)
            return false;
        const std::vector<std::size_t> cuts = CutAtLines(block, pieces > 0 ? pieces : PiecesFor(block.size()));
        const std::size_t n = cuts.size() - 1;
        std::vector<std::unique_ptr<Piece>> read(n);
        std::vector<std::exception_ptr> errors(n);
        const auto run = [&](std::size_t k) {
            try {
                const uint64_t room =
                    !started_ && k == 0 ? std::max<uint64_t>(expected, block.size()) : cuts[k + 1] - cuts[k];
                read[k] = std::make_unique<Piece>(block, cuts[k], cuts[k + 1], room, offset == 0, gtf_);
                read[k]->read();
            } catch (...) {
                errors[k] = std::current_exception();
            }
        };
        std::vector<std::thread> threads;
        for (std::size_t k = 1; k < n; ++k)
            threads.emplace_back(run, k);
        run(0);
        for (std::thread& t : threads)
            t.join();
        for (std::size_t k = 0; k < n; ++k) {
            try {
                if (errors[k])
                    std::rethrow_exception(errors[k]);
            } catch (const LineProblem& p) {
                Fail(file_, p, lines_);
            }
            lines_ += read[k]->lines();
            try {
                if (started_)
                    builder_.absorb(std::move(read[k]->builder));
                else
                    builder_ = std::move(read[k]->builder);
            } catch (const Failure& e) {
                Fail(file_, {lines_, e.what()});
            }
            started_ = true;
            if (read[k]->fastaOffset >= 0) {
                result_.fastaOffset = int64_t(offset) + read[k]->fastaOffset;
                done_ = true;
                return false;
            }
        }
        return true;
    }

    AnnotationFile finish() override
    {
        try {
            result_.features = builder_.finish();
        } catch (const Failure& e) {
            Fail(file_, {lines_, e.what()});
        }
        return std::move(result_);
    }

private:
    std::string file_;
    bool gtf_;
    AnnotationFile result_;
    FeatureSetBuilder builder_;
    uint64_t lines_ = 0;
    bool started_ = false;
    bool done_ = false;
};

// The largest position kept (positions are 32-bit).
constexpr uint64_t kMaxPosition = UINT32_MAX;

} // namespace quillet::annotation
