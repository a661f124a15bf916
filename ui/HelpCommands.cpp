#include "ui/HelpCommands.h"

#include "platform/DesktopOpener.h"
#include "platform/ProcessRunner.h"
#include "res/StringTable.h"
#include "ui/AboutDialog.h"
#include "ui/MessagePresenter.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QUrl>

#include <utility>

HelpCommands::HelpCommands(QString programFolder, QString dataFolder, MessagePresenter& messages,
                           DesktopOpener& opener, QWidget* window)
    : m_programFolder(std::move(programFolder)), m_dataFolder(std::move(dataFolder)),
      m_messages(messages), m_opener(opener), m_window(window)
{}

QString HelpCommands::guidePath() const
{
    return m_programFolder + StringTable::text(352);
}

void HelpCommands::help()
{
    const QString guide = guidePath();
    if (!QFileInfo(guide).isFile()) {
        m_messages.showMessage(m_window, StringTable::text(353), StringTable::caption(),
                               MessagePresenter::Icon::Error);
        return;
    }
    m_opener.openFile(guide);
}

void HelpCommands::update()
{
    const QFileInfo program(m_programFolder + QLatin1String(kUpdateProgram));
    if (program.isFile() && program.isExecutable())
        ProcessRunner::startDetached(program.absoluteFilePath());
}

void HelpCommands::onlinePage()
{
    // The program folder is not ours to write on this system, so the page lives with our data.
    QDir().mkpath(m_dataFolder);
    QFile marker(m_dataFolder + QLatin1String(kOnlineMarker));
    if (marker.open(QIODevice::WriteOnly | QIODevice::Append))
        marker.close();
    m_opener.open(QUrl(StringTable::text(420)));
}

void HelpCommands::about()
{
    AboutDialog dialog(m_window);
    dialog.exec();
}
