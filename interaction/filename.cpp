#include "interaction/filename.h"

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

} // namespace quillet
