#include "window/quillet.h"

#include "maps/layoutfactors.h"
#include "quillet/version.h"
#include "window/about.h"
#include "window/accessibility.h"
#include "window/dropopen.h"
#include "window/pictures.h"
#include "window/shortcuts.h"

#include <QApplication>
#include <QCoreApplication>
#include <QScreen>
#include <QStyle>

namespace quillet {

namespace {
const QString kTitle = QStringLiteral("Quillet V") + QString::fromLatin1(kVersion);
} // namespace

Quillet::Quillet(PlatformServices& platform, QWidget* parent, std::optional<QSizeF> screenTwips)
    : QWidget(parent, Qt::Window | Qt::CustomizeWindowHint | Qt::WindowTitleHint | Qt::WindowCloseButtonHint |
                          Qt::MSWindowsFixedSizeDialogHint),
      platform_(platform), screenTwips_(screenTwips)
{
    setObjectName(QStringLiteral("Quillet"));
    setWindowTitle(kTitle);
    setWindowIcon(PictureIcon(QStringLiteral("quillet")));
    // The title bar and borders that the outer size includes.
    const int frame = style()->pixelMetric(QStyle::PM_MdiSubWindowFrameWidth, nullptr, this);
    const int title = style()->pixelMetric(QStyle::PM_TitleBarHeight, nullptr, this);
    frameWidth_ = float(2 * frame) * tk::kTwipsPerPixel;
    frameHeight_ = float(title + 2 * frame) * tk::kTwipsPerPixel;
    outerWidth_ = kDesignClientWidth + frameWidth_;
    outerHeight_ = kDesignClientHeight + frameHeight_;
    setFixedSize(tk::ToPixels(kDesignClientWidth), tk::ToPixels(kDesignClientHeight));

    InstallSwatchAccess();
    createControls();
    connectEvents();
    createMapMenu();
    setTabOrder();
    Form_Load();
    InstallShortcuts(*this);
    InstallAccessibility(*this);
    InstallFileDrop(*this);

    // Start centred on the screen, with the size the layout left.
    if (const QScreen* s = QGuiApplication::primaryScreen()) {
        const QRect avail = s->availableGeometry();
        const int w = tk::ToPixels(outerWidth_), h = tk::ToPixels(outerHeight_);
        move(avail.x() + std::max(0, (avail.width() - w) / 2), avail.y() + std::max(0, (avail.height() - h) / 2));
    }
    Command_open->setFocus();
}

Quillet::~Quillet() = default;

namespace {
// Creates a control under its design name at its design geometry (twips).
template <typename T, typename... Args>
T* Create(QWidget* parent, const char* name, float left, float top, float width, float height, Args&&... args)
{
    auto* control = new T(parent, std::forward<Args>(args)...);
    control->setObjectName(QLatin1String(name));
    control->Move(left, top, width, height);
    return control;
}

// A text box for a number of at most seven characters.
void MakeParameterBox(tk::TextBox* box, const QString& accessibleName)
{
    box->SetText(QStringLiteral("100"));
    box->setMaxLength(7);
    box->SetBackColor(kSysMenuBackground);
    box->setAccessibleName(accessibleName);
}
} // namespace

void Quillet::createControls()
{
    // Every control in creation order, with its design geometry.
    ProgressBar1 = Create<tk::ProgressBar>(this, "ProgressBar1", 240, 2040, 10900, 195);
    ProgressBar1->setAccessibleName(QStringLiteral("Progress"));
    Combo1 = Create<tk::ComboBox>(this, "Combo1", 9240, 2400, 1695, 300);
    Combo1->setAccessibleName(QStringLiteral("Plot"));
    VScroll1 = Create<tk::VScrollBar>(this, "VScroll1", 10800, 3240, 350, 4695);
    VScroll1->setAccessibleName(QStringLiteral("Vertical scale"));
    Command_about = Create<tk::CommandButton>(this, "Command_about", 9885, 105, 970, 830, QStringLiteral("About"));
    Command_about->SetPicture(PictureIcon(QStringLiteral("about")));
    Command_save = Create<tk::CommandButton>(this, "Command_save", 8910, 100, 970, 830, QStringLiteral("Save"));
    Command_save->SetPicture(PictureIcon(QStringLiteral("save")));
    Text5 = Create<tk::TextBox>(this, "Text5", 240, 2760, 4935, 270);
    Text5->setAccessibleName(QStringLiteral("Sequence Name:"));
    Command_copy = Create<tk::CommandButton>(this, "Command_copy", 7935, 100, 970, 830, QStringLiteral("Copy"));
    Command_copy->SetPicture(PictureIcon(QStringLiteral("copy")));

    Frame1 = Create<tk::Frame>(this, "Frame1", 5400, 960, 5750, 975, QStringLiteral("Options"));
    // A colour swatch: it shows no text and takes none.
    Text4 = Create<tk::ColorSwatch>(Frame1, "Text4", 4680, 440, 735, 270);
    Text4->SetBackColor(kSysActiveTitleBar);
    Text4->setAccessibleName(QStringLiteral("Color"));
    Text4->setToolTip(QStringLiteral("Choose the colour of the curve (click, or Space)"));
    Text_Step = Create<tk::TextBox>(Frame1, "Text_Step", 3000, 440, 735, 270);
    MakeParameterBox(Text_Step, QStringLiteral("Step(bp)"));
    Text_WS = Create<tk::TextBox>(Frame1, "Text_WS", 1200, 440, 735, 270);
    MakeParameterBox(Text_WS, QStringLiteral("Window(bp)"));
    Label7 = Create<tk::Label>(Frame1, "Label7", 4080, 450, 495, 255, QStringLiteral("Color"));
    Label7->setBuddy(Text4);
    Label2 = Create<tk::Label>(Frame1, "Label2", 2160, 450, 855, 255, QStringLiteral("Step(bp)"));
    Label2->setBuddy(Text_Step);
    Label_windowsize = Create<tk::Label>(Frame1, "Label_windowsize", 120, 450, 1095, 255, QStringLiteral("Window(bp)"));
    Label_windowsize->setBuddy(Text_WS);

    Picture1 = Create<tk::PictureBox>(this, "Picture1", 240, 3240, kMapDesignWidth, kMapDesignHeight);
    Picture1->SetBackColor(kSysHighlightText);
    Picture1->setAccessibleName(QStringLiteral("Map"));
    Label_move = Create<tk::Label>(Picture1->Inside(), "Label_move", 240, 960, 1455, 255);
    Label_move->setAttribute(Qt::WA_TransparentForMouseEvents);
    QColor readoutBack = ResolveColor(kSysHighlightText);
    readoutBack.setAlpha(210);
    Label_move->SetCaptionBackground(readoutBack);
    Label_move->setAccessibleName(QStringLiteral("Position"));
    Line3 = new tk::LineControl(Picture1->Inside());
    Line3->setObjectName(QStringLiteral("Line3"));
    Line3->SetX1(1680);
    Line3->SetY1(0);
    Line3->SetX2(1680);
    Line3->SetY2(4680);
    Line3->SetDrawMode(11);

    CommonDialog1 = std::make_unique<CommonDialog>(platform_, this);

    Command_run = Create<tk::CommandButton>(this, "Command_run", 6975, 100, 970, 830, QStringLiteral("Run"));
    Command_run->SetPicture(PictureIcon(QStringLiteral("quillet")));
    Command_open = Create<tk::CommandButton>(this, "Command_open", 6000, 100, 970, 830, QStringLiteral("Open"));
    Command_open->SetPicture(PictureIcon(QStringLiteral("open")));
    tk::SetBackColor(Command_open, kSys3DLight, QPalette::Button);

    Frame2 = Create<tk::Frame>(this, "Frame2", 240, 960, 5055, 975, QStringLiteral("File directory"));
    Text1 = Create<tk::TextBox>(Frame2, "Text1", 240, 280, 4575, 270);
    Text1->SetBackColor(kSysMenuBackground);
    Text1->setAccessibleName(QStringLiteral("FASTA file"));
    Label5 = Create<tk::Label>(Frame2, "Label5", 120, 645, 4815, 255,
                               QStringLiteral("* Single DNA sequence is valid with FASTA format"));

    Label6 = Create<tk::Label>(this, "Label6", 7440, 2835, 1455, 255);
    Label6->setAccessibleName(QStringLiteral("Total bases (bp):"));
    Label4 = Create<tk::Label>(this, "Label4", 7440, 2475, 735, 255);
    Label4->setAccessibleName(QStringLiteral("Average G+C (%):"));
    Image1 = Create<tk::ImageControl>(this, "Image1", 600, 165, 4470, 690);
    Image1->setPixmap(BannerPicture());
    Image1->setAccessibleName(QStringLiteral("Quillet"));
    Label8 = Create<tk::Label>(this, "Label8", 240, 2445, 1455, 255, QStringLiteral("Sequence Name:"));
    Label8->setBuddy(Text5);
    Label3 = Create<tk::Label>(this, "Label3", 5640, 2835, 1695, 285, QStringLiteral("Total bases (bp):"));
    Label1 = Create<tk::Label>(this, "Label1", 5640, 2475, 1695, 255, QStringLiteral("Average G+C (%):"));
}

void Quillet::connectEvents()
{
    connect(Command_open, &QToolButton::clicked, this, &Quillet::Command_open_Click);
    connect(Command_run, &QToolButton::clicked, this, &Quillet::Command_run_Click);
    connect(Command_copy, &QToolButton::clicked, this, &Quillet::Command_copy_Click);
    connect(Command_save, &QToolButton::clicked, this, &Quillet::Command_save_Click);
    connect(Command_about, &QToolButton::clicked, this, &Quillet::Command_about_Click);
    connect(Text_Step, &tk::TextBox::KeyUp, this, &Quillet::Text_Step_KeyUp);
    connect(Text_WS, &tk::TextBox::KeyUp, this, &Quillet::Text_WS_KeyUp);
    connect(Text4, &tk::TextBox::Click, this, &Quillet::Text4_Click);
    connect(Combo1, &tk::ComboBox::Change, this, &Quillet::Combo1_Change);
    connect(Combo1, &tk::ComboBox::Click, this, &Quillet::Combo1_Click);
    connect(VScroll1, &tk::VScrollBar::Change, this, &Quillet::VScroll1_Change);
    connect(VScroll1, &tk::VScrollBar::Scroll, this, &Quillet::VScroll1_Scroll);
    connect(Picture1, &tk::PictureBox::MouseMove, this, &Quillet::Picture1_MouseMove);
}

void Quillet::setTabOrder()
{
    // Rising tab index; labels and frames take no focus.
    QWidget* order[] = {Command_open, Command_run,  Picture1,      Text_WS, Text_Step, Command_copy, Text4,
                        Text5,        Command_save, Command_about, Text1,   VScroll1,  Combo1};
    for (size_t i = 0; i + 1 < std::size(order); ++i)
        QWidget::setTabOrder(order[i], order[i + 1]);
    ProgressBar1->setFocusPolicy(Qt::NoFocus);
}

void Quillet::Form_Load()
{
    ArrangeControls();
    Combo1->SetFontName(QStringLiteral("Arial"));
    Combo1->SetFontSize(10);
    for (const PlotTraits& plot : kPlots)
        if (plot.selectorIndex >= 0)
            Combo1->AddItem(QString(plot.selectorText), plot.selectorIndex);
    Combo1->SetListIndex(0);
}

std::optional<Plot> Quillet::ShownPlot() const
{
    return PlotAtSelectorIndex(Combo1->ListIndex());
}

void Quillet::SetWidth(float twips)
{
    outerWidth_ = twips;
    setFixedWidth(std::max(1, tk::ToPixels(ScaleWidth())));
}

void Quillet::SetHeight(float twips)
{
    outerHeight_ = twips;
    setFixedHeight(std::max(1, tk::ToPixels(ScaleHeight())));
}

float Quillet::ScaleWidth() const
{
    return outerWidth_ - frameWidth_;
}

float Quillet::ScaleHeight() const
{
    return outerHeight_ - frameHeight_;
}

void Quillet::ArrangeControls()
{
    QSizeF screen;
    if (screenTwips_) {
        screen = *screenTwips_;
    } else {
        const QScreen* s = QGuiApplication::primaryScreen();
        screen = QSizeF(s ? s->geometry().size() : QSize(1024, 768)) * tk::kTwipsPerPixel;
    }
    const LayoutFactors f = ComputeLayoutFactors(float(screen.width()), float(screen.height()));

    SetHeight(Height() * f.fy);
    SetWidth(Width() * f.fx);

    const auto scale = [&](tk::TwipsGeometry* c) {
        c->SetTop(c->Top() * f.fy);
        c->SetHeight(c->Height() * f.fy);
        c->SetLeft(c->Left() * f.fx);
        c->SetWidth(c->Width() * f.fx);
    };
    scale(Picture1);
    Image1->SetStretch(true);
    scale(Image1);
    scale(ProgressBar1);
    // The combo box keeps the height its font gives it.
    Combo1->SetTop(Combo1->Top() * f.fy);
    Combo1->SetLeft(Combo1->Left() * f.fx);
    Combo1->SetWidth(Combo1->Width() * f.fx);
    for (tk::TwipsGeometry* c : std::initializer_list<tk::TwipsGeometry*>{
             VScroll1,   Command_about, Command_save, Text5,  Command_copy, Frame1,
             Text4,      Text_Step,     Text_WS,      Label7, Label2,       Label_windowsize,
             Label_move, Command_run,   Command_open, Frame2, Text1,        Label5,
             Label6,     Label4,        Label8,       Label3, Label1})
        scale(c);
    // The cursor line spans the picture box on every screen.
    Line3->SetY1(Line3->Y1() * f.fy);
    Line3->SetY2(Line3->Y2() * f.fy);
}

void Quillet::SetMousePointer(int pointer)
{
    if (pointer == 11 && mousePointer_ != 11)
        QApplication::setOverrideCursor(Qt::WaitCursor);
    else if (pointer != 11 && mousePointer_ == 11)
        QApplication::restoreOverrideCursor();
    mousePointer_ = pointer;
}

QString Quillet::dataFolder() const
{
    return QCoreApplication::applicationDirPath() + QStringLiteral("/ok~)");
}

void Quillet::MsgBox(const QString& text)
{
    platform_.message(this, QStringLiteral("Quillet"), text);
}

MapInputs Quillet::mapInputs() const
{
    MapInputs in;
    in.AvgGC = results.AvgGC;
    in.totalBases = Label6->Caption();
    in.stepText = computedStepText;
    in.windowText = computedWindowText;
    in.curveColor = Text4->BackColor();
    addMarking(in);
    return in;
}

void Quillet::DrawGCMap(const std::vector<float>& values, int16_t shift)
{
    tk::RepaintOnExit repaint{Picture1->Inside()};
    MapTextTap tap(Picture1->Surface());
    quillet::DrawGCMap(tap, values, shift, mapInputs());
    emit MapDrawn(tap.ValueLabels(), tap.ReferenceLabel());
}

void Quillet::DrawSkewMap(const std::vector<float>& values, int16_t scale)
{
    tk::RepaintOnExit repaint{Picture1->Inside()};
    MapTextTap tap(Picture1->Surface());
    quillet::DrawSkewMap(tap, values, scale, mapInputs());
    emit MapDrawn(tap.ValueLabels(), tap.ReferenceLabel());
}

void Quillet::Command_about_Click()
{
    if (!about_)
        about_ = std::make_unique<frmAbout>(platform_);
    about_->ShowModal();
}

} // namespace quillet
