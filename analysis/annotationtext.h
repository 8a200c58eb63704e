#pragma once
// Lines, numbers and messages shared by the annotation readers (not for
// use outside them).
#include "analysis/failure.h"

#include <cstdint>
#include <cstring>
#include <string>
#include <string_view>

namespace quillet::annotation {

// The lines of a content, without their line feed and a carriage return
// before it, counted from 1.
class Lines {
public:
    // A UTF-8 byte-order mark at the start is no part of the first line.
    explicit Lines(std::string_view content) : s_(content), pos_(content.substr(0, 3) == "\xEF\xBB\xBF" ? 3 : 0) {}
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

[[noreturn]] inline void LineFailure(std::string_view file, uint64_t line, const std::string& what)
{
    throw Failure(std::string(file) + " line " + std::to_string(line) + ": " + what);
}

// Runs `work`, giving a Failure it throws (the set outgrowing its limits)
// the file and line.
template <class Work>
auto AtLine(std::string_view file, uint64_t line, Work&& work)
{
    try {
        return work();
    } catch (const Failure& e) {
        LineFailure(file, line, e.what());
    }
}

// The largest position kept (positions are 32-bit).
constexpr uint64_t kMaxPosition = UINT32_MAX;

} // namespace quillet::annotation
