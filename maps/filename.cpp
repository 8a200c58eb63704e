#include "maps/filename.h"

#include "analysis/recordname.h"

#include <QFileInfo>

namespace quillet {

QString ProposedFileName(const QString& title)
{
    static const QString forbidden = QStringLiteral("|/\\:*?\"<>");
    QString out;
    out.reserve(title.size());
    for (const QChar ch : title) {
        if (ch.unicode() < 32 || ch.unicode() == 127 || forbidden.contains(ch))
            continue;
        out.append(ch);
    }
    return out;
}

QString ProposedExportName(const QString& title)
{
    constexpr qsizetype kMaxBytes = 200;
    QString out = ProposedFileName(RecordId(title));
    qsizetype dots = 0;
    while (dots < out.size() && out[dots] == u'.')
        ++dots;
    out.remove(0, dots);
    // A character takes at least one byte: cut to kMaxBytes characters at
    // once, then character by character (a surrogate pair as one).
    out.truncate(kMaxBytes);
    while (out.toUtf8().size() > kMaxBytes)
        out.chop(out.size() >= 2 && out.back().isLowSurrogate() ? 2 : 1);
    return out.isEmpty() ? QStringLiteral("sequence") : out;
}

QString RecordExportName(const QString& recordName)
{
    return ProposedExportName(UnicodeName(recordName));
}

QString WithExtension(const QString& path, const QString& extension)
{
    const QFileInfo info(path);
    return info.suffix().isEmpty() && !info.exists() ? path + u'.' + extension : path;
}

} // namespace quillet
