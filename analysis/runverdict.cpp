#include "analysis/runverdict.h"

#include "analysis/numtext.h"

#include <exception>
#include <optional>

namespace quillet {

std::optional<int32_t> RunParameter(const QString& text)
{
    try {
        return ToInt32(QStringView(text));
    } catch (const std::exception&) {
        return std::nullopt;
    }
}

namespace {

// Endings that leave nothing to show, with the same words in both front
// ends; nothing when the ending is another.
std::optional<QString> FileVerdict(const RunReport& report, const QString& path)
{
    switch (report.end) {
    case RunEnd::Damaged: return QStringLiteral("%1 is damaged: %2.").arg(path, report.detail);
    case RunEnd::Unsupported: return QStringLiteral("%1 is not a FASTA file: %2.").arg(path, report.detail);
    case RunEnd::NoRecord: return QStringLiteral("No FASTA record found in %1.").arg(path);
    case RunEnd::OutOfMemory: return QStringLiteral("%1: %2.").arg(path, report.detail);
    default: return std::nullopt;
    }
}

// A record past 32-bit positions: which one, and where the limit is.
QString TooLongMessage(const RunReport& report, const QString& path)
{
    return QStringLiteral("%1: %2.").arg(path, report.detail);
}

// The window: the last record computed stays on screen whatever stopped the
// run after it, then the message of the stage that failed.
RunVerdict WindowVerdict(const RunReport& report, const QString& path, int64_t records)
{
    const QString failure = report.end == RunEnd::FileFailure                                        ? kFileMessage
                            : report.end == RunEnd::AnalysisFailure || report.end == RunEnd::Stopped ? kAnalysisMessage
                            : report.end == RunEnd::TooLong ? TooLongMessage(report, path)
                                                            : QString();
    return {failure.isEmpty() && records == 0 ? kAnalysisMessage : failure, records > 0};
}

// quillet-map: a file that fails adds nothing to any output.
RunVerdict CommandLineVerdict(const RunReport& report, const QString& path, const QString& stopReason)
{
    switch (report.end) {
    case RunEnd::FileFailure:
        // The file is there and was opened: reading it failed, or its first
        // record is cut short.
        if (!report.detail.isEmpty())
            return {QStringLiteral("%1 cannot be read: %2.").arg(path, report.detail), false};
        return {QStringLiteral("%1 is not a FASTA file: its first record has no header line (\">NAME\" and a "
                               "line break).")
                    .arg(path),
                false};
    case RunEnd::TooLong: return {TooLongMessage(report, path), false};
    case RunEnd::AnalysisFailure:
    case RunEnd::Stopped:
        return {stopReason.isEmpty() ? QStringLiteral("%1: %2").arg(path, kAnalysisMessage) : stopReason, false};
    default: return {};
    }
}

} // namespace

RunVerdict JudgeRun(const RunReport& report, const QString& shownPath, int64_t records, Wording wording,
                    const QString& stopReason)
{
    if (report.end == RunEnd::Cancelled)
        return {QString(), false};
    if (const auto message = FileVerdict(report, shownPath))
        return {*message, false};
    if (wording == Wording::CommandLine)
        return CommandLineVerdict(report, shownPath, stopReason);
    if (report.end == RunEnd::Finished && records > 0)
        return {};
    return WindowVerdict(report, shownPath, records);
}

} // namespace quillet
