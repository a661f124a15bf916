#pragma once

#include <QObject>

#include <functional>

class QWidget;

/// The keys the Recorder window takes before its controls do, wherever the focus is in it:
/// Esc, F1 and F3 are swallowed (Esc closes a shown Find window and never the Recorder window),
/// Enter plays the selected recording except in a field that takes text, and F5 reloads the
/// list; both then go on to the focused control.
///
/// Watches the application's key presses from construction to destruction; UI thread only.
class WindowKeys : public QObject {
    Q_OBJECT
public:
    struct Actions {
        std::function<void()> escape; ///< Esc
        std::function<void()> play;   ///< Enter
        std::function<void()> reload; ///< F5
    };

    WindowKeys(QWidget& window, Actions actions);
    ~WindowKeys() override;

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    QWidget& m_window;
    Actions m_actions;
};
