#include "audio/CControlloVolume.h"
#include "platform/PulseMixerServer.h"
#include "tests/support/FakeMixerServer.h"
#include "tests/support/TestEnvironment.h"

#include <QElapsedTimer>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QLocalServer>
#include <QProcess>
#include <QThread>

#include <gtest/gtest.h>

#include <algorithm>
#include <memory>
#include <mutex>
#include <stdexcept>
#include <thread>

namespace {

// ---------------------------------------------------------------------------------------------
// Helpers

bool containsLine(const QStringList& lines, const QString& line)
{
    return lines.contains(line);
}

bool containsLineStartingWith(const QStringList& lines, const QString& start)
{
    for (const QString& line : lines) {
        if (line.startsWith(start))
            return true;
    }
    return false;
}

// Runs pactl against the test server (PULSE_SERVER is inherited) and returns its output.
QString pactl(const QStringList& arguments, bool* ok = nullptr)
{
    QProcess process;
    process.start(QStringLiteral("pactl"), arguments);
    const bool finished = process.waitForFinished(10000);
    if (ok)
        *ok = finished && process.exitStatus() == QProcess::NormalExit && process.exitCode() == 0;
    return QString::fromUtf8(process.readAllStandardOutput()).trimmed();
}

// The first channel's raw server volume from "pactl get-...-volume NAME".
uint32_t rawVolume(const QString& what, const QString& name)
{
    const QString text = pactl({what, name});
    const qsizetype colon = text.indexOf(u':', text.indexOf(u':') + 1);
    return text.mid(colon + 1).section(u'/', 0, 0).trimmed().toUInt();
}

bool sourceMuted(const QString& name)
{
    return pactl({QStringLiteral("get-source-mute"), name}).endsWith(QStringLiteral("yes"));
}

// The loopback stream's first channel's raw volume, by its module.
std::optional<uint32_t> loopbackRawVolume(const QString& module)
{
    const auto inputs =
        QJsonDocument::fromJson(pactl({QStringLiteral("-f"), QStringLiteral("json"),
                                       QStringLiteral("list"), QStringLiteral("sink-inputs")})
                                    .toUtf8());
    for (const QJsonValue& input : inputs.array()) {
        const QJsonObject object = input.toObject();
        if (object.value(QStringLiteral("owner_module")).toVariant().toString() == module) {
            const QJsonObject volume = object.value(QStringLiteral("volume")).toObject();
            return uint32_t(volume.begin()->toObject().value(QStringLiteral("value")).toInt());
        }
    }
    return std::nullopt;
}

// Whether both streams of the loopback `module` are linked, one to a sink, one from a source.
bool loopbackLinked(const QString& module)
{
    int linked = 0;
    for (const QString& what : {QStringLiteral("sink-inputs"), QStringLiteral("source-outputs")}) {
        const QString device = what == QStringLiteral("sink-inputs") ? QStringLiteral("sink")
                                                                     : QStringLiteral("source");
        const auto streams = QJsonDocument::fromJson(
            pactl({QStringLiteral("-f"), QStringLiteral("json"), QStringLiteral("list"), what})
                .toUtf8());
        for (const QJsonValue& stream : streams.array()) {
            const QJsonObject object = stream.toObject();
            const qint64 index = object.value(device).toInteger(-1);
            if (object.value(QStringLiteral("owner_module")).toVariant().toString() == module &&
                index >= 0 && index != qint64(UINT32_MAX))
                ++linked;
        }
    }
    return linked == 2;
}

// The private server's state is shared by every test: put back what a test changes.
class ServerState {
public:
    ~ServerState()
    {
        pactl({QStringLiteral("set-sink-volume"), QStringLiteral("nullsink"),
               QStringLiteral("100%")});
        pactl({QStringLiteral("set-source-volume"), QStringLiteral("fakemic"),
               QStringLiteral("100%")});
        pactl({QStringLiteral("set-source-mute"), QStringLiteral("fakemic"), QStringLiteral("0")});
        for (const QString& module : m_modules)
            pactl({QStringLiteral("unload-module"), module});
    }
    QString loadLoopback()
    {
        bool ok = false;
        const QString module =
            pactl({QStringLiteral("load-module"), QStringLiteral("module-loopback"),
                   QStringLiteral("source=fakemic"), QStringLiteral("sink=nullsink")},
                  &ok);
        if (!ok)
            return QString();
        m_modules << module;
        // PipeWire's session manager links the loopback's streams a moment after it is loaded.
        return waitFor([&] { return loopbackLinked(module); }) ? module : QString();
    }

private:
    QStringList m_modules;
};

class CControlloVolumeServerTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        if (qEnvironmentVariableIsEmpty("PULSE_SERVER"))
            GTEST_SKIP() << "needs the private audio server that ./test starts (PULSE_SERVER)";
        m_state = std::make_unique<ServerState>();
    }
    void TearDown() override { m_state.reset(); }

    TestEnvironment env;
    std::unique_ptr<ServerState> m_state;
};

