#pragma once
// One dialog object shared by Open, Save and the colour swatch. It keeps its
// settings between uses; the Show calls are modal and go through the
// platform services.
#include "analysis/failure.h"
#include "maps/syscolors.h"
#include "window/platform.h"

namespace quillet {

// Raised by a cancelled dialog when CancelError is on.
class DialogCancelled : public Failure {
public:
    DialogCancelled() : Failure("The dialog was cancelled.") {}
};

class CommonDialog {
public:
    CommonDialog(PlatformServices& platform, QWidget* owner) : platform_(platform), owner_(owner) {}

    long Flags = 0;
    QString Filter;
    QString FileName;
    QString InitDir;
    QString DialogTitle;
    bool CancelError = false;
    // Starts as the plot's default colour, so that cancelling the colour
    // dialog before any colour was confirmed leaves the plot colour as it is.
    uint32_t Color = kSysActiveTitleBar;

    // On confirmation FileName (or Color) holds the choice; on cancel they
    // keep their values, or DialogCancelled is thrown when CancelError is on.
    void ShowOpen();
    void ShowSave();
    void ShowColor();

private:
    FileDialogRequest request() const;
    void cancelled() const;

    PlatformServices& platform_;
    QWidget* owner_;
};

} // namespace quillet
