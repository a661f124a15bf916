#pragma once

#include <QString>
#include <QStringList>
#include <QTemporaryDir>

/// A private PulseAudio server of a test's own (null sink, fake microphone), which the test
/// may stop at any moment, for example to take the audio server away mid-play. Stopped, if
/// still running, when destroyed.
class PrivateAudioServer {
public:
    PrivateAudioServer() = default;
    ~PrivateAudioServer() { stop(); }
    PrivateAudioServer(const PrivateAudioServer&) = delete;
    PrivateAudioServer& operator=(const PrivateAudioServer&) = delete;

    bool start();
    void stop();
    /// The server's address, for PULSE_SERVER.
    QString address() const { return m_address; }
    /// Runs pactl against this server; true when it succeeded.
    bool pactl(const QStringList& arguments) const;

private:
    QTemporaryDir m_dir;
    QString m_address;
    bool m_running = false;
};