// ---------------------------------------------------------------------------------------------
// Against the private audio server

TEST_F(CControlloVolumeServerTest, SpeakerLineVolumeSetHereReadsBackThroughPactl)
{
    CControlloVolume speaker;
    ASSERT_TRUE(speaker.Open(nullptr, false, CControlloVolume::ComponentDstSpeakers, 0, 0));
    EXPECT_NE(speaker.GetMixerHandle(), 0u);
    EXPECT_EQ(speaker.GetMin(), 0u);
    EXPECT_EQ(speaker.GetMax(), 65535u);

    ASSERT_TRUE(speaker.SetVolume(13107));
    EXPECT_EQ(rawVolume(QStringLiteral("get-sink-volume"), QStringLiteral("nullsink")),
              PulseMixerServer::toServerVolume(13107));
    uint32_t volume = 0;
    ASSERT_TRUE(speaker.GetCurrentVolume(volume));
    EXPECT_EQ(volume, 13107u);

    ASSERT_TRUE(speaker.SetVolume(65535));
    EXPECT_EQ(rawVolume(QStringLiteral("get-sink-volume"), QStringLiteral("nullsink")), 65536u);

    const QStringList log = env.logLines();
    EXPECT_TRUE(containsLine(log, QStringLiteral("[ControlloVolume]::Open - INIZIO In Uscita")));
    EXPECT_TRUE(containsLine(log, QStringLiteral("[ControlloVolume]::Open - Dopo inizializza")));
    EXPECT_TRUE(containsLine(
        log,
        QStringLiteral("[ControlloVolume] Aperta linea %1 (Null Output), canali 2, controlli 2")
            .arg(speaker.GetLineId(), 0, 16)));

    EXPECT_TRUE(speaker.Close());
    EXPECT_EQ(speaker.GetMixerHandle(), 0u);
    EXPECT_FALSE(speaker.Close());
}

TEST_F(CControlloVolumeServerTest, RecordingLineVolumeSetHereReadsBackThroughPactl)
{
    CControlloVolume microphone;
    ASSERT_TRUE(microphone.Open(nullptr, true, CControlloVolume::ComponentSrcMicrophone, 0, 0));
    ASSERT_TRUE(microphone.SetVolume(32768));
    EXPECT_EQ(rawVolume(QStringLiteral("get-source-volume"), QStringLiteral("fakemic")),
              PulseMixerServer::toServerVolume(32768));
    uint32_t volume = 0;
    ASSERT_TRUE(microphone.GetCurrentVolume(volume));
    EXPECT_EQ(volume, 32768u);

    const QStringList log = env.logLines();
    EXPECT_TRUE(containsLine(log, QStringLiteral("[ControlloVolume]::Open - INIZIO In Entrata")));
    EXPECT_TRUE(containsLineStartingWith(
        log, QStringLiteral("[ControlloVolume]::Open - Scheda trovata '")));
    EXPECT_TRUE(containsLine(log, QStringLiteral("[ControlloVolume]::Open - Trovato")));
    EXPECT_TRUE(containsLineStartingWith(log, QStringLiteral("[ControlloVolume] Aperta linea ")));
}

