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

    /// Stops or starts again the server that ./test runs for every test (the same socket and
    /// fake microphone), as an audio server restart on a desktop does. True when done.
    static bool stopShared();
    static bool startShared();

    /// Takes the shared server away for a while; it is back (with the fake microphone heard
    /// whole) when end() is called or the outage ends, whatever the test did meanwhile.
    class SharedOutage {
    public:
        SharedOutage() : m_stopped(stopShared()) {}
        ~SharedOutage() { end(); }
        SharedOutage(const SharedOutage&) = delete;
        SharedOutage& operator=(const SharedOutage&) = delete;
        bool stopped() const { return m_stopped; }
        bool end();

    private:
        bool m_stopped;
    };

private:
    QTemporaryDir m_dir;
    QString m_address;
    bool m_running = false;
};
