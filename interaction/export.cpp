// The plot colour, saving the map as a bitmap file and copying it to the
// clipboard.
#include "interaction/filename.h"
#include "window/quillet.h"

#include <QFileInfo>
#include <QImageWriter>
#include <QSaveFile>

namespace quillet {

namespace {
// Writes the picture as a Windows bitmap, whatever the name's extension.
// The file is replaced only when the whole picture was written, so a full
// disk never leaves a damaged file in place of an existing one.
bool SavePicture(const QImage& picture, const QString& path)
{
    // Only a regular file is ever replaced: QSaveFile would rename its new
    // file over a FIFO or a device node (for root, even /dev/null).
    const QFileInfo target(path);
    if (target.exists() && !target.isFile())
        return false;
    QSaveFile file(path);
    if (!file.open(QIODevice::WriteOnly))
        return false;
    QImageWriter writer(&file, "bmp");
    if (!writer.write(picture.convertToFormat(QImage::Format_RGB32)))
        return false;
    return file.commit();
}
} // namespace

void Quillet::Text4_Click()
{
    try {
        CommonDialog1->ShowColor();
    } catch (const std::exception&) {
        return;
    }
    Text4->SetBackColor(CommonDialog1->Color);
    if (!Label4->Caption().isEmpty())
        VScroll1_Scroll();
}

void Quillet::Command_save_Click()
{
    if (Label4->Caption().isEmpty())
        return;
    const QString proposed = ProposedFileName(Text5->Text());
    const auto recover = [this] {
        CommonDialog1->CancelError = false;
        CommonDialog1->Flags = 0;
    };
    try {
        CommonDialog1->Flags = 0x80002;
        CommonDialog1->Filter = QStringLiteral("bitmap picture Files (*.bmp)|*.bmp|All Files (*.*)|*.*");
        CommonDialog1->FileName = proposed;
        CommonDialog1->InitDir = dataFolder();
        CommonDialog1->DialogTitle = QStringLiteral("Save G+C content map");
        CommonDialog1->CancelError = true;
        CommonDialog1->ShowSave();
    } catch (const std::exception&) {
        recover();
        return;
    }
    const QString path = CommonDialog1->FileName;
    const bool saved = SavePicture(Picture1->Image(), path);
    recover();
    if (!saved)
        MsgBox(QStringLiteral("The map could not be saved to %1.").arg(path));
}

void Quillet::Command_copy_Click()
{
    // A clipboard that cannot be taken leaves everything as it was.
    platform().copyImage(Picture1->Image());
}

} // namespace quillet