TEST_F(CControlloVolumeServerTest, DeviceZeroIsTheDefaultAndMonitorsAreNoRecordDevices)
{
    CControlloVolume line;
    const QStringList play = line.deviceNames(false);
    const QStringList record = line.deviceNames(true);
    ASSERT_FALSE(play.isEmpty());
    EXPECT_EQ(play.first(), QStringLiteral("Null Output"));
    ASSERT_EQ(record.size(), 1);
    EXPECT_FALSE(record.first().contains(QStringLiteral("Monitor")));

    EXPECT_FALSE(line.Open(nullptr, true, CControlloVolume::ComponentSrcMicrophone, 0, 1));
    EXPECT_TRUE(containsLine(env.logLines(),
                             QStringLiteral("[ControlloVolume]::Inizializza mixerOpen error:5")));
    EXPECT_EQ(line.GetMixerHandle(), 0u);
}

TEST_F(CControlloVolumeServerTest, VolumeChangedWithPactlReachesTheChangeNotificationOnTheUiThread)
{
    QObject window;
    CControlloVolume speaker;
    ASSERT_TRUE(speaker.Open(&window, false, CControlloVolume::ComponentDstSpeakers, 0, 0));
    std::vector<std::pair<quintptr, quint32>> changes;
    bool onUiThread = true;
    QObject::connect(&speaker, &CControlloVolume::mixerControlChange, &window,
                     [&](quintptr mixer, quint32 control) {
                         onUiThread = onUiThread && QThread::currentThread() == window.thread();
                         changes.emplace_back(mixer, control);
                     });

    pactl({QStringLiteral("set-sink-volume"), QStringLiteral("nullsink"), QStringLiteral("20%")});
    const std::pair<quintptr, quint32> expected(speaker.GetMixerHandle(),
                                                speaker.GetVolumeControlId());
    ASSERT_TRUE(waitFor(
        [&] { return std::find(changes.begin(), changes.end(), expected) != changes.end(); }));
    EXPECT_TRUE(onUiThread);
    uint32_t volume = 0;
    ASSERT_TRUE(speaker.GetCurrentVolume(volume));
    EXPECT_EQ(volume, PulseMixerServer::toMixerVolume(13107));
}

TEST_F(CControlloVolumeServerTest, MuteChangedWithPactlIsNotifiedAsTheMuteControl)
{
    QObject window;
    CControlloVolume microphone;
    ASSERT_TRUE(microphone.Open(&window, true, CControlloVolume::ComponentSrcMicrophone, 0, 0));
    std::vector<quint32> controls;
    QObject::connect(&microphone, &CControlloVolume::mixerControlChange, &window,
                     [&](quintptr, quint32 control) { controls.push_back(control); });
    pactl({QStringLiteral("set-source-mute"), QStringLiteral("fakemic"), QStringLiteral("1")});
    ASSERT_TRUE(waitFor([&] {
        return std::find(controls.begin(), controls.end(), microphone.GetMuteControlId()) !=
               controls.end();
    }));
    EXPECT_TRUE(microphone.GetBooleanValue(microphone.GetMuteControlId()));
}

