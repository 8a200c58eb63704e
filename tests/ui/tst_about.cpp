// The About window opened from the main window: the same design state on
// every opening, the ways to close it, the mail link, and that nothing it
// shows is cut off. Also the built-in pictures the windows use.
#include "maps/syscolors.h"
#include "quillet/version.h"
#include "tests/ui/scriptedplatform.h"
#include "window/about.h"
#include "window/quillet.h"
#include "window/toolkit.h"

#include <QPlainTextEdit>
#include <QPushButton>
#include <QTextBlock>
#include <QtTest>
#include <functional>

using namespace quillet;
using quillet::test::ScriptedPlatform;

namespace {

// Everything a person sees of the window, to compare two openings.
struct DesignState {
    QString caption;
    QSize clientSize;
    QMap<QString, QString> texts;
    QMap<QString, QRect> geometry;
    QMap<QString, QString> fonts;
    bool operator==(const DesignState&) const = default;
};

const QStringList kControls = {QStringLiteral("Text1"),          QStringLiteral("picIcon"),   QStringLiteral("cmdOK"),
                               QStringLiteral("Label2"),         QStringLiteral("Label1"),    QStringLiteral("Line1"),
                               QStringLiteral("lblDescription"), QStringLiteral("lblVersion")};

void StateOf(AboutWindow& w, DesignState& s)
{
    s.caption = w.windowTitle();
    s.clientSize = w.size();
    for (const QString& control : kControls) {
        const QList<QWidget*> found = w.findChildren<QWidget*>(control);
        QVERIFY2(found.size() == (control == QLatin1String("Line1") ? 2 : 1), qPrintable(control));
        for (QWidget* c : found) {
            const QVariant index = c->property("Index");
            const QString name = index.isValid() ? control + u'(' + index.toString() + u')' : control;
            s.geometry[name] = c->geometry();
            s.fonts[name] =
                c->font().toString() + QStringLiteral("|") + c->palette().color(QPalette::WindowText).name();
            if (auto* l = qobject_cast<QLabel*>(c))
                s.texts[name] = l->text();
            else if (auto* b = qobject_cast<QPushButton*>(c))
                s.texts[name] = b->text();
            else if (auto* t = qobject_cast<QPlainTextEdit*>(c))
                s.texts[name] = t->toPlainText();
        }
    }
}

} // namespace

class AboutTest : public QObject {
    Q_OBJECT

    ScriptedPlatform platform;
    std::unique_ptr<Quillet> main;

    // Opens the About window through the main window's button handler and
    // runs `whileOpen` as soon as it shows. Returns once the window has
    // closed; a watchdog closes it should a step fail and leave it open.
    bool open(const std::function<void(AboutWindow&)>& whileOpen)
    {
        bool ran = false, rescued = false;
        QTimer::singleShot(0, this, [&] {
            AboutWindow* w = main->aboutWindow() ? main->aboutWindow()->window() : nullptr;
            if (!w)
                return;
            ran = true;
            whileOpen(*w);
            // A failed check leaves the window open: close it at once.
            if (QTest::currentTestFailed())
                w->reject();
        });
        QTimer watchdog;
        watchdog.setSingleShot(true);
        connect(&watchdog, &QTimer::timeout, this, [&] {
            if (AboutWindow* w = main->aboutWindow()->window()) {
                rescued = true;
                w->reject();
            }
        });
        watchdog.start(10000);
        main->Command_about_Click();
        return ran && !rescued;
    }

private slots:
    void initTestCase()
    {
        // The program's own font (set at start-up).
        QFont font(QStringLiteral("Arial"));
        font.setPointSizeF(8.25);
        QApplication::setFont(font);
    }
    void init()
    {
        platform = ScriptedPlatform();
        main = std::make_unique<Quillet>(platform);
        main->show();
        QVERIFY(QTest::qWaitForWindowExposed(main.get()));
    }
    void cleanup() { main.reset(); }

