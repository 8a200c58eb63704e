#include "window/pageexport.h"

#include "maps/exportfiles.h"
#include "maps/filetypes.h"
#include "window/platform.h"

#include <QDir>
#include <QRegularExpression>

namespace quillet {

std::optional<PageSize> ChosenPage(int index, const QString& sizeText)
{
    switch (index) {
    case 0: return kA4Page;
    case 1: return kLetterPage;
    default: break;
    }
    static const QRegularExpression size(QStringLiteral("^\\s*(\\d{1,5})\\s*[xX\u00d7]\\s*(\\d{1,5})\\s*$"));
    const QRegularExpressionMatch m = size.match(sizeText);
    const int w = m.hasMatch() ? m.captured(1).toInt() : 0, h = m.hasMatch() ? m.captured(2).toInt() : 0;
    if (w < 1 || h < 1 || w > 16000 || h > 16000)
        return std::nullopt;
    return PageSize{w, h};
}

bool ExportPage(QWidget* parent, PlatformServices& platform, std::optional<PageSize> page, const PageExport& what)
{
    if (!page) {
        platform.message(parent, QStringLiteral("Quillet"),
                         QStringLiteral("The page size must be WIDTHxHEIGHT in pixels, from 1 to 16000 each."));
        return false;
    }
    FileDialogRequest request;
    request.flags = kSaveDialogFlags;
    request.filter = kPictureFilter;
    request.fileName = what.fileName;
    request.initDir = what.initDir;
    request.title = what.title;
    const std::optional<SaveChoice> choice = platform.saveFileOfType(parent, request);
    if (!choice || choice->path.isEmpty())
        return false;
    const PictureChoice chosen = ChoosePicture(choice->path, choice->filterIndex);
    bool saved = false;
    QString why, notMade;
    try {
        saved = WritePictureFile(chosen.path, what.request(chosen.format, chosen.scale, *page), what.draw, &why);
    } catch (const PictureNotMade& e) {
        notMade = e.message(QDir::toNativeSeparators(chosen.path));
    } catch (const std::exception&) {
        saved = false;
    }
    if (!saved)
        platform.message(parent, QStringLiteral("Quillet"),
                         notMade.isEmpty()
                             ? NotSaved(QStringLiteral("The picture"), QDir::toNativeSeparators(chosen.path), why)
                             : notMade);
    return saved;
}

} // namespace quillet