TEST_F(CControlloVolumeServerTest, SelectingAMicrophoneWithoutPortsUnmutesItAndFindsNoSelector)
{
    pactl({QStringLiteral("set-source-mute"), QStringLiteral("fakemic"), QStringLiteral("1")});
    CControlloVolume microphone;
    ASSERT_TRUE(microphone.Open(nullptr, true, CControlloVolume::ComponentSrcMicrophone, 0, 0));

    EXPECT_TRUE(microphone.AbilitaDisabilitaSulMixer(true));
    EXPECT_FALSE(sourceMuted(QStringLiteral("fakemic")));
    EXPECT_TRUE(microphone.AbilitaDisabilitaSulMixer(false));
    EXPECT_TRUE(sourceMuted(QStringLiteral("fakemic")));

    uint32_t type = 0;
    EXPECT_FALSE(microphone.TipoControlloMixerMux(type));
    EXPECT_EQ(microphone.microphoneItem(), -1);
    const QStringList log = env.logLines();
    EXPECT_TRUE(
        containsLine(log, QStringLiteral("[ControlloVolume] Abilitazione sul mixer della linea=%1")
                              .arg(microphone.GetLineId(), 0, 16)));
    EXPECT_TRUE(
        containsLine(log, QStringLiteral("[ControlloVolume] Abilitazione controllo id=%1, valore=0")
                              .arg(microphone.GetMuteControlId(), 0, 16)));
    EXPECT_TRUE(
        containsLine(log, QStringLiteral("[ControlloVolume] Il controllo registrazione è MUX")));
    EXPECT_TRUE(
        containsLine(log, QStringLiteral("Impossibile reperire la LineInfo di CONTROLTYPE_MIXER e "
                                         "CONTROLTYPE_MUX dentro TipoControlloMixerMux")));
}

TEST_F(CControlloVolumeServerTest, MonitorLineIsNotFoundWithoutALoopback)
{
    CControlloVolume monitor;
    EXPECT_FALSE(monitor.Open(nullptr, false, CControlloVolume::ComponentSrcMicrophone, 1, 0));
    EXPECT_TRUE(containsLine(
        env.logLines(),
        QStringLiteral("[ControlloVolume]::Open - GetLineInfo con component type non riuscita")));
    EXPECT_EQ(monitor.GetVolumeControlId(), 0u);
}

TEST_F(CControlloVolumeServerTest, MonitorLineIsTheLoopbackFromTheMicrophoneIntoTheSink)
{
    const QString module = m_state->loadLoopback();
    ASSERT_FALSE(module.isEmpty());
    CControlloVolume monitor;
    ASSERT_TRUE(monitor.Open(nullptr, false, CControlloVolume::ComponentSrcMicrophone, 1, 0));
    ASSERT_TRUE(monitor.SetVolume(monitor.GetMin()));
    EXPECT_EQ(loopbackRawVolume(module), std::optional<uint32_t>(0));
    ASSERT_TRUE(monitor.SetVolume(40000));
    EXPECT_EQ(loopbackRawVolume(module), PulseMixerServer::toServerVolume(40000));
    // The sink itself is another line and keeps its volume.
    EXPECT_EQ(rawVolume(QStringLiteral("get-sink-volume"), QStringLiteral("nullsink")), 65536u);
}

TEST_F(CControlloVolumeServerTest, MixerTreeLogListsSinksSourcesLoopbacksAndVolumes)
{
    m_state->loadLoopback();
    pactl({QStringLiteral("set-sink-volume"), QStringLiteral("nullsink"), QStringLiteral("50%")});
    CControlloVolume line;
    line.LoggaAlberoMixer(false);
    const QStringList log = env.logLines();
    // Control ids carry the server's own device index, which differs between servers.
    CControlloVolume speaker;
    ASSERT_TRUE(speaker.Open(nullptr, false, CControlloVolume::ComponentDstSpeakers, 0, 0));
    const QString volumeId = QString::number(speaker.GetVolumeControlId(), 16);
    EXPECT_EQ(log.first(), QStringLiteral("[LoggaAlberoMixer]"));
    EXPECT_EQ(log.last(), QStringLiteral("[LoggaAlberoMixer end]"));
    EXPECT_TRUE(containsLine(log, QStringLiteral("Scheda 0")));
    EXPECT_TRUE(
        containsLine(log, QStringLiteral("Destination #0 = Null Output (nullsink), Tipo=4")));
    EXPECT_TRUE(containsLineStartingWith(log, QStringLiteral("Destination #1 = ")));
    EXPECT_TRUE(log.filter(QStringLiteral("(fakemic), Tipo=7")).size() == 1);
    EXPECT_TRUE(log.filter(QStringLiteral("nullsink.monitor")).isEmpty());
    EXPECT_TRUE(containsLineStartingWith(
        log, QStringLiteral("\t\t\tControllo Volume 32768, id= %1, Type=50030001").arg(volumeId)));
    EXPECT_TRUE(
        containsLineStartingWith(log, QStringLiteral("\tSource #0 = Loopback fakemic,  lineID=")));
    EXPECT_TRUE(containsLine(
        log, QStringLiteral("\t\tTipo linea Sorgente 1, Attiva=1, Disconnessa=0, dwType=1")));
    EXPECT_TRUE(containsLine(log, QStringLiteral(" ")));
}

