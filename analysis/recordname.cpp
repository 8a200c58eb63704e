#include "analysis/recordname.h"

namespace quillet {

QString RecordId(const QString& name)
{
    // Blanks as C's isspace knows them: a name's characters are its bytes,
    // and bytes 0x85 and 0xA0 (blanks in Latin-1) are parts of UTF-8
    // characters such as "Å" and "à".
    const auto blank = [](QChar c) { return c == u' ' || (c >= u'\t' && c <= u'\r'); };
    qsizetype begin = 0;
    while (begin < name.size() && blank(name[begin]))
        ++begin;
    qsizetype end = begin;
    while (end < name.size() && !blank(name[end]))
        ++end;
    return end > begin ? name.mid(begin, end - begin) : QStringLiteral("sequence");
}

QString UnicodeName(const QString& name)
{
    return WithoutNul(QString::fromUtf8(name.toLatin1()));
}

QString WithoutNul(const QString& name)
{
    if (!name.contains(QChar(u'\0')))
        return name;
    QString text = name;
    return text.replace(QChar(u'\0'), QStringLiteral("\\x00"));
}

QString WithDisplayName(const QString& name, const QString& displayName)
{
    if (displayName.isEmpty())
        return name;
    const QString id = RecordId(name);
    const qsizetype at = name.indexOf(id);
    const QString shown = QStringLiteral(" (%1)").arg(displayName);
    return at < 0 ? name + shown : name.left(at + id.size()) + shown + name.mid(at + id.size());
}

} // namespace quillet
