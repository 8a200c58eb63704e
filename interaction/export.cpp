// The plot colour, saving the map as a bitmap file (replaced only once the
// whole picture was written, and only when the file's rule allows: see
// OutputFile) and copying it to the clipboard.
#include "maps/exportfiles.h"
#include "maps/filename.h"
#include "maps/filetypes.h"
#include "window/quillet.h"

namespace quillet {

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
        CommonDialog1->Flags = kSaveDialogFlags;
        CommonDialog1->Filter = kBitmapFilter;
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
    QString why;
    const bool saved = WriteBitmapFile(path, Picture1->Image(), &why);
    recover();
    if (!saved)
        MsgBox(NotSaved(QStringLiteral("The map"), path, why));
}

void Quillet::Command_copy_Click()
{
    // A clipboard that cannot be taken leaves everything as it was.
    platform().copyImage(Picture1->Image());
}

} // namespace quillet
