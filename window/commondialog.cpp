#include "window/commondialog.h"

namespace quillet {

FileDialogRequest CommonDialog::request() const
{
    return FileDialogRequest{Flags, Filter, FileName, InitDir, DialogTitle};
}

void CommonDialog::cancelled() const
{
    if (CancelError)
        throw DialogCancelled();
}

void CommonDialog::ShowOpen()
{
    if (auto path = platform_.openFile(owner_, request()))
        FileName = *path;
    else
        cancelled();
}

void CommonDialog::ShowSave()
{
    if (auto path = platform_.saveFile(owner_, request()))
        FileName = *path;
    else
        cancelled();
}

void CommonDialog::ShowColor()
{
    if (auto c = platform_.chooseColor(owner_, ResolveColor(Color)))
        Color = ColorValueOf(*c);
    else
        cancelled();
}

} // namespace quillet
