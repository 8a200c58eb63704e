#pragma once
// Opening a FASTA file the desktop's ways: dropped on the window from a
// file manager, or named on the command line ("Open with"). Both end as
// Open does after its dialog: the path in the file box, the proposed window
// and step in their boxes and the focus on Run.
#include <QString>
#include <QStringList>
#include <optional>

class QMimeData;

namespace quillet {

class Quillet;

// Puts `path` into the file box and, when the file's size can be read,
// proposes the window size and step for it; the focus moves to Run.
void OpenFilePath(Quillet& window, const QString& path);

// The local file a drag carries (its first URL, when that is a local file).
std::optional<QString> DroppedFile(const QMimeData* data);

// The file named by the first argument after the program's name, as an
// absolute path; a "file:" URL is taken as its local file. Nothing when no
// argument names a file. Arguments are paths as PathFromNative gives them
// (a name that is no valid text still names its file).
std::optional<QString> CommandLineFile(const QStringList& arguments);

// A dropped file: an annotation without sequences adds its features as
// Features… does; any other file opens as a sequence file (OpenFilePath).
void OpenDroppedFile(Quillet& window, const QString& path);

// Lets a file be dropped anywhere on the window, its boxes included; text
// dropped into a box is still that box's own business.
void InstallFileDrop(Quillet& window);

} // namespace quillet