TEST_F(CControlloVolumeServerTest, QuietMixerTreeLogWritesOnlyTheControlLines)
{
    CControlloVolume line;
    line.LoggaAlberoMixer(true);
    const QStringList log = env.logLines();
    ASSERT_FALSE(log.isEmpty());
    for (const QString& text : log)
        EXPECT_TRUE(text.startsWith(QStringLiteral("\t\t\t"))) << text.toStdString();
}

// ---------------------------------------------------------------------------------------------
// Without an audio server

TEST(CControlloVolumeWithoutServerTest, OpenFailsAtOnceWithItsLogLines)
{
    TestEnvironment env;
    env.setVariable("PULSE_SERVER",
                    QStringLiteral("unix:") + env.root() + QStringLiteral("no-server.sock"));
    QElapsedTimer clock;
    clock.start();
    CControlloVolume speaker;
    EXPECT_FALSE(speaker.Open(nullptr, false, CControlloVolume::ComponentDstSpeakers, 0, 0));
    CControlloVolume microphone;
    EXPECT_FALSE(microphone.Open(nullptr, true, CControlloVolume::ComponentSrcMicrophone, 0, 0));
    EXPECT_LT(clock.elapsed(), 2000);
    EXPECT_EQ(speaker.GetMixerHandle(), 0u);
    EXPECT_TRUE(speaker.deviceNames(false).isEmpty());

    const QStringList log = env.logLines();
    EXPECT_TRUE(containsLine(log, QStringLiteral("[ControlloVolume]::Open - INIZIO In Uscita")));
    EXPECT_TRUE(containsLine(log, QStringLiteral("[ControlloVolume]::Open - INIZIO In Entrata")));
    EXPECT_EQ(log.filter(QStringLiteral("[ControlloVolume]::Inizializza mixerOpen error:")).size(),
              2);
    EXPECT_FALSE(containsLine(log, QStringLiteral("[ControlloVolume]::Open - Dopo inizializza")));
}

TEST(CControlloVolumeWithoutServerTest, MixerTreeLogSaysTheMixerCannotBeOpened)
{
    TestEnvironment env;
    env.setVariable("PULSE_SERVER",
                    QStringLiteral("unix:") + env.root() + QStringLiteral("no-server.sock"));
    CControlloVolume line;
    bool reached = true;
    const QStringList lines = line.AlberoMixer(false, &reached);
    EXPECT_FALSE(reached);
    EXPECT_EQ(lines, QStringList({QStringLiteral("[LoggaAlberoMixer]"),
                                  QStringLiteral("ERROR: Can't open Mixer Device! "),
                                  QStringLiteral("[LoggaAlberoMixer end]")}));
    line.LoggaAlberoMixer(false);
    EXPECT_EQ(env.logLines(), lines);
}

