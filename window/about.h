#pragma once
// The About window: names the program and its version, shows the author
// line, an e-mail link and a short notice, and closes with OK.
#include "window/platform.h"

#include <QDialog>
#include <QPointer>
#include <QString>

class QLabel;
class QPlainTextEdit;
class QPushButton;

namespace quillet {

namespace tk {
class Label;
class LineControl;
} // namespace tk

// Who wrote the program and where to write to. The author line, the e-mail
// label and the mail link all take them from here.
inline const QString kAuthorName = QStringLiteral("Quillet developers");
inline const QString kAuthorEmail = QStringLiteral("quillet@example.org");

class frmAbout;

// The on-screen About window with its controls under their design names
// (also their object names; the two separator lines are both "Line1", told
// apart by their "Index" property). frmAbout builds a new one for every
// opening and destroys it on closing.
class AboutWindow : public QDialog {
    Q_OBJECT
public:
    explicit AboutWindow(frmAbout& form);

    // Client area in twips.
    static constexpr float kClientWidth = 4890.0f;
    static constexpr float kClientHeight = 2940.0f;

    QPlainTextEdit* Text1;
    QLabel* picIcon;
    QPushButton* cmdOK;
    tk::Label* Label2;
    tk::Label* Label1;
    tk::LineControl* Line1[2];
    tk::Label* lblDescription;
    tk::Label* lblVersion;

protected:
    void keyPressEvent(QKeyEvent* e) override;

private:
    void createControls();
    void fitNotice();
    void fitLabel(tk::Label* label);
};

// The one About object of the program. It holds no state between
// openings: each ShowModal builds the window from its design values.
class frmAbout {
public:
    explicit frmAbout(PlatformServices& platform) : platform_(platform) {}
    frmAbout(const frmAbout&) = delete;
    frmAbout& operator=(const frmAbout&) = delete;

    // Builds the window, shows it modal to the whole program and returns
    // when it has been closed (OK, Enter, Esc or the close box).
    void ShowModal();

    // OK (also Enter and Esc): closes the window.
    void cmdOK_Click();
    // The e-mail label: asks the desktop for a mail message to the author.
    // Whether that works or not, the window stays as it is.
    void Label2_Click();

    // The window while it is shown, otherwise null.
    AboutWindow* window() const { return window_; }

private:
    PlatformServices& platform_;
    QPointer<AboutWindow> window_;
};

} // namespace quillet
