// The progress line: a bar when the size is known, else the megabytes read.
#include "cli/progress.h"

#include "analysis/fileio.h"

#include <algorithm>
#include <cstdio>
#include <string>

namespace quillet::cli {

void ProgressLine::start(const QString& name)
{
    name_ = NativePath(name);
    last_ = {};
}

void ProgressLine::show(uint64_t done, uint64_t total)
{
    if (!on_)
        return;
    const auto now = std::chrono::steady_clock::now();
    if (now - last_ < std::chrono::milliseconds(100))
        return;
    last_ = now;
    if (total > 0) {
        const int width = 30, filled = int(std::min<uint64_t>(done, total) * width / total);
        std::fprintf(stderr, "\r%s [%s%s] %3d%%", name_.constData(), std::string(std::size_t(filled), '#').c_str(),
                     std::string(std::size_t(width - filled), ' ').c_str(),
                     int(std::min<uint64_t>(done, total) * 100 / total));
    } else {
        std::fprintf(stderr, "\r%s %llu MB", name_.constData(), (unsigned long long)(done >> 20));
    }
    shown_ = true;
}

void ProgressLine::clear()
{
    if (on_ && shown_)
        std::fputs("\r\033[K", stderr);
    shown_ = false;
}

} // namespace quillet::cli