TEST(CControlloVolumeWithoutServerTest, ServerThatNeverAnswersFailsWithinTheTimeout)
{
    TestEnvironment env;
    QLocalServer silent;
    const QString socket = env.root() + QStringLiteral("silent.sock");
    ASSERT_TRUE(silent.listen(socket));
    env.setVariable("PULSE_SERVER", QStringLiteral("unix:") + socket);
    CControlloVolume line([] { return std::make_unique<PulseMixerServer>(300); });
    QElapsedTimer clock;
    clock.start();
    EXPECT_FALSE(line.Open(nullptr, false, CControlloVolume::ComponentDstSpeakers, 0, 0));
    EXPECT_LT(clock.elapsed(), 2000);
    EXPECT_TRUE(containsLine(env.logLines(),
                             QStringLiteral("[ControlloVolume]::Inizializza mixerOpen error:8")));
}

TEST(CControlloVolumeWithoutServerTest, CallsOnAClosedLineFailAndLog)
{
    TestEnvironment env;
    CControlloVolume line;
    uint32_t volume = 7;
    EXPECT_FALSE(line.SetVolume(100));
    EXPECT_FALSE(line.GetCurrentVolume(volume));
    EXPECT_EQ(volume, 7u);
    EXPECT_EQ(line.GetMax(), 0u);
    EXPECT_EQ(line.GetMin(), 0u);
    EXPECT_FALSE(line.AbilitaDisabilitaSulMixer(true));
    EXPECT_FALSE(line.Close());
    line.ResetMicrophoneSwitches();
    const QStringList log = env.logLines();
    EXPECT_TRUE(containsLine(log, QStringLiteral("[ControlloVolume] SetVolume moMixer == NULL")));
    EXPECT_TRUE(
        containsLine(log, QStringLiteral("[ControlloVolume] GetCurrentVolume fallita (15)")));
    EXPECT_TRUE(containsLine(log, QStringLiteral("[ControlloVolume] GetMax fallita (15)")));
    EXPECT_TRUE(containsLine(log, QStringLiteral("[ControlloVolume] GetMin fallita (15)")));
    EXPECT_TRUE(
        containsLine(log, QStringLiteral("[ControlloVolume] Abilitazione sul mixer fallito (15)")));
}

TEST(CControlloVolumeScaleTest, MixerVolumesSurviveTheRoundTripThroughTheServerScale)
{
    EXPECT_EQ(PulseMixerServer::toServerVolume(0), 0u);
    EXPECT_EQ(PulseMixerServer::toServerVolume(65535), 65536u);
    EXPECT_EQ(PulseMixerServer::toMixerVolume(65536), 65535u);
    EXPECT_EQ(PulseMixerServer::toMixerVolume(100000), 65535u);
    for (uint32_t v = 0; v <= 65535; ++v)
        ASSERT_EQ(PulseMixerServer::toMixerVolume(PulseMixerServer::toServerVolume(v)), v);
}

// ---------------------------------------------------------------------------------------------
// With a server whose sources have ports, which the private server cannot show

MixerDevice sourceWithPorts(uint32_t index, const QString& name, bool withMicrophone)
{
    MixerDevice source;
    source.index = index;
    source.name = name;
    source.description = name;
    source.channels = 2;
    source.volume = 30000;
    source.muted = true;
    MixerPort line{QStringLiteral("analog-input-linein"), QStringLiteral("Line In"), true, false,
                   true};
    source.ports.push_back(line);
    if (withMicrophone) {
        MixerPort mic{QStringLiteral("analog-input-mic"), QStringLiteral("Microphone"), false, true,
                      false};
        source.ports.push_back(mic);
    }
    source.activePort = line.name;
    return source;
}