    void showsTheDesignStateOnEveryOpening()
    {
        DesignState first, second;
        QVERIFY(open([&](AboutWindow& w) {
            StateOf(w, first);
            // Whatever happens to the controls while it is open...
            w.Text1->setPlainText(QStringLiteral("changed"));
            w.Label1->move(0, 0);
            w.lblVersion->setFont(QFont(QStringLiteral("DejaVu Sans"), 20));
            w.cmdOK->click();
        }));
        QVERIFY(!main->aboutWindow()->window());
        // ...the next opening starts again from the design.
        frmAbout* shared = main->aboutWindow();
        QVERIFY(open([&](AboutWindow& w) {
            StateOf(w, second);
            w.cmdOK->click();
        }));
        QCOMPARE(main->aboutWindow(), shared);
        QCOMPARE(second.texts, first.texts);
        QCOMPARE(second.geometry, first.geometry);
        QCOMPARE(second.fonts, first.fonts);
        QVERIFY(second == first);

        QCOMPARE(first.caption, QStringLiteral("About"));
        QCOMPARE(first.clientSize, QSize(326, 196));
        QCOMPARE(first.texts[QStringLiteral("Label1")], QStringLiteral("Quillet"));
        QCOMPARE(first.texts[QStringLiteral("lblVersion")], QStringLiteral("Version ") + QString::fromLatin1(kVersion));
        QCOMPARE(first.texts[QStringLiteral("lblDescription")], QStringLiteral("Author: ") + kAuthorName);
        QCOMPARE(first.texts[QStringLiteral("Label2")], QStringLiteral("Email : ") + kAuthorEmail);
        QCOMPARE(first.texts[QStringLiteral("cmdOK")], QStringLiteral("OK"));
        QCOMPARE(first.geometry[QStringLiteral("cmdOK")], QRect(240, 144, 68, 23));
        QCOMPARE(first.geometry[QStringLiteral("picIcon")], QRect(16, 16, 36, 36));
    }

    void designProperties()
    {
        QVERIFY(open([&](AboutWindow& w) {
            // Fixed size, close box only, modal to the whole program.
            QCOMPARE(w.minimumSize(), w.maximumSize());
            QVERIFY(!(w.windowFlags() & (Qt::WindowMinimizeButtonHint | Qt::WindowMaximizeButtonHint)));
            QVERIFY(w.windowFlags() & Qt::WindowCloseButtonHint);
            QCOMPARE(w.windowModality(), Qt::ApplicationModal);
            QCOMPARE(QApplication::activeModalWidget(), &w);
            QVERIFY(!w.windowIcon().isNull());
            QVERIFY(!w.picIcon->pixmap().isNull());

            QVERIFY(w.cmdOK->isDefault());
            QCOMPARE(w.focusWidget(), w.cmdOK);

            // Title, mail label and author line fonts.
            QCOMPARE(w.Label1->font().pointSizeF(), 12.0);
            QVERIFY(w.Label1->font().families().startsWith(QStringLiteral("Arial Black")));
            QVERIFY(QFontInfo(w.Label1->font()).weight() >= QFont::Bold);
            QCOMPARE(w.Label2->font().pointSizeF(), 10.5);
            QVERIFY(w.Label2->font().underline());
            QVERIFY(w.Label2->font().families().startsWith(QStringLiteral("Times New Roman")));
            QCOMPARE(w.Label2->palette().color(QPalette::WindowText), QColor(0, 0, 255));
            QCOMPARE(w.lblDescription->font().pointSizeF(), 10.5);
            QCOMPARE(w.lblDescription->palette().color(QPalette::WindowText), QColor(0, 0, 0));

            // The notice: four lines, the first three ending in a blank, on
            // the background of the inactive title text system colour.
            const QStringList lines = w.Text1->toPlainText().split(u'\n');
            QCOMPARE(lines.size(), 4);
            for (int i = 0; i < 3; ++i)
                QVERIFY2(lines[i].endsWith(u' ') && lines[i].trimmed().size() > 0, qPrintable(lines[i]));
            QVERIFY(!lines[3].endsWith(u' '));
            QVERIFY(w.Text1->isReadOnly());
            QCOMPARE(w.Text1->palette().color(QPalette::Base), ResolveColor(kSysInactiveTitleText));

            // Everything has a name for assistive technology.
            for (QWidget* c : std::initializer_list<QWidget*>{w.Text1, w.picIcon, w.cmdOK, w.Label2, w.Label1,
                                                              w.lblDescription, w.lblVersion}) {
                const QString said =
                    c->accessibleName().isEmpty()
                        ? (qobject_cast<QLabel*>(c)            ? qobject_cast<QLabel*>(c)->text()
                           : qobject_cast<QAbstractButton*>(c) ? qobject_cast<QAbstractButton*>(c)->text()
                                                               : QString())
                        : c->accessibleName();
                QVERIFY2(!said.isEmpty(), qPrintable(c->objectName()));
            }
            w.cmdOK->click();
        }));
    }

