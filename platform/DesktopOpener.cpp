#include "platform/DesktopOpener.h"

#include <QDesktopServices>
#include <QUrl>

bool DesktopOpener::open(const QUrl& url)
{
    return QDesktopServices::openUrl(url);
}

bool DesktopOpener::openFile(const QString& path)
{
    return open(QUrl::fromLocalFile(path));
}