class CControlloVolumePortTest : public ::testing::Test {
protected:
    CControlloVolumePortTest()
    {
        MixerDevice sink;
        sink.name = QStringLiteral("speakers");
        sink.description = QStringLiteral("Speakers");
        sink.channels = 2;
        m_mixer->state.sinks.push_back(sink);
        m_mixer->state.defaultSink = sink.name;
        MixerDevice monitor = sink;
        monitor.index = 9;
        monitor.name = QStringLiteral("speakers.monitor");
        monitor.monitor = true;
        m_mixer->state.sources.push_back(monitor);
        m_mixer->state.sources.push_back(sourceWithPorts(3, QStringLiteral("usb"), true));
        m_mixer->state.sources.push_back(sourceWithPorts(4, QStringLiteral("builtin"), true));
        m_mixer->state.defaultSource = QStringLiteral("builtin");
    }
    CControlloVolume::ServerFactory factory()
    {
        return [mixer = m_mixer] { return std::make_unique<FakeMixerServer>(mixer); };
    }
    const MixerDevice& source(uint32_t index)
    {
        for (const MixerDevice& device : m_mixer->state.sources) {
            if (device.index == index)
                return device;
        }
        throw std::out_of_range("no such source");
    }

    TestEnvironment env;
    std::shared_ptr<FakeMixer> m_mixer = std::make_shared<FakeMixer>();
};

TEST_F(CControlloVolumePortTest, SelectingTheMicrophoneChangesOnlyThatSourcesPortAndUnmutesIt)
{
    CControlloVolume microphone(factory());
    microphone.LoggaAlberoMixer(false); // the tree's selectors must not steer the line
    ASSERT_TRUE(microphone.Open(nullptr, true, CControlloVolume::ComponentSrcMicrophone, 0, 1));
    ASSERT_TRUE(microphone.AbilitaDisabilitaSulMixer(true));
    EXPECT_EQ(m_mixer->calls,
              QStringList({QStringLiteral("port 3 analog-input-mic"), QStringLiteral("mute 3 0")}));
    EXPECT_EQ(source(3).activePort, QStringLiteral("analog-input-mic"));
    EXPECT_EQ(source(4).activePort, QStringLiteral("analog-input-linein"));
    EXPECT_TRUE(source(4).muted);
    uint32_t type = 0;
    ASSERT_TRUE(microphone.TipoControlloMixerMux(type));
    EXPECT_EQ(type, CControlloVolume::ControlMux);
    EXPECT_EQ(microphone.microphoneItem(), 1);
}

TEST_F(CControlloVolumePortTest, DeselectingTheMicrophoneMutesItAndLeavesThePortAlone)
{
    CControlloVolume microphone(factory());
    ASSERT_TRUE(microphone.Open(nullptr, true, CControlloVolume::ComponentSrcMicrophone, 0, 0));
    ASSERT_TRUE(microphone.AbilitaDisabilitaSulMixer(false));
    EXPECT_EQ(m_mixer->calls, QStringList({QStringLiteral("mute 4 1")}));
}

TEST_F(CControlloVolumePortTest, SourceWithoutAMicrophonePortIsStillUnmuted)
{
    m_mixer->state.sources[2] = sourceWithPorts(4, QStringLiteral("builtin"), false);
    CControlloVolume microphone(factory());
    ASSERT_TRUE(microphone.Open(nullptr, true, CControlloVolume::ComponentSrcMicrophone, 0, 0));
    EXPECT_TRUE(microphone.AbilitaDisabilitaSulMixer(true));
    EXPECT_EQ(m_mixer->calls, QStringList({QStringLiteral("mute 4 0")}));
    EXPECT_TRUE(containsLine(env.logLines(),
                             QStringLiteral("[ControlloVolume] Impossibile trovare l'indice del "
                                            "controllo dentro TipoControlloMixerMux")));
}

TEST_F(CControlloVolumePortTest, RefusedPortFailsTheSelection)
{
    m_mixer->refusePorts = true;
    CControlloVolume microphone(factory());
    ASSERT_TRUE(microphone.Open(nullptr, true, CControlloVolume::ComponentSrcMicrophone, 0, 0));
    EXPECT_FALSE(microphone.AbilitaDisabilitaSulMixer(true));
    EXPECT_TRUE(m_mixer->calls.isEmpty());
    EXPECT_TRUE(containsLine(
        env.logLines(), QStringLiteral("[ControlloVolume] Abilitazione sul mixer fallito (3)")));
}

