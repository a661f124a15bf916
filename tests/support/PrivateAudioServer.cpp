#include "tests/support/PrivateAudioServer.h"

#include "tests/support/MicrophoneFeeder.h"

#include <QProcess>
#include <QProcessEnvironment>

#include <utility>

namespace {

QString script()
{
    return QStringLiteral(PARLUNE_SOURCE_DIR "/scripts/pulse-test-server.sh");
}

bool runShared(const QString& action)
{
    const QString folder = qEnvironmentVariable("PARLUNE_TEST_PULSE_DIR");
    if (folder.isEmpty())
        return false;
    // The shared server may be PipeWire's: it is restarted by the script that started it.
    const QString sharedScript = qEnvironmentVariable("PARLUNE_TEST_SERVER_SCRIPT", script());
    QProcess process;
    process.start(QStringLiteral("bash"), {sharedScript, action, folder});
    return process.waitForFinished(30000) && process.exitCode() == 0;
}

} // namespace

bool PrivateAudioServer::start()
{
    QProcess process;
    process.start(QStringLiteral("bash"), {script(), QStringLiteral("start"), m_dir.path()});
    if (!process.waitForFinished(20000) || process.exitCode() != 0)
        return false;
    const QByteArray prefix("export PULSE_SERVER=");
    for (const QByteArray& line : process.readAllStandardOutput().split('\n')) {
        if (line.startsWith(prefix))
            m_address = QString::fromUtf8(line.mid(prefix.size()));
    }
    m_running = !m_address.isEmpty();
    return m_running;
}

void PrivateAudioServer::stop()
{
    if (!m_running)
        return;
    QProcess process;
    process.start(QStringLiteral("bash"), {script(), QStringLiteral("stop"), m_dir.path()});
    process.waitForFinished(20000);
    m_running = false;
}

bool PrivateAudioServer::pactl(const QStringList& arguments) const
{
    QProcess process;
    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    environment.insert(QStringLiteral("PULSE_SERVER"), m_address);
    process.setProcessEnvironment(environment);
    process.start(QStringLiteral("pactl"), arguments);
    return process.waitForFinished(10000) && process.exitCode() == 0;
}

bool PrivateAudioServer::stopShared()
{
    return runShared(QStringLiteral("stop"));
}

bool PrivateAudioServer::startShared()
{
    return runShared(QStringLiteral("start"));
}

bool PrivateAudioServer::SharedOutage::end()
{
    if (!std::exchange(m_stopped, false))
        return true;
    return startShared() && MicrophoneFeeder::prepare();
}
