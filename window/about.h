#pragma once
// The About window: names the program and its version, shows the author
// line, an e-mail link and a short notice, and closes with OK.
#include "window/platform.h"

#include <QDialog>

namespace quillet {

class frmAbout {
public:
    explicit frmAbout(PlatformServices& platform) : platform_(platform) {}
    // Loads the window from its design values and shows it modally;
    // returns when it has been closed.
    void ShowModal();

private:
    PlatformServices& platform_;
};

} // namespace quillet