TEST_F(CControlloVolumePortTest, MixerTreeLogListsPortsWithTheirState)
{
    CControlloVolume line(factory());
    line.LoggaAlberoMixer(false);
    const QStringList log = env.logLines();
    EXPECT_TRUE(containsLine(log, QStringLiteral("Destination #1 = builtin (builtin), Tipo=7")));
    EXPECT_TRUE(containsLine(log, QStringLiteral("\tSource #0 = Line In (analog-input-linein),  "
                                                 "lineID=50000400, CompType=1002, Controlli=0")));
    EXPECT_TRUE(containsLine(
        log, QStringLiteral("\t\tTipo linea Sorgente 1, Attiva=1, Disconnessa=0, dwType=2")));
    EXPECT_TRUE(containsLine(log, QStringLiteral("\tSource #1 = Microphone (analog-input-mic),  "
                                                 "lineID=50000401, CompType=1003, Controlli=0")));
    EXPECT_TRUE(containsLine(
        log, QStringLiteral("\t\tTipo linea Sorgente 1, Attiva=0, Disconnessa=1, dwType=2")));
    EXPECT_TRUE(containsLine(log, QStringLiteral("\t\t\tControllo Porta analog-input-linein, id= "
                                                 "20000403, Type=70010001, MultipleItems=2")));
    EXPECT_TRUE(containsLine(log, QStringLiteral("\t\t\tTrovato Controllo MixerMux")));
    EXPECT_TRUE(log.filter(QStringLiteral("speakers.monitor")).isEmpty());
}

TEST_F(CControlloVolumePortTest, ChangesReportedOnAnotherThreadArriveOnTheUiThreadByControl)
{
    QObject window;
    CControlloVolume microphone(factory());
    ASSERT_TRUE(microphone.Open(&window, true, CControlloVolume::ComponentSrcMicrophone, 0, 0));
    std::vector<quint32> controls;
    bool onUiThread = true;
    QObject::connect(&microphone, &CControlloVolume::mixerControlChange, &window,
                     [&](quintptr mixer, quint32 control) {
                         onUiThread = onUiThread && QThread::currentThread() == window.thread() &&
                                      mixer == microphone.GetMixerHandle();
                         controls.push_back(control);
                     });
    std::thread server([mixer = m_mixer] {
        std::lock_guard lock(mixer->mutex);
        mixer->handler(
            {MixerObject::Source, 4, false, 1234, true, QStringLiteral("analog-input-linein")});
        mixer->handler({MixerObject::Source, 3, false, 1, false, QString()}); // another source
        mixer->handler(
            {MixerObject::Source, 4, false, 1234, false, QStringLiteral("analog-input-linein")});
    });
    server.join();
    ASSERT_TRUE(waitFor([&] { return controls.size() >= 2; }));
    EXPECT_TRUE(onUiThread);
    EXPECT_EQ(controls, std::vector<quint32>(
                            {microphone.GetVolumeControlId(), microphone.GetMuteControlId()}));
}

TEST_F(CControlloVolumePortTest, ChangesOfAClosedLineAreDropped)
{
    QObject window;
    CControlloVolume microphone(factory());
    ASSERT_TRUE(microphone.Open(&window, true, CControlloVolume::ComponentSrcMicrophone, 0, 0));
    int count = 0;
    QObject::connect(&microphone, &CControlloVolume::mixerControlChange, &window, [&] { ++count; });
    auto handler = m_mixer->handler;
    handler({MixerObject::Source, 4, false, 1234, false, QStringLiteral("analog-input-linein")});
    microphone.Close();
    QCoreApplication::processEvents();
    EXPECT_EQ(count, 0);
}

} // namespace
