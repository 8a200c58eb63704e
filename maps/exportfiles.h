#pragma once
// Export files: the values behind the map (the shown record or every
// record of the run) and the map as a picture. Each is written through an
// OutputFile, so the target is replaced only once everything was written,
// a failure never leaves a damaged file, and what is at the target is
// replaced or refused by its rule (a link replaced, never followed; a
// read-only file, a folder or a device refused). No widgets: the window
// passes what it shows.
#include "analysis/islands.h"
#include "analysis/recordstore.h"
#include "maps/exportpicture.h"
#include "maps/exportvalues.h"

#include <QImage>
#include <QString>
#include <functional>

namespace quillet {

struct ValuesSource {
    QString shownName;                    // the record the window shows
    const WindowResults* shown = nullptr; // and its windows
    const RecordStore* records = nullptr; // every record of the run (may be null)
    int32_t windowSize = 0, step = 0;     // the ones the windows were computed with
    int64_t firstPosition = 1;            // the base the shown record's first window starts at
    int64_t shownLength = 0;              // the whole shown record's length (a bigWig's chromosome size)
    ValueOptions options;                 // gaps where the map marks windows of mostly unknown bases
};

enum class ValuesScope { Shown, All };
enum class ExportResult { Written, Failed, Cancelled };

// All records come from the store while it keeps every record's windows;
// otherwise the file is read again from its start and each record is
// written as it is computed (so the export never holds more than one
// record). `progress` sees the progress and may cancel; a file that no
// longer gives the same records fails the export. A bigWig collects the
// plotted values of its records first (see BigWigTrack). When an export
// fails, `why` gets the reason when one is known (empty otherwise), here
// and below.
ExportResult WriteValuesFile(const QString& path, ValueFormat format, Plot plot, ValuesScope scope,
                             const ValuesSource& source, RunListener* progress = nullptr, QString* why = nullptr);

// The composition islands of the run's records as quillet-map --islands
// writes them (per record, default settings), the file read again with the
// windows' exact sums: every record, or only record `only` (0-based).
ExportResult WriteIslandsFile(const QString& path, const RecordStore& store, int64_t only,
                              const IslandFeatures& features, RunListener* progress = nullptr, QString* why = nullptr);

bool WritePictureFile(const QString& path, const PictureExport& request,
                      const std::function<void(PictureSurface&)>& draw, QString* why = nullptr);

// The picture as a Windows bitmap, whatever the name's extension: what
// Save writes from the picture box. WriteBitmap writes the same bytes to an
// open device.
bool WriteBitmapFile(const QString& path, const QImage& picture, QString* why = nullptr);
bool WriteBitmap(QIODevice& out, const QImage& picture);

// The message for an output that could not be saved, as the window and
// quillet-map say it: "The picture could not be saved to PATH: REASON."
// for `what` "The picture", without the reason when none is known.
QString NotSaved(const QString& what, const QString& path, const QString& why);

} // namespace quillet
