// The main window scaled to the screen at start-up: the design geometry on
// the 1024 x 768 screen it was drawn for, and the scaled window on smaller
// and larger screens, where it must still fit and the cursor line must
// still span the map.
//
// The test runs on an offscreen screen of 1024 x 768 pixels, where start-up
// leaves the design as it is; other screens are given to the window as it
// is created.
#include "tests/ui/scriptedplatform.h"
#include "window/quillet.h"

#include <QTemporaryDir>
#include <QtTest>

using namespace quillet;
using quillet::test::ScriptedPlatform;

class LayoutTest : public QObject {
    Q_OBJECT

    ScriptedPlatform platform;

    static QList<QWidget*> ControlsOf(QWidget* container)
    {
        QList<QWidget*> out;
        for (QObject* o : container->children())
            if (auto* w = qobject_cast<QWidget*>(o); w && !w->isWindow() && !w->isHidden())
                out << w;
        return out;
    }

private slots:
    void designGeometryOnTheDesignScreen()
    {
        QCOMPARE(QGuiApplication::primaryScreen()->geometry().size(), QSize(1024, 768));
        Quillet w(platform);
        QCOMPARE(w.Picture1->Left(), 240.0f);
        QCOMPARE(w.Picture1->Top(), 3240.0f);
        QCOMPARE(w.Picture1->Width(), 10575.0f);
        QCOMPARE(w.Picture1->Height(), 4695.0f);
        QCOMPARE(w.Command_open->Left(), 6000.0f);
        QCOMPARE(w.Text_WS->Top(), 440.0f);
        QCOMPARE(w.ScaleWidth(), Quillet::kDesignClientWidth);
        QCOMPARE(w.ScaleHeight(), Quillet::kDesignClientHeight);
        QCOMPARE(w.size(), QSize(758, 561));
        QCOMPARE(w.Line3->Y1(), 0.0f);
        QCOMPARE(w.Line3->Y2(), 4680.0f);
        QVERIFY(w.Image1->Stretch());
    }

    void scaledToTheScreen_data()
    {
        QTest::addColumn<int>("widthPx");
        QTest::addColumn<int>("heightPx");
        QTest::addColumn<double>("pictureWidth");
        QTest::addColumn<double>("pictureHeight");
        // Picture1 is 10575 x 4695 twips by design.
        QTest::newRow("800 x 600") << 800 << 600 << 9532.8 << 4232.3;
        QTest::newRow("1280 x 1024") << 1280 << 1024 << 13218.75 << 6260.0;
        QTest::newRow("1366 x 768") << 1366 << 768 << 14106.88 << 4695.0;
        QTest::newRow("1920 x 1080") << 1920 << 1080 << 19828.13 << 6602.34;
    }
    void scaledToTheScreen()
    {
        QFETCH(int, widthPx);
        QFETCH(int, heightPx);
        QFETCH(double, pictureWidth);
        QFETCH(double, pictureHeight);

        Quillet w(platform, nullptr, QSizeF(widthPx * 15.0, heightPx * 15.0));

        QVERIFY2(std::abs(w.Picture1->Width() - pictureWidth) < 0.1, qPrintable(QString::number(w.Picture1->Width())));
        QVERIFY2(std::abs(w.Picture1->Height() - pictureHeight) < 0.1,
                 qPrintable(QString::number(w.Picture1->Height())));

        // The cursor line runs from the top to the bottom of the map.
        QWidget* inside = w.Picture1->Inside();
        QVERIFY(w.Line3->Y1() <= 0.0f);
        QVERIFY2(w.Line3->Y2() >= float(inside->height()) * 15,
                 qPrintable(QStringLiteral("%1 < %2").arg(w.Line3->Y2()).arg(inside->height() * 15)));
        w.Line3->SetDrawMode(13);
        QVERIFY(w.Line3->geometry().top() <= 0);
        QVERIFY(w.Line3->geometry().bottom() >= inside->height() - 1);

        // The window, borders included, fits on the screen, and every
        // control lies inside the client area and its container.
        QVERIFY(tk::ToPixels(w.Width()) <= widthPx);
        QVERIFY(tk::ToPixels(w.Height()) <= heightPx);
        for (QWidget* container :
             {static_cast<QWidget*>(&w), static_cast<QWidget*>(w.Frame1), static_cast<QWidget*>(w.Frame2)})
            for (QWidget* c : ControlsOf(container))
                QVERIFY2(container->rect().contains(c->geometry()),
                         qPrintable(c->objectName() + QStringLiteral(" leaves ") + container->objectName()));
    }
};

int main(int argc, char** argv)
{
    // An offscreen screen of the design size.
    QTemporaryDir dir;
    const QString config = dir.filePath(QStringLiteral("screen.json"));
    QFile f(config);
    if (!f.open(QIODevice::WriteOnly))
        return 1;
    f.write(R"({"screens": [{"name": "design", "x": 0, "y": 0, "width": 1024, "height": 768,
                "logicalDpi": 96, "logicalBaseDpi": 96, "dpr": 1}]})");
    f.close();
    qputenv("QT_QPA_PLATFORM", QByteArray("offscreen:configfile=") + config.toLocal8Bit());

    QApplication app(argc, argv);
    LayoutTest test;
    return QTest::qExec(&test, argc, argv);
}

#include "tst_layout.moc"
