#pragma once
// What the end of a run means to the person who started it, in one place
// for the window and quillet-map: the message they are told and whether
// the records computed before the end stay (shown, exported, written).
#include "analysis/engine.h"

#include <QString>
#include <cstdint>
#include <optional>

namespace quillet {

// The window's fixed messages.
inline const QString kValidationMessage = QStringLiteral("1 to 1000000 is valid");
inline const QString kFileMessage = QStringLiteral("The Fasta file doesn't exist.");
inline const QString kAnalysisMessage = QStringLiteral("Windows size is bigger than the length of sequence.");

// A window size or step text as a run takes it: converted once to a 32-bit
// integer (as a number text, rounded), or nothing when it does not convert,
// which fails the run at its first record with the analysis message.
std::optional<int32_t> RunParameter(const QString& text);

// The window shows a fixed message where the file has nothing to say;
// quillet-map names the file in every message (several files may fail in
// one run) and says what is wrong where "doesn't exist" would mislead.
enum class Wording { Window, CommandLine };

struct RunVerdict {
    QString message;          // empty: nothing to tell
    bool keepsRecords = true; // the records computed stay; otherwise the results are cleared
};

// The verdict on a run over `shownPath` (as the user knows the file) that
// computed `records` records. `stopReason` is the command line's own text
// for a run its listener stopped (empty for the usual message).
RunVerdict JudgeRun(const RunReport& report, const QString& shownPath, int64_t records, Wording wording,
                    const QString& stopReason = QString());

} // namespace quillet
