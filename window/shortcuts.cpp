#include "window/shortcuts.h"

#include "window/quillet.h"

#include <QShortcut>

namespace quillet {

QList<ButtonShortcut> ButtonShortcuts(Quillet& w)
{
    const auto keys = [](std::initializer_list<const char*> texts) {
        QList<QKeySequence> list;
        for (const char* t : texts)
            list << QKeySequence(QString::fromLatin1(t), QKeySequence::PortableText);
        return list;
    };
    return {
        {w.Command_open, keys({"Ctrl+O"}), QStringLiteral("Open a FASTA file")},
        {w.Command_run, keys({"Ctrl+R", "F5"}), QStringLiteral("Run the analysis")},
        {w.Command_copy, keys({"Ctrl+Shift+C"}), QStringLiteral("Copy the map to the clipboard")},
        {w.Command_save, keys({"Ctrl+S"}), QStringLiteral("Save the map as a bitmap file")},
        {w.Command_about, keys({"F1"}), QStringLiteral("About Quillet")},
    };
}

void InstallShortcuts(Quillet& window)
{
    for (const ButtonShortcut& s : ButtonShortcuts(window)) {
        QStringList names;
        for (const QKeySequence& key : s.keys) {
            auto* shortcut = new QShortcut(key, &window);
            shortcut->setContext(Qt::WindowShortcut);
            tk::CommandButton* button = s.button;
            QObject::connect(shortcut, &QShortcut::activated, button, [button] { button->click(); });
            names << key.toString(QKeySequence::NativeText);
        }
        s.button->setToolTip(s.action + QStringLiteral(" (") + names.join(QStringLiteral(", ")) + QStringLiteral(")"));
    }
    // The explorer of the record shown, as the map's menu opens it.
    auto* explore = new QShortcut(QKeySequence(QStringLiteral("Ctrl+E")), &window);
    explore->setContext(Qt::WindowShortcut);
    QObject::connect(explore, &QShortcut::activated, &window, [&window] { window.Explore_Click(); });
    // The genome overview of the last run.
    auto* overview = new QShortcut(QKeySequence(QStringLiteral("Ctrl+G")), &window);
    overview->setContext(Qt::WindowShortcut);
    QObject::connect(overview, &QShortcut::activated, &window, [&window] { window.Overview_Click(); });
    // The circular map of the last run.
    auto* circular = new QShortcut(QKeySequence(QStringLiteral("Ctrl+Shift+G")), &window);
    circular->setContext(Qt::WindowShortcut);
    QObject::connect(circular, &QShortcut::activated, &window, [&window] { window.CircularMap_Click(); });
}

} // namespace quillet
