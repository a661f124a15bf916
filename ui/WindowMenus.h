#pragma once

#include <QObject>
#include <QRect>

#include <functional>
#include <map>
#include <utility>
#include <vector>

class QAbstractButton;
class QMenu;
class QMenuBar;
class QWidget;

/// The Recorder window's menus: the menu bar (File, Tools, ?) and the pop-ups of the Tools and
/// Info buttons, all built from one table, and the routing of each command to the handler the
/// window gave for it. An item whose command has no handler, or whose handler says it cannot
/// run now, is grey. Menus are built afresh each time they open, so they always show the
/// window's present state.
///
/// Lives on the UI thread; the window outlives it.
class WindowMenus : public QObject {
    Q_OBJECT
public:
    static constexpr int kUpdate = 32775;
    static constexpr int kExit = 32792;
    static constexpr int kImport = 32796;
    static constexpr int kOptions = 32798;
    static constexpr int kAbout = 32804;
    static constexpr int kHelp = 32805;
    static constexpr int kOnline = 32808;

    /// The pop-ups of the table: File and Tools (both in the bar, Tools also behind its button)
    /// and "?" (in the bar and behind the Info button).
    enum Popup { File = 0, Tools = 1, Help = 2 };

    /// One item of a pop-up; command 0 is a separator.
    struct Item {
        int command;
        int stringId;
    };
    static const std::vector<Item>& items(Popup popup);
    /// The string of the pop-up's title in the menu bar.
    static int titleId(Popup popup);

    /// Puts the menu bar on `window` at `barGeometry`, drawn in the window's colours.
    WindowMenus(QWidget& window, const QRect& barGeometry);
    ~WindowMenus() override;

    /// Routes `command` to `run`; `enabled`, when given, is asked each time a menu opens.
    void setHandler(int command, std::function<void()> run, std::function<bool()> enabled = {});
    /// Builds the menu bar's menus afresh (they are also rebuilt each time one opens), so that
    /// what screen readers see of a closed menu is up to date too.
    void refresh();
    /// Runs `command` as its menu item would; false (nothing run) when it has no handler or
    /// cannot run now.
    bool runCommand(int command);
    bool isEnabled(int command) const;

    QMenuBar* menuBar() const { return m_bar; }
    /// Shows `popup` at the cursor, as a button's menu; afterwards the focus goes back to
    /// `button` (when given).
    void showPopup(Popup popup, QAbstractButton* button);
    /// Fills `menu` with `popup`'s items.
    void fill(QMenu& menu, Popup popup);

private:
    struct Handler {
        std::function<void()> run;
        std::function<bool()> enabled;
    };

    QWidget& m_window;
    QMenuBar* m_bar = nullptr;
    std::map<int, Handler> m_handlers;
    std::vector<std::pair<QMenu*, Popup>> m_barMenus;
};
