#include "audio/CPlaySound.h"

#include "app/DiagnosticLog.h"
#include "audio/ClassicPlayer.h"
#include "audio/Mp3Decoder.h"
#include "audio/MpegDuration.h"
#include "audio/WavDecoder.h"
#include "platform/SoundCardCheck.h"
#include "platform/WavFileReader.h"

#include <QAudioDevice>
#include <QAudioOutput>
#include <QFile>
#include <QFileInfo>
#include <QMediaDevices>
#include <QMediaPlayer>
#include <QTimer>
#include <QUrl>

#include <algorithm>

namespace {

constexpr int kLoadTimeoutMs = 10000;

bool isWaveFile(const QString& path)
{
    if (QFileInfo(path).suffix().compare(QStringLiteral("wav"), Qt::CaseInsensitive) == 0)
        return true;
    QFile file(path);
    return file.open(QIODevice::ReadOnly) && file.read(4) == "RIFF";
}

QString hex(int code)
{
    return QString::number(code, 16);
}

} // namespace

CPlaySound::CPlaySound(QObject* parent, OutputFactory outputFactory)
    : QObject(parent), m_outputFactory(std::move(outputFactory))
{
    if (!m_outputFactory)
        m_outputFactory = [] { return PcmOutput::createPulseAudio(); };
    if (!qEnvironmentVariableIsSet("QT_MEDIA_BACKEND"))
        qputenv("QT_MEDIA_BACKEND", "ffmpeg");
    m_loadTimeout.setSingleShot(true);
    m_loadTimeout.setInterval(kLoadTimeoutMs);
    connect(&m_loadTimeout, &QTimer::timeout, this, &CPlaySound::onLoadTimeout);
}

CPlaySound::~CPlaySound()
{
    StopPlay();
}

bool CPlaySound::Play(const QString& path, bool alternative)
{
    StopPlay();
    m_endReported = false;
    m_alternative = alternative;
    ++m_generation;
    return alternative ? playAlternative(path) : playClassic(path);
}

bool CPlaySound::playClassic(const QString& path)
{
    WriteLog(QStringLiteral("Metodo play classico"));
    std::unique_ptr<PcmSource> source;
    QString error;
    if (isWaveFile(path)) {
        auto wave = std::make_unique<WavDecoder>();
        if (wave->open(path))
            source = std::move(wave);
        else
            error = wave->errorText();
    } else {
        auto mpeg = std::make_unique<Mp3Decoder>();
        if (mpeg->open(path))
            source = std::move(mpeg);
        else
            error = mpeg->errorText();
    }
    if (!source) {
        WriteLog(QStringLiteral("Errore Send string Open"));
        WriteLog(error);
        return false;
    }
    WriteLog(QStringLiteral("Open file ok"));
    auto player = std::make_unique<ClassicPlayer>(std::move(source), m_outputFactory());
    player->setEndHandler([this] {
        QMetaObject::invokeMethod(this, &CPlaySound::onClassicEnded, Qt::QueuedConnection);
    });
    if (!player->start(0)) {
        WriteLog(QStringLiteral("Errore Send string Play mpeg"));
        WriteLog(player->errorText());
        WriteLog(QStringLiteral("Info restituite"));
        WriteLog(QString());
        return false;
    }
    m_classic = std::move(player);
    WriteLog(QStringLiteral("Play file ok"));
    // Reported from the event loop, as the alternative method does, so that callers see one
    // order whatever the method.
    QMetaObject::invokeMethod(
        this,
        [this, generation = m_generation] {
            if (generation == m_generation && m_classic && !m_alternative)
                Q_EMIT playbackStarted();
        },
        Qt::QueuedConnection);
    return true;
}

