#include "window/about.h"

#include "maps/syscolors.h"
#include "quillet/version.h"
#include "window/pictures.h"
#include "window/toolkit.h"

#include <QApplication>
#include <QKeyEvent>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QScreen>
#include <QTextDocument>
#include <algorithm>

namespace quillet {

namespace {

const QString kVersionText = QStringLiteral("Version ") + QString::fromLatin1(kVersion);
// Four lines; the first three end with a blank.
const QString kNotice = QStringLiteral("Quillet maps the G+C content \n"
                                       "of DNA sequences. It is given \n"
                                       "as is, without any warranty; \n"
                                       "check results before use.");

// Where a wanted family is missing, the next one in its list serves.
QFont TitleFont()
{
    QFont f;
    f.setFamilies({QStringLiteral("Arial Black"), QStringLiteral("Liberation Sans"), QStringLiteral("DejaVu Sans")});
    f.setWeight(QFont::Black);
    f.setPointSizeF(12);
    return f;
}

QFont MailFont()
{
    QFont f;
    f.setFamilies(
        {QStringLiteral("Times New Roman"), QStringLiteral("Liberation Serif"), QStringLiteral("DejaVu Serif")});
    f.setPointSizeF(10.5);
    f.setUnderline(true);
    return f;
}

// The author line is set in a Simplified Chinese font: the classic Song
// faces first, then the free ones Debian ships.
QFont AuthorFont()
{
    QFont f;
    f.setFamilies({QStringLiteral("SimSun"), QStringLiteral("NSimSun"), QStringLiteral("AR PL UMing CN"),
                   QStringLiteral("AR PL UKai CN"), QStringLiteral("WenQuanYi Zen Hei"),
                   QStringLiteral("WenQuanYi Micro Hei"), QStringLiteral("Noto Serif CJK SC"),
                   QStringLiteral("Noto Sans CJK SC"), QStringLiteral("Droid Sans Fallback")});
    f.setPointSizeF(10.5);
    return f;
}

void Place(QWidget* w, float left, float top, float width, float height)
{
    w->setGeometry(tk::ToPixels(left), tk::ToPixels(top), tk::ToPixels(width), tk::ToPixels(height));
}

void SetForeColor(QWidget* w, uint32_t value)
{
    QPalette p = w->palette();
    p.setColor(QPalette::WindowText, ResolveColor(value));
    w->setPalette(p);
}

} // namespace

AboutWindow::AboutWindow(frmAbout& form)
    : QDialog(QApplication::activeWindow(), Qt::Dialog | Qt::CustomizeWindowHint | Qt::WindowTitleHint |
                                                Qt::WindowCloseButtonHint | Qt::MSWindowsFixedSizeDialogHint)
{
    setObjectName(QStringLiteral("frmAbout"));
    setWindowTitle(QStringLiteral("About"));
    setWindowIcon(PictureIcon(QStringLiteral("about")));
    setFixedSize(tk::ToPixels(kClientWidth), tk::ToPixels(kClientHeight));
    createControls();

    connect(cmdOK, &QPushButton::clicked, this, [&form] { form.cmdOK_Click(); });
    connect(Label2, &tk::Label::Click, this, [&form] { form.Label2_Click(); });
}

void AboutWindow::createControls()
{
    Text1 = new QPlainTextEdit(this);
    Text1->setObjectName(QStringLiteral("Text1"));
    Place(Text1, 240, 2040, 3135, 735);
    Text1->setPlainText(kNotice);
    Text1->setReadOnly(true);
    Text1->setLineWrapMode(QPlainTextEdit::NoWrap);
    // It is sized to show all of the notice (fitNotice), so it never scrolls.
    Text1->setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    Text1->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    Text1->setFocusPolicy(Qt::StrongFocus);
    Text1->document()->setDocumentMargin(2);
    tk::SetBackColor(Text1, kSysInactiveTitleText, QPalette::Base);
    Text1->setAccessibleName(QStringLiteral("Notice"));

    picIcon = new QLabel(this);
    picIcon->setObjectName(QStringLiteral("picIcon"));
    Place(picIcon, 240, 240, 540, 540);
    picIcon->setFrameStyle(QFrame::Panel | QFrame::Sunken);
    picIcon->setLineWidth(2);
    picIcon->setAlignment(Qt::AlignCenter);
    picIcon->setPixmap(PictureIcon(QStringLiteral("about")).pixmap(QSize(32, 32), devicePixelRatioF()));
    picIcon->setAccessibleName(QStringLiteral("About"));

    cmdOK = new QPushButton(QStringLiteral("OK"), this);
    cmdOK->setObjectName(QStringLiteral("cmdOK"));
    Place(cmdOK, 3600, 2160, 1020, 345);
    cmdOK->setDefault(true);

    Label2 = new tk::Label(this, QStringLiteral("Email : ") + kAuthorEmail);
    Label2->setObjectName(QStringLiteral("Label2"));
    Label2->Move(1200, 1440, 2775, 255);
    Label2->setFont(MailFont());
    SetForeColor(Label2, 0x00FF0000);
    Label2->setCursor(Qt::PointingHandCursor);
    Label2->setToolTip(QStringLiteral("Write an e-mail to the author"));
    Label2->setAccessibleDescription(QStringLiteral("Click to write an e-mail to the author"));

    Label1 = new tk::Label(this, QStringLiteral("Quillet"));
    Label1->setObjectName(QStringLiteral("Label1"));
    Label1->Move(1320, 240, 2655, 495);
    Label1->setFont(TitleFont());

    // The separator: a grey line with a white one under it. Both lie on the
    // same row; the white one is two pixels high and the grey one is kept
    // above it, so its lower pixel shows under the grey and the pair reads
    // as an etched groove.
    Line1[1] = new tk::LineControl(this);
    Line1[1]->setObjectName(QStringLiteral("Line1"));
    Line1[1]->setProperty("Index", 1);
    Line1[1]->SetBorderColor(0x00808080);

    lblDescription = new tk::Label(this, QStringLiteral("Author: ") + kAuthorName);
    lblDescription->setObjectName(QStringLiteral("lblDescription"));
    lblDescription->Move(1200, 1125, 1605, 210);
    lblDescription->setFont(AuthorFont());
    SetForeColor(lblDescription, 0x00000000);

    Line1[0] = new tk::LineControl(this);
    Line1[0]->setObjectName(QStringLiteral("Line1"));
    Line1[0]->setProperty("Index", 0);
    Line1[0]->SetBorderColor(0x00FFFFFF);
    Line1[0]->SetBorderWidth(2);

    for (tk::LineControl* line : Line1) {
        line->SetX1(120);
        line->SetY1(1920);
        line->SetX2(4680);
        line->SetY2(1920);
    }
    Line1[1]->raise();

    lblVersion = new tk::Label(this, kVersionText);
    lblVersion->setObjectName(QStringLiteral("lblVersion"));
    lblVersion->Move(2880, 780, 1245, 225);

    // Labels grow where their font needs more room than the design gives
    // (a wider name or address, a font with taller lines), so no text is cut.
    for (tk::Label* l : {Label1, lblVersion, lblDescription, Label2})
        fitLabel(l);
    fitNotice();

    // Tab order: OK first, then the notice.
    QWidget::setTabOrder(cmdOK, Text1);
    cmdOK->setFocus();
}

void AboutWindow::fitLabel(tk::Label* label)
{
    const QSize need = label->sizeHint();
    const int room = width() - label->x() - 4;
    const int w = std::clamp(need.width(), label->width(), std::max(label->width(), room));
    const int h = std::max(label->height(), need.height());
    label->SetWidth(float(w) * tk::kTwipsPerPixel);
    label->SetHeight(float(h) * tk::kTwipsPerPixel);
}

void AboutWindow::fitNotice()
{
    // All four lines must show without scrolling.
    const QFontMetrics fm(Text1->font());
    const QStringList lines = kNotice.split(u'\n');
    int textWidth = 0;
    for (const QString& line : lines)
        textWidth = std::max(textWidth, fm.horizontalAdvance(line));
    const int chrome = 2 * (Text1->frameWidth() + int(Text1->document()->documentMargin()));
    const int needW = textWidth + chrome + Text1->cursorWidth() + 2;
    const int needH = int(lines.size()) * fm.lineSpacing() + chrome + 2;

    QRect r = Text1->geometry();
    // Wider up to the OK button, taller down to the bottom margin; the
    // window itself grows only if that is still not enough.
    r.setWidth(std::clamp(needW, r.width(), std::max(r.width(), cmdOK->x() - 6 - r.x())));
    r.setHeight(std::max(r.height(), needH));
    Text1->setGeometry(r);
    if (r.bottom() + 1 > height() - 2)
        setFixedHeight(r.bottom() + 1 + 8);
}

void AboutWindow::keyPressEvent(QKeyEvent* e)
{
    // Esc presses OK, like Enter does (OK is both default and cancel button).
    if (e->key() == Qt::Key_Escape && e->modifiers() == Qt::NoModifier) {
        cmdOK->click();
        return;
    }
    QDialog::keyPressEvent(e);
}

void frmAbout::ShowModal()
{
    // There is one About window: asked again while it shows, it only comes
    // to the front.
    if (window_) {
        window_->raise();
        window_->activateWindow();
        return;
    }
    AboutWindow window(*this);
    window_ = &window;
    window.setWindowModality(Qt::ApplicationModal);
    // Centred on the window it was opened from, else on the screen; never
    // partly off the screen.
    const QWidget* owner = window.parentWidget();
    QScreen* screen = owner ? owner->screen() : QGuiApplication::primaryScreen();
    if (screen) {
        QRect r(QPoint(0, 0), window.size());
        r.moveCenter(owner ? owner->geometry().center() : screen->availableGeometry().center());
        const QRect avail = screen->availableGeometry();
        r.moveLeft(std::clamp(r.left(), avail.left(), std::max(avail.left(), avail.right() - r.width())));
        r.moveTop(std::clamp(r.top(), avail.top(), std::max(avail.top(), avail.bottom() - r.height())));
        window.move(r.topLeft());
    }
    window.exec();
}

void frmAbout::cmdOK_Click()
{
    if (window_)
        window_->accept();
}

void frmAbout::Label2_Click()
{
    // The result is of no interest: without a mail program nothing happens.
    (void)platform_.openUrl(QUrl(QStringLiteral("mailto:") + kAuthorEmail));
}

} // namespace quillet