    void nothingIsCutOff_data()
    {
        QTest::addColumn<qreal>("points");
        QTest::newRow("program font") << 8.25;
        QTest::newRow("large desktop font") << 12.0;
    }
    void nothingIsCutOff()
    {
        QFETCH(qreal, points);
        QFont font = QApplication::font();
        const QFont programFont = font;
        font.setPointSizeF(points);
        QApplication::setFont(font);
        const auto restore = qScopeGuard([&] { QApplication::setFont(programFont); });
        QVERIFY(open([&](AboutWindow& w) {
            const QRect client = w.rect();
            for (QLabel* l : {static_cast<QLabel*>(w.Label1), static_cast<QLabel*>(w.Label2),
                              static_cast<QLabel*>(w.lblDescription), static_cast<QLabel*>(w.lblVersion)}) {
                const QFontMetrics fm(l->font());
                QVERIFY2(l->width() >= fm.horizontalAdvance(l->text()), qPrintable(l->objectName()));
                QVERIFY2(l->height() >= fm.height(), qPrintable(l->objectName()));
                QVERIFY2(client.contains(l->geometry()), qPrintable(l->objectName()));
            }
            // All four notice lines lie inside the box's visible area.
            const QFontMetrics fm(w.Text1->font());
            const QRect inside = w.Text1->viewport()->rect();
            QTextBlock block = w.Text1->document()->firstBlock();
            int lines = 0;
            for (; block.isValid(); block = block.next(), ++lines) {
                const QRect r = w.Text1->cursorRect(QTextCursor(block));
                QVERIFY2(inside.top() <= r.top() && r.bottom() <= inside.bottom(), qPrintable(block.text()));
                QVERIFY2(fm.horizontalAdvance(block.text()) <= inside.width(), qPrintable(block.text()));
            }
            QCOMPARE(lines, 4);
            QVERIFY(client.contains(w.Text1->geometry()));
            QVERIFY(!w.Text1->geometry().intersects(w.cmdOK->geometry()));
            w.cmdOK->click();
        }));
    }

    void separatorIsEtched()
    {
        // Grey and white line on one row: the grey pixel row with the white
        // one right under it.
        QVERIFY(open([&](AboutWindow& w) {
            tk::LineControl* grey = w.Line1[1];
            tk::LineControl* white = w.Line1[0];
            QCOMPARE(grey->Y1(), 1920.0f);
            QCOMPARE(white->Y1(), 1920.0f);
            const QImage shot = w.grab().toImage();
            const int x = w.width() / 2;
            const int row = grey->y();
            QCOMPARE(QColor(shot.pixel(x, row)), QColor(0x80, 0x80, 0x80));
            QCOMPARE(QColor(shot.pixel(x, row + 1)), QColor(Qt::white));
            w.cmdOK->click();
        }));
    }

    void closesWithEnterEscAndTheCloseBox_data()
    {
        QTest::addColumn<QString>("how");
        QTest::newRow("Enter") << "Enter";
        QTest::newRow("Enter in the notice") << "EnterInNotice";
        QTest::newRow("keypad Enter") << "KeypadEnter";
        QTest::newRow("Esc") << "Esc";
        QTest::newRow("Esc in the notice") << "EscInNotice";
        QTest::newRow("close box") << "CloseBox";
    }
    void closesWithEnterEscAndTheCloseBox()
    {
        QFETCH(QString, how);
        bool closed = false;
        QVERIFY(open([&](AboutWindow& w) {
            connect(&w, &QDialog::finished, this, [&] { closed = true; });
            if (how == QLatin1String("Enter"))
                QTest::keyClick(w.focusWidget(), Qt::Key_Return);
            else if (how == QLatin1String("KeypadEnter"))
                QTest::keyClick(w.focusWidget(), Qt::Key_Enter, Qt::KeypadModifier);
            else if (how == QLatin1String("EnterInNotice")) {
                w.Text1->setFocus();
                QTest::keyClick(w.Text1, Qt::Key_Return);
            } else if (how == QLatin1String("EscInNotice")) {
                w.Text1->setFocus();
                QTest::keyClick(w.Text1, Qt::Key_Escape);
            } else if (how == QLatin1String("Esc"))
                QTest::keyClick(w.focusWidget(), Qt::Key_Escape);
            else
                w.close();
        }));
        QVERIFY(closed);
        QVERIFY(!main->aboutWindow()->window());
        QVERIFY(platform.openedUrls.empty());
    }

