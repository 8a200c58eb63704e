// The progress line quillet-map shows on a terminal while a file is read
// or a bigWig is built.
#pragma once

#include <QByteArray>
#include <QString>

#include <chrono>
#include <cstdint>

namespace quillet::cli {

// A progress line on standard error, for terminals only.
class ProgressLine {
public:
    explicit ProgressLine(bool on) : on_(on) {}
    void start(const QString& name);
    void show(uint64_t done, uint64_t total);
    void clear();

private:
    bool on_;
    bool shown_ = false;
    QByteArray name_;
    std::chrono::steady_clock::time_point last_{};
};

} // namespace quillet::cli
