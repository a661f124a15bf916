#include "ui/WindowMenus.h"

#include "res/StringTable.h"

#include <QAbstractButton>
#include <QCursor>
#include <QMenu>
#include <QMenuBar>
#include <QPointer>
#include <QTimer>
#include <QWidget>

namespace {

const char* const BarStyle =
    "QMenuBar { background: transparent; color: #33475b; }"
    "QMenuBar::item { background: transparent; padding: 3px 8px; border-radius: 4px; }"
    "QMenuBar::item:selected { background: #dcebfb; color: #14202c; }"
    "QMenuBar::item:pressed { background: #cfe3fa; color: #14202c; }";

} // namespace

const std::vector<WindowMenus::Item>& WindowMenus::items(Popup popup)
{
    static const std::vector<Item> file = {{kImport, 313}, {0, 0}, {kExit, 314}};
    static const std::vector<Item> tools = {
        {kImport, 313}, {0, 0}, {kOptions, 312}, {0, 0}, {kExit, 314}};
    static const std::vector<Item> help = {{kHelp, 320}, {0, 0},         {kUpdate, 447},
                                           {0, 0},       {kOnline, 329}, {kAbout, 321}};
    switch (popup) {
    case File:
        return file;
    case Tools:
        return tools;
    case Help:
        break;
    }
    return help;
}

int WindowMenus::titleId(Popup popup)
{
    return 324 + static_cast<int>(popup);
}

WindowMenus::WindowMenus(QWidget& window, const QRect& barGeometry)
    : QObject(&window), m_window(window)
{
    m_bar = new QMenuBar(&window);
    m_bar->setObjectName(QStringLiteral("MenuBar"));
    // A desktop-wide menu bar would take it away from the window's header.
    m_bar->setNativeMenuBar(false);
    m_bar->setStyleSheet(QString::fromLatin1(BarStyle));
    m_bar->setGeometry(barGeometry);
    for (Popup popup : {File, Tools, Help}) {
        QMenu* menu = m_bar->addMenu(StringTable::text(titleId(popup)));
        menu->setObjectName(QStringLiteral("MenuBarPopup%1").arg(int(popup)));
        // Built as it opens, so that its grey items follow the window's state.
        connect(menu, &QMenu::aboutToShow, this, [this, menu, popup] {
            menu->clear();
            fill(*menu, popup);
        });
        m_barMenus.push_back({menu, popup});
    }
    refresh();
}

void WindowMenus::refresh()
{
    for (const auto& [menu, popup] : m_barMenus) {
        menu->clear();
        fill(*menu, popup);
    }
}

WindowMenus::~WindowMenus() = default;

void WindowMenus::setHandler(int command, std::function<void()> run, std::function<bool()> enabled)
{
    m_handlers[command] = Handler{std::move(run), std::move(enabled)};
}

bool WindowMenus::isEnabled(int command) const
{
    const auto found = m_handlers.find(command);
    return found != m_handlers.end() && found->second.run &&
           (!found->second.enabled || found->second.enabled());
}

bool WindowMenus::runCommand(int command)
{
    if (!isEnabled(command))
        return false;
    // A copy: the handler may replace the table's entries while it runs.
    const std::function<void()> run = m_handlers[command].run;
    run();
    return true;
}

void WindowMenus::fill(QMenu& menu, Popup popup)
{
    for (const Item& item : items(popup)) {
        if (item.command == 0) {
            menu.addSeparator();
            continue;
        }
        QAction* action = menu.addAction(StringTable::text(item.stringId));
        action->setData(item.command);
        action->setEnabled(isEnabled(item.command));
        // Posted: the menu closes before a command opens dialogs of its own.
        const int command = item.command;
        connect(action, &QAction::triggered, this, [this, command] {
            QTimer::singleShot(0, this, [this, command] { runCommand(command); });
        });
    }
}

void WindowMenus::showPopup(Popup popup, QAbstractButton* button)
{
    QMenu menu(&m_window);
    menu.setObjectName(popup == Tools ? QStringLiteral("ToolsMenu") : QStringLiteral("InfoMenu"));
    fill(menu, popup);
    const QPointer<QAbstractButton> back(button);
    menu.exec(QCursor::pos());
    if (back)
        back->setFocus();
}