    void mailLinkOpensAMessageToTheAuthorAndStaysOpen_data()
    {
        QTest::addColumn<bool>("mailProgram");
        QTest::newRow("mail program answers") << true;
        QTest::newRow("no mail program") << false;
    }
    void mailLinkOpensAMessageToTheAuthorAndStaysOpen()
    {
        QFETCH(bool, mailProgram);
        platform.urlOpens = mailProgram;
        QVERIFY(open([&](AboutWindow& w) {
            DesignState before, after;
            StateOf(w, before);
            QTest::mouseClick(w.Label2, Qt::LeftButton, {}, w.Label2->rect().center());
            QTest::mouseClick(w.Label2, Qt::LeftButton, {}, QPoint(2, 2));
            QVERIFY(w.isVisible());
            QCOMPARE(main->aboutWindow()->window(), &w);
            StateOf(w, after);
            QVERIFY(after == before);
            w.cmdOK->click();
        }));
        QCOMPARE(platform.openedUrls.size(), size_t(2));
        for (const QUrl& url : platform.openedUrls) {
            QCOMPARE(url.toString(), QStringLiteral("mailto:") + kAuthorEmail);
            QCOMPARE(url.scheme(), QStringLiteral("mailto"));
        }
        // The address in the label is the one the link uses.
        QVERIFY(platform.messages.isEmpty());
    }

    void mainWindowTakesNoInputWhileOpen()
    {
        // Clicks arrive as the window system delivers them, so modality
        // applies as it does for a person.
        const auto clickOn = [this](QWidget* control) {
            const QPoint at = control->mapTo(main.get(), control->rect().center());
            QTest::mouseClick(main->windowHandle(), Qt::LeftButton, {}, at);
        };
        int shown = 0;
        QVERIFY(open([&](AboutWindow& w) {
            clickOn(main->Command_open);
            clickOn(main->Command_about);
            const QWidgetList windows = QApplication::topLevelWidgets();
            shown = int(std::count_if(windows.cbegin(), windows.cend(),
                                      [](QWidget* t) { return qobject_cast<AboutWindow*>(t) && t->isVisible(); }));
            w.cmdOK->click();
        }));
        QVERIFY(platform.openRequests.empty());
        QCOMPARE(shown, 1);
        // Afterwards the main window answers again.
        clickOn(main->Command_open);
        QCOMPARE(platform.openRequests.size(), size_t(1));
    }

    void askedAgainWhileOpenItStaysOneWindow()
    {
        bool closedBoth = false;
        QVERIFY(open([&](AboutWindow& w) {
            main->Command_about_Click();
            QCOMPARE(main->aboutWindow()->window(), &w);
            w.cmdOK->click();
            closedBoth = true;
        }));
        QVERIFY(closedBoth);
        QVERIFY(!main->aboutWindow()->window());
    }

    void windowsShowTheirPictures()
    {
        // Window icon and button pictures in all three sizes, and the banner
        // at its design size.
        QVERIFY(!main->windowIcon().isNull());
        for (tk::CommandButton* b :
             {main->Command_open, main->Command_run, main->Command_copy, main->Command_save, main->Command_about}) {
            const QList<QSize> sizes = b->icon().availableSizes();
            for (int side : {16, 32, 48})
                QVERIFY2(sizes.contains(QSize(side, side)), qPrintable(b->objectName()));
        }
        const QPixmap banner = main->Image1->pixmap();
        QVERIFY(!banner.isNull());
        QCOMPARE(banner.deviceIndependentSize().toSize(), QSize(298, 46));
    }
};

QTEST_MAIN(AboutTest)
#include "tst_about.moc"