bool CPlaySound::playAlternative(const QString& path)
{
    WriteLog(QStringLiteral("Metodo alternativo di Play"));
    m_media = std::make_unique<QMediaPlayer>();
    WriteLog(QStringLiteral("Filter Graph creato"));
    m_audioOutput = std::make_unique<QAudioOutput>();
    m_media->setAudioOutput(m_audioOutput.get());
    WriteLog(QStringLiteral("Media Control creato"));
    m_mediaEnded = false;
    m_mediaFailed = false;
    m_mediaError.clear();
    WriteLog(QStringLiteral("Media Pos info creato"));
    WriteLog(QStringLiteral("Chiamate render file"));
    // Without an output device the file would "play" into nothing; refuse like the classic
    // method does.
    if (QMediaDevices::audioOutputs().isEmpty()) {
        WriteLog(QStringLiteral("Errore mpGraph->RenderFile: %1 ")
                     .arg(hex(QMediaPlayer::ResourceError)));
        return false;
    }
    connect(m_media.get(), &QMediaPlayer::mediaStatusChanged, this, &CPlaySound::onMediaStatus);
    connect(m_media.get(), &QMediaPlayer::errorOccurred, this,
            [this](QMediaPlayer::Error, const QString& text) {
                if (m_loading) {
                    failLoad();
                    return;
                }
                if (m_mediaFailed)
                    return;
                m_mediaFailed = true;
                m_mediaError = text;
                WriteLog(QStringLiteral("Errore durante la riproduzione: ") + text);
                Q_EMIT playbackFailed(text);
            });
    // Qt opens media asynchronously: the load ends in onMediaStatus(), never in a nested
    // event loop, where a click could destroy the player being waited on.
    m_loading = true;
    m_holdAtStart = false;
    m_startPositionMs = 0;
    m_loadTimeout.start();
    m_media->setSource(QUrl::fromLocalFile(QFileInfo(path).absoluteFilePath()));
    return true;
}

void CPlaySound::onMediaStatus(QMediaPlayer::MediaStatus status)
{
    if (!m_media)
        return;
    if (m_loading) {
        if (status == QMediaPlayer::InvalidMedia || m_media->error() != QMediaPlayer::NoError) {
            failLoad();
            return;
        }
        if (status != QMediaPlayer::LoadedMedia && status != QMediaPlayer::BufferedMedia)
            return;
        m_loading = false;
        m_loadTimeout.stop();
        WriteLog(QStringLiteral("Render ok"));
        WriteLog(QStringLiteral("SetTimeFormat ok"));
        WriteLog(QStringLiteral("GetDuration ok"));
        if (m_startPositionMs > 0)
            m_media->setPosition(m_startPositionMs);
        if (m_holdAtStart) {
            m_media->pause();
        } else {
            m_media->play();
            WriteLog(QStringLiteral("Run ok"));
        }
        Q_EMIT playbackStarted();
        return;
    }
    if (status == QMediaPlayer::EndOfMedia && !m_mediaEnded) {
        m_mediaEnded = true;
        if (!m_endReported) {
            m_endReported = true;
            Q_EMIT playbackEnded();
        }
    }
}

void CPlaySound::onLoadTimeout()
{
    if (m_loading)
        failLoad();
}

void CPlaySound::failLoad()
{
    const int code = !m_media || m_media->error() == QMediaPlayer::NoError
                         ? QMediaPlayer::ResourceError
                         : m_media->error();
    const QString text = m_media && !m_media->errorString().isEmpty()
                             ? m_media->errorString()
                             : QStringLiteral("the file cannot be opened");
    WriteLog(QStringLiteral("Errore mpGraph->RenderFile: %1 ").arg(hex(code)));
    m_loading = false;
    m_loadTimeout.stop();
    releaseMedia();
    m_mediaFailed = true;
    m_mediaError = text;
    m_endReported = true;
    Q_EMIT playbackFailed(text);
}

void CPlaySound::onClassicEnded()
{
    if (!m_classic || m_alternative || m_endReported)
        return;
    if (m_classic->failed()) {
        m_endReported = true;
        const QString reason = m_classic->errorText();
        WriteLog(QStringLiteral("Errore durante la riproduzione: ") + reason);
        Q_EMIT playbackFailed(reason);
    } else if (m_classic->finished()) {
        m_endReported = true;
        Q_EMIT playbackEnded();
    }
}

