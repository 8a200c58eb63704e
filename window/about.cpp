#include "window/about.h"

namespace quillet {

void frmAbout::ShowModal()
{
    QDialog dlg;
    dlg.setWindowTitle(QStringLiteral("About"));
    dlg.exec();
}

} // namespace quillet
