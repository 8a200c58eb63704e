#pragma once
// What the window tests share about runs: the three messages a run can
// end with, the sample genome, and scratch files.
#include <QFile>
#include <QString>
#include <QTemporaryDir>
#include <QtGlobal>

namespace quillet::test {

inline const QString kValidation = QStringLiteral("1 to 1000000 is valid");
inline const QString kFile = QStringLiteral("The Fasta file doesn't exist.");
inline const QString kAnalysis = QStringLiteral("Windows size is bigger than the length of sequence.");

// The phage lambda genome shipped with the program (48,502 bp).
inline QString Lambda()
{
    return QStringLiteral(QUILLET_SOURCE_DIR "/samples/lambda_virus.fa");
}

// Writes `content` to `name` in `dir` and returns its path.
inline QString WriteFile(const QTemporaryDir& dir, const QString& name, const QByteArray& content)
{
    const QString path = dir.filePath(name);
    QFile f(path);
    if (!f.open(QIODevice::WriteOnly) || f.write(content) != content.size())
        qFatal("cannot write %s", qPrintable(path));
    return path;
}

} // namespace quillet::test
