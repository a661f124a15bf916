#include "platform/InstanceLock.h"
#include "ui/CRecorderApp.h"
#include "ui/QtMessagePresenter.h"

#include <QApplication>

int main(int argc, char* argv[])
{
    QApplication application(argc, argv);
    QApplication::setApplicationName(QStringLiteral("Parlune"));
    QApplication::setOrganizationName(QStringLiteral("Orvane"));
    QApplication::setApplicationVersion(QStringLiteral(PARLUNE_VERSION));
    // Wayland desktops match the window to the installed desktop entry by this name.
    QApplication::setDesktopFileName(QStringLiteral("com.orvane.Parlune"));
    // The window ends the program, not the last window closing: it may live hidden.
    QApplication::setQuitOnLastWindowClosed(false);

    QtMessagePresenter messages;
    CRecorderApp recorder(messages, InstanceLock::defaultPath());
    return recorder.InitInstance();
}
