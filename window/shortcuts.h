#pragma once
// Keyboard shortcuts for the five buttons, and tooltips that name them:
// Ctrl+O Open, Ctrl+R and F5 Run, Ctrl+S Save, Ctrl+Shift+C Copy, F1 About.
#include <QKeySequence>
#include <QList>
#include <QString>

namespace quillet {

class Quillet;
namespace tk {
class CommandButton;
}

struct ButtonShortcut {
    tk::CommandButton* button;
    QList<QKeySequence> keys;
    QString action; // what the button does; its tooltip adds the keys
};

// The shortcut table of a window's buttons.
QList<ButtonShortcut> ButtonShortcuts(Quillet& window);

// Each key presses its button as a click would, wherever the focus is in
// the window; each button's tooltip names its keys.
void InstallShortcuts(Quillet& window);

} // namespace quillet