bool CPlaySound::PlayFrom(long long positionMs)
{
    const long long position = std::max(0LL, positionMs);
    if (m_alternative) {
        if (!m_media)
            return false;
        if (m_loading) {
            m_startPositionMs = position;
            m_holdAtStart = false;
            return true;
        }
        m_media->setPosition(position);
        m_media->play();
        m_mediaEnded = false;
        m_endReported = false;
        return true;
    }
    if (!m_classic || !m_classic->seek(position))
        return false;
    m_endReported = false;
    return true;
}

void CPlaySound::StopPlay()
{
    m_loading = false;
    m_loadTimeout.stop();
    releaseMedia();
    m_classic.reset();
}

void CPlaySound::releaseMedia()
{
    // Deleted from the event loop, as children so that they go with this object at the
    // latest: a stop may come from inside the player's own signal.
    if (m_media) {
        m_media->disconnect(this);
        m_media->stop();
        QMediaPlayer* media = m_media.release();
        media->setParent(this);
        media->deleteLater();
    }
    if (m_audioOutput) {
        QAudioOutput* output = m_audioOutput.release();
        output->setParent(this);
        output->deleteLater();
    }
}

bool CPlaySound::PausePlay()
{
    if (m_alternative) {
        if (!m_media)
            return false;
        if (m_loading)
            m_holdAtStart = true;
        else
            m_media->pause();
        return true;
    }
    return m_classic && m_classic->pause();
}

void CPlaySound::GetLengthAndPosition(long long& lengthMs, long long& positionMs) const
{
    lengthMs = 0;
    positionMs = 0;
    if (m_alternative) {
        if (!m_media || m_loading)
            return;
        lengthMs = m_media->duration();
        positionMs = (m_mediaEnded || m_mediaFailed) ? lengthMs : m_media->position();
        return;
    }
    if (!m_classic)
        return;
    lengthMs = m_classic->lengthMs();
    positionMs = m_classic->failed() ? lengthMs : m_classic->positionMs();
}

long long CPlaySound::stepFor(long long lengthMs)
{
    return std::clamp(std::max(0LL, lengthMs) / 40, 3000LL, 30000LL);
}

long long CPlaySound::FastForward(long long overrideMs, bool apply)
{
    return step(overrideMs, apply, true);
}

long long CPlaySound::Rewind(long long overrideMs, bool apply)
{
    return step(overrideMs, apply, false);
}

long long CPlaySound::step(long long overrideMs, bool apply, bool forward)
{
    long long length = 0;
    long long position = 0;
    GetLengthAndPosition(length, position);
    if (overrideMs > 0)
        position = overrideMs;
    const long long stepMs = stepFor(length);
    long long target = 0;
    if (forward) {
        target = std::min(position + stepMs, length);
    } else {
        target = position - stepMs;
        if (target < 0)
            target = 1;
    }
    if (apply && !PlayFrom(target))
        return 0;
    return target;
}

long long CPlaySound::classicDurationMs(const QString& path)
{
    if (isWaveFile(path)) {
        WavFileReader reader;
        if (!reader.open(path) || reader.rate() <= 0)
            return -1;
        return reader.frames() * 1000 / reader.rate();
    }
    const auto milliseconds = MpegDuration::milliseconds(path, Mp3Decoder::audioOffset(path));
    return milliseconds ? *milliseconds : -1;
}

bool CPlaySound::ControlloPresenzaScheda()
{
    const SoundCardCheck::Result result = SoundCardCheck::run();
    if (result.stage == SoundCardCheck::Stage::NoConnection)
        WriteLog(QStringLiteral("Errore ControlloPresenzaScheda: ") + result.errorText);
    if (!result.passed())
        WriteLog(QStringLiteral("Errore ControlloPresenzaScheda (2): ") + result.errorText);
    return result.passed();
}

bool CPlaySound::isOpen() const
{
    return m_alternative ? m_media != nullptr : m_classic != nullptr;
}

bool CPlaySound::hasFailed() const
{
    if (m_alternative)
        return m_mediaFailed;
    return m_classic && m_classic->failed();
}

QString CPlaySound::failureText() const
{
    if (m_alternative)
        return m_mediaError;
    return m_classic ? m_classic->errorText() : QString();
}
