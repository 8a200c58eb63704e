#pragma once
// Export picture… of the windows laid out as a page (the overview, the
// circular map): the page their Page box and size text choose, and the
// export itself, asked for and reported through PlatformServices.
#include "maps/exportpicture.h"
#include "maps/overviewmap.h"
#include "maps/surface.h"

#include <QString>
#include <functional>
#include <optional>

class QWidget;

namespace quillet {

class PlatformServices;

// A4 (index 0), Letter (1), or the pixels of `sizeText`, WIDTHxHEIGHT from
// 1 to 16000 each; nothing when that text is no such size.
std::optional<PageSize> ChosenPage(int index, const QString& sizeText);

// What a page window exports: the request for a format, scale and page,
// and the drawing.
struct PageExport {
    QString title;    // of the Save dialog
    QString fileName; // proposed, beside the sequence file
    QString initDir;
    std::function<PictureExport(PictureFormat, int scale, PageSize)> request;
    std::function<void(PictureSurface&)> draw;
};
// Asks for the file and writes the picture; a page size that is none, or a
// file that could not be written, is said in a message. True when written.
bool ExportPage(QWidget* parent, PlatformServices& platform, std::optional<PageSize> page, const PageExport& what);

} // namespace quillet
