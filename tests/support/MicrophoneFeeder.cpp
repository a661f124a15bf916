#include "tests/support/MicrophoneFeeder.h"

#include "tests/support/SpokenAudio.h"

#include <QFile>
#include <QProcess>

#include <fcntl.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <cmath>
#include <csignal>
#include <numbers>

MicrophoneFeeder::MicrophoneFeeder(bool tone) : m_tone(tone)
{
    m_thread = std::thread([this] { feed(); });
}

MicrophoneFeeder::~MicrophoneFeeder()
{
    m_stop = true;
    m_thread.join();
}

bool MicrophoneFeeder::speak(const QString& wav, const QString& workFolder)
{
    const QString raw = workFolder + QStringLiteral("speech.raw");
    if (!SpokenAudio::runTool(QStringLiteral("sox"), {wav, "-r", "32000", "-c", "1", "-b", "16",
                                                      "-e", "signed-integer", "-t", "raw", raw}))
        return false;
    QFile file(raw);
    if (!file.open(QIODevice::ReadOnly))
        return false;
    const QByteArray bytes = file.readAll();
    std::lock_guard lock(m_mutex);
    for (qsizetype i = 0; i + 1 < bytes.size(); i += 2) {
        m_speech.push_back(static_cast<int16_t>(static_cast<uint8_t>(bytes[i]) |
                                                (static_cast<uint8_t>(bytes[i + 1]) << 8)));
    }
    return true;
}

bool MicrophoneFeeder::speaking() const
{
    std::lock_guard lock(m_mutex);
    return !m_speech.empty();
}

bool MicrophoneFeeder::prepare()
{
    if (qEnvironmentVariableIsEmpty("PULSE_SERVER") ||
        qEnvironmentVariableIsEmpty("PARLUNE_TEST_MIC_FIFO"))
        return false;
    QProcess::execute(QStringLiteral("pactl"), {"set-source-volume", "fakemic", "100%"});
    QProcess::execute(QStringLiteral("pactl"), {"set-source-mute", "fakemic", "0"});
    // What an earlier test's feeder left in the FIFO would be the next recorder's first sound.
    const int fifo = ::open(qEnvironmentVariable("PARLUNE_TEST_MIC_FIFO").toLocal8Bit().constData(),
                            O_RDONLY | O_NONBLOCK);
    if (fifo >= 0) {
        char stale[4096];
        while (::read(fifo, stale, sizeof stale) > 0) {
        }
        ::close(fifo);
    }
    return true;
}

namespace {

bool pactlListsAny(const QString& what)
{
    QProcess pactl;
    pactl.start(QStringLiteral("pactl"), {"list", "short", what});
    return pactl.waitForFinished(10000) && !pactl.readAllStandardOutput().trimmed().isEmpty();
}

} // namespace

bool MicrophoneFeeder::streamConnected()
{
    return pactlListsAny(QStringLiteral("source-outputs"));
}

bool MicrophoneFeeder::playbackConnected()
{
    return pactlListsAny(QStringLiteral("sink-inputs"));
}

void MicrophoneFeeder::feed()
{
    // Non-blocking, as a real microphone: what nobody reads while the source is suspended is
    // lost, and the thread can always end. While the server is away (a test restarts it) the
    // FIFO has no reader: the pieces are lost and the FIFO is opened again once it is back.
    const QByteArray fifo = qEnvironmentVariable("PARLUNE_TEST_MIC_FIFO").toLocal8Bit();
    ::signal(SIGPIPE, SIG_IGN);
    int mic = -1;
    std::vector<int16_t> piece(320); // 10 ms
    auto due = std::chrono::steady_clock::now();
    for (size_t i = 0; !m_stop;) {
        const bool tone = m_tone;
        bool spoke = false;
        {
            std::lock_guard lock(m_mutex);
            if (!m_speech.empty()) {
                spoke = true;
                for (auto& value : piece) {
                    value = m_speech.empty() ? int16_t{0} : m_speech.front();
                    if (!m_speech.empty())
                        m_speech.pop_front();
                }
            }
        }
        if (!spoke) {
            for (auto& value : piece) {
                const double phase = 2 * std::numbers::pi * 440 * double(i++) / 32000;
                value = tone ? static_cast<int16_t>(12000 * std::sin(phase)) : int16_t{0};
            }
        }
        if (mic < 0)
            mic = ::open(fifo.constData(), O_WRONLY | O_NONBLOCK | O_CLOEXEC);
        // Pieces under the pipe's atomic size go whole or not at all.
        if (mic >= 0 && ::write(mic, piece.data(), piece.size() * sizeof(int16_t)) < 0 &&
            errno != EAGAIN) {
            ::close(mic);
            mic = -1;
        }
        if (tone && !spoke)
            ++m_tonePieces;
        due += std::chrono::milliseconds(10);
        std::this_thread::sleep_until(due);
    }
    if (mic >= 0)
        ::close(mic);
}
