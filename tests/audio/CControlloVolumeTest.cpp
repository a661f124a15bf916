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

using namespace Qt::StringLiterals;

namespace {

// Runs pactl against the test server (PULSE_SERVER is inherited) and returns its output.
QString pactl(const QStringList& arguments, bool* ok = nullptr)
{
    QProcess process;
    process.start(u"pactl"_s, arguments);
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

QJsonArray pactlList(const QString& what)
{
    return QJsonDocument::fromJson(pactl({u"-f"_s, u"json"_s, u"list"_s, what}).toUtf8()).array();
}

// The loopback stream's first channel's raw volume, by its module.
std::optional<uint32_t> loopbackRawVolume(const QString& module)
{
    for (const QJsonValue& input : pactlList(u"sink-inputs"_s)) {
        const QJsonObject object = input.toObject();
        if (object.value(u"owner_module"_s).toVariant().toString() == module) {
            const QJsonObject volume = object.value(u"volume"_s).toObject();
            return uint32_t(volume.begin()->toObject().value(u"value"_s).toInt());
        }
    }
    return std::nullopt;
}

// Whether both streams of the loopback `module` are linked, one to a sink, one from a source.
bool loopbackLinked(const QString& module)
{
    int linked = 0;
    for (const QString& what : {u"sink-inputs"_s, u"source-outputs"_s}) {
        const QString device = what == u"sink-inputs"_s ? u"sink"_s : u"source"_s;
        for (const QJsonValue& stream : pactlList(what)) {
            const QJsonObject object = stream.toObject();
            const qint64 index = object.value(device).toInteger(-1);
            if (object.value(u"owner_module"_s).toVariant().toString() == module && index >= 0 &&
                index != qint64(UINT32_MAX))
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
        pactl({u"set-sink-volume"_s, u"nullsink"_s, u"100%"_s});
        pactl({u"set-source-volume"_s, u"fakemic"_s, u"100%"_s});
        pactl({u"set-source-mute"_s, u"fakemic"_s, u"0"_s});
        for (const QString& module : m_modules)
            pactl({u"unload-module"_s, module});
    }
    QString loadLoopback()
    {
        bool ok = false;
        const QString module = pactl(
            {u"load-module"_s, u"module-loopback"_s, u"source=fakemic"_s, u"sink=nullsink"_s}, &ok);
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

// A volume set on a line must reach the right device of the server, and read back the same.
TEST_F(CControlloVolumeServerTest, VolumeSetHereReadsBackThroughPactlOnBothLines)
{
    struct Case {
        bool recording;
        uint32_t component;
        QString query, device;
        uint32_t volume;
    };
    for (const Case& c : {Case{false, CControlloVolume::ComponentDstSpeakers, u"get-sink-volume"_s,
                               u"nullsink"_s, 13107},
                          Case{true, CControlloVolume::ComponentSrcMicrophone,
                               u"get-source-volume"_s, u"fakemic"_s, 32768}}) {
        SCOPED_TRACE(c.device.toStdString());
        CControlloVolume line;
        ASSERT_TRUE(line.Open(nullptr, c.recording, c.component, 0, 0));
        EXPECT_NE(line.GetMixerHandle(), 0u);
        EXPECT_EQ(line.GetMax(), 65535u);
        ASSERT_TRUE(line.SetVolume(c.volume));
        EXPECT_EQ(rawVolume(c.query, c.device), PulseMixerServer::toServerVolume(c.volume));
        uint32_t volume = 0;
        ASSERT_TRUE(line.GetCurrentVolume(volume));
        EXPECT_EQ(volume, c.volume);
        ASSERT_TRUE(line.SetVolume(65535));
        EXPECT_EQ(rawVolume(c.query, c.device), 65536u);
        EXPECT_TRUE(line.Close());
        EXPECT_EQ(line.GetMixerHandle(), 0u);
        EXPECT_FALSE(line.Close());
    }
}

// Device 0 is the default; a monitor is no recording device; a number beyond the list (a
// device unplugged since it was chosen) opens device 0.
TEST_F(CControlloVolumeServerTest, DeviceZeroIsTheDefaultAndMonitorsAreNoRecordDevices)
{
    CControlloVolume line;
    const QStringList play = line.deviceNames(false);
    const QStringList record = line.deviceNames(true);
    ASSERT_FALSE(play.isEmpty());
    EXPECT_EQ(play.first(), u"Null Output"_s);
    ASSERT_EQ(record.size(), 1);
    EXPECT_FALSE(record.first().contains(u"Monitor"_s));
    for (const bool input : {false, true}) {
        const uint32_t component = input ? CControlloVolume::ComponentSrcMicrophone
                                         : CControlloVolume::ComponentDstSpeakers;
        ASSERT_TRUE(line.Open(nullptr, input, component, 0, 0));
        const uint32_t deviceZero = line.GetLineId();
        for (const int beyond : {int(input ? record.size() : play.size()), 99, -1}) {
            SCOPED_TRACE(testing::Message() << input << " " << beyond);
            EXPECT_TRUE(line.Open(nullptr, input, component, 0, beyond));
            EXPECT_NE(line.GetMixerHandle(), 0u);
            EXPECT_EQ(line.GetLineId(), deviceZero);
        }
        line.Close();
    }
}

// Changes made outside must reach the window, on its thread, as the volume or mute control.
TEST_F(CControlloVolumeServerTest, VolumeAndMuteChangedWithPactlAreNotifiedOnTheUiThread)
{
    QObject window;
    CControlloVolume speaker;
    CControlloVolume microphone;
    ASSERT_TRUE(speaker.Open(&window, false, CControlloVolume::ComponentDstSpeakers, 0, 0));
    ASSERT_TRUE(microphone.Open(&window, true, CControlloVolume::ComponentSrcMicrophone, 0, 0));
    std::vector<std::pair<quintptr, quint32>> changes;
    bool onUiThread = true;
    for (CControlloVolume* line : {&speaker, &microphone}) {
        QObject::connect(line, &CControlloVolume::mixerControlChange, &window,
                         [&](quintptr mixer, quint32 control) {
                             onUiThread = onUiThread && QThread::currentThread() == window.thread();
                             changes.emplace_back(mixer, control);
                         });
    }
    const auto notified = [&](quintptr mixer, quint32 control) {
        return waitFor([&] {
            return std::find(changes.begin(), changes.end(), std::pair(mixer, control)) !=
                   changes.end();
        });
    };

    pactl({u"set-sink-volume"_s, u"nullsink"_s, u"20%"_s});
    ASSERT_TRUE(notified(speaker.GetMixerHandle(), speaker.GetVolumeControlId()));
    uint32_t volume = 0;
    ASSERT_TRUE(speaker.GetCurrentVolume(volume));
    EXPECT_EQ(volume, PulseMixerServer::toMixerVolume(13107));

    pactl({u"set-source-mute"_s, u"fakemic"_s, u"1"_s});
    ASSERT_TRUE(notified(microphone.GetMixerHandle(), microphone.GetMuteControlId()));
    EXPECT_TRUE(microphone.GetBooleanValue(microphone.GetMuteControlId()));
    EXPECT_TRUE(onUiThread);
}

// Selecting a microphone without ports still unmutes it; deselecting mutes it.
TEST_F(CControlloVolumeServerTest, SelectingAMicrophoneWithoutPortsUnmutesItAndFindsNoSelector)
{
    const auto muted = [] {
        return pactl({u"get-source-mute"_s, u"fakemic"_s}).endsWith(u"yes"_s);
    };
    pactl({u"set-source-mute"_s, u"fakemic"_s, u"1"_s});
    CControlloVolume microphone;
    ASSERT_TRUE(microphone.Open(nullptr, true, CControlloVolume::ComponentSrcMicrophone, 0, 0));
    EXPECT_TRUE(microphone.AbilitaDisabilitaSulMixer(true));
    EXPECT_FALSE(muted());
    EXPECT_TRUE(microphone.AbilitaDisabilitaSulMixer(false));
    EXPECT_TRUE(muted());
    uint32_t type = 0;
    EXPECT_FALSE(microphone.TipoControlloMixerMux(type));
    EXPECT_EQ(microphone.microphoneItem(), -1);
}

// The monitor line is the loopback's stream, not the sink: without one it does not open.
TEST_F(CControlloVolumeServerTest, MonitorLineIsTheLoopbackFromTheMicrophoneIntoTheSink)
{
    CControlloVolume missing;
    EXPECT_FALSE(missing.Open(nullptr, false, CControlloVolume::ComponentSrcMicrophone, 1, 0));
    EXPECT_EQ(missing.GetVolumeControlId(), 0u);

    const QString module = m_state->loadLoopback();
    ASSERT_FALSE(module.isEmpty());
    CControlloVolume monitor;
    ASSERT_TRUE(monitor.Open(nullptr, false, CControlloVolume::ComponentSrcMicrophone, 1, 0));
    ASSERT_TRUE(monitor.SetVolume(monitor.GetMin()));
    EXPECT_EQ(loopbackRawVolume(module), std::optional<uint32_t>(0));
    ASSERT_TRUE(monitor.SetVolume(40000));
    EXPECT_EQ(loopbackRawVolume(module), PulseMixerServer::toServerVolume(40000));
    EXPECT_EQ(rawVolume(u"get-sink-volume"_s, u"nullsink"_s), 65536u);
}

// The tree log must list every sink and source with its volume, monitors left out; the quiet
// one only the control lines.
TEST_F(CControlloVolumeServerTest, MixerTreeLogListsSinksSourcesLoopbacksAndVolumes)
{
    m_state->loadLoopback();
    pactl({u"set-sink-volume"_s, u"nullsink"_s, u"50%"_s});
    CControlloVolume line;
    line.LoggaAlberoMixer(false);
    const QStringList log = env.logLines();
    ASSERT_FALSE(log.isEmpty());
    EXPECT_EQ(log.first(), u"[LoggaAlberoMixer]"_s);
    EXPECT_EQ(log.last(), u"[LoggaAlberoMixer end]"_s);
    EXPECT_TRUE(log.contains(u"Destination #0 = Null Output (nullsink), Tipo=4"_s));
    EXPECT_EQ(log.filter(u"(fakemic), Tipo=7"_s).size(), 1);
    EXPECT_TRUE(log.filter(u"nullsink.monitor"_s).isEmpty());
    EXPECT_EQ(log.filter(u"\t\t\tControllo Volume 32768, id= "_s).size(), 1);
    EXPECT_EQ(log.filter(u"\tSource #0 = Loopback fakemic,  lineID="_s).size(), 1);

    line.LoggaAlberoMixer(true);
    const QStringList quiet = env.logLines().mid(log.size());
    ASSERT_FALSE(quiet.isEmpty());
    for (const QString& text : quiet)
        EXPECT_TRUE(text.startsWith(u"\t\t\t"_s)) << text.toStdString();
}

// ---------------------------------------------------------------------------------------------
// Without an audio server

// A missing server must fail at once, not hang the window, and report no lines.
TEST(CControlloVolumeWithoutServerTest, OpenAndTheTreeFailAtOnce)
{
    TestEnvironment env;
    env.setVariable("PULSE_SERVER", u"unix:"_s + env.root() + u"no-server.sock"_s);
    QElapsedTimer clock;
    clock.start();
    CControlloVolume speaker;
    EXPECT_FALSE(speaker.Open(nullptr, false, CControlloVolume::ComponentDstSpeakers, 0, 0));
    CControlloVolume microphone;
    EXPECT_FALSE(microphone.Open(nullptr, true, CControlloVolume::ComponentSrcMicrophone, 0, 0));
    EXPECT_TRUE(speaker.deviceNames(false).isEmpty());
    EXPECT_LT(clock.elapsed(), 2000);
    EXPECT_EQ(speaker.GetMixerHandle(), 0u);

    bool reached = true;
    EXPECT_EQ(speaker.AlberoMixer(false, &reached),
              QStringList({u"[LoggaAlberoMixer]"_s, u"ERROR: Can't open Mixer Device! "_s,
                           u"[LoggaAlberoMixer end]"_s}));
    EXPECT_FALSE(reached);
}

// A server that accepts but never answers must fail within the timeout.
TEST(CControlloVolumeWithoutServerTest, ServerThatNeverAnswersFailsWithinTheTimeout)
{
    TestEnvironment env;
    QLocalServer silent;
    const QString socket = env.root() + u"silent.sock"_s;
    ASSERT_TRUE(silent.listen(socket));
    env.setVariable("PULSE_SERVER", u"unix:"_s + socket);
    CControlloVolume line([] { return std::make_unique<PulseMixerServer>(300); });
    QElapsedTimer clock;
    clock.start();
    EXPECT_FALSE(line.Open(nullptr, false, CControlloVolume::ComponentDstSpeakers, 0, 0));
    EXPECT_LT(clock.elapsed(), 2000);
}

// Calls on a line that never opened must fail without touching their outputs or crashing.
TEST(CControlloVolumeWithoutServerTest, CallsOnAClosedLineFail)
{
    TestEnvironment env;
    CControlloVolume line;
    uint32_t volume = 7;
    EXPECT_FALSE(line.SetVolume(100));
    EXPECT_FALSE(line.GetCurrentVolume(volume));
    EXPECT_EQ(volume, 7u);
    EXPECT_EQ(line.GetMax(), 0u);
    EXPECT_FALSE(line.AbilitaDisabilitaSulMixer(true));
    EXPECT_FALSE(line.Close());
    line.ResetMicrophoneSwitches();
}

// Every mixer volume must come back unchanged from the server's scale.
TEST(CControlloVolumeScaleTest, MixerVolumesSurviveTheRoundTripThroughTheServerScale)
{
    EXPECT_EQ(PulseMixerServer::toServerVolume(65535), 65536u);
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
    MixerPort line{u"analog-input-linein"_s, u"Line In"_s, true, false, true};
    source.ports.push_back(line);
    if (withMicrophone)
        source.ports.push_back({u"analog-input-mic"_s, u"Microphone"_s, false, true, false});
    source.activePort = line.name;
    return source;
}

class CControlloVolumePortTest : public ::testing::Test {
protected:
    CControlloVolumePortTest()
    {
        MixerDevice sink;
        sink.name = u"speakers"_s;
        sink.description = u"Speakers"_s;
        sink.channels = 2;
        m_mixer->state.sinks.push_back(sink);
        m_mixer->state.defaultSink = sink.name;
        MixerDevice monitor = sink;
        monitor.index = 9;
        monitor.name = u"speakers.monitor"_s;
        monitor.monitor = true;
        m_mixer->state.sources.push_back(monitor);
        m_mixer->state.sources.push_back(sourceWithPorts(3, u"usb"_s, true));
        m_mixer->state.sources.push_back(sourceWithPorts(4, u"builtin"_s, true));
        m_mixer->state.defaultSource = u"builtin"_s;
    }
    std::unique_ptr<CControlloVolume> openMicrophone(QObject* window = nullptr, int device = 0)
    {
        auto line = std::make_unique<CControlloVolume>(
            [mixer = m_mixer] { return std::make_unique<FakeMixerServer>(mixer); });
        EXPECT_TRUE(line->Open(window, true, CControlloVolume::ComponentSrcMicrophone, 0, device));
        return line;
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

// Selecting must switch only the chosen source to its microphone port and unmute it.
TEST_F(CControlloVolumePortTest, SelectingTheMicrophoneChangesOnlyThatSourcesPortAndUnmutesIt)
{
    auto microphone = openMicrophone(nullptr, 1);
    microphone->LoggaAlberoMixer(false); // the tree's selectors must not steer the line
    ASSERT_TRUE(microphone->AbilitaDisabilitaSulMixer(true));
    EXPECT_EQ(m_mixer->calls, QStringList({u"port 3 analog-input-mic"_s, u"mute 3 0"_s}));
    EXPECT_EQ(source(4).activePort, u"analog-input-linein"_s);
    EXPECT_TRUE(source(4).muted);
    uint32_t type = 0;
    ASSERT_TRUE(microphone->TipoControlloMixerMux(type));
    EXPECT_EQ(type, CControlloVolume::ControlMux);
    EXPECT_EQ(microphone->microphoneItem(), 1);
}

// Deselecting mutes and leaves the port; a source without a microphone port is still unmuted;
// a refused port fails the selection.
TEST_F(CControlloVolumePortTest, DeselectingMutesAndPortlessOrRefusedSourcesAreHandled)
{
    ASSERT_TRUE(openMicrophone()->AbilitaDisabilitaSulMixer(false));
    EXPECT_EQ(m_mixer->calls, QStringList({u"mute 4 1"_s}));

    m_mixer->calls.clear();
    m_mixer->state.sources[2] = sourceWithPorts(4, u"builtin"_s, false);
    EXPECT_TRUE(openMicrophone()->AbilitaDisabilitaSulMixer(true));
    EXPECT_EQ(m_mixer->calls, QStringList({u"mute 4 0"_s}));

    m_mixer->calls.clear();
    m_mixer->state.sources[2] = sourceWithPorts(4, u"builtin"_s, true);
    m_mixer->refusePorts = true;
    EXPECT_FALSE(openMicrophone()->AbilitaDisabilitaSulMixer(true));
    EXPECT_TRUE(m_mixer->calls.isEmpty());
}

// The tree log must show the ports and their state, and no monitor.
TEST_F(CControlloVolumePortTest, MixerTreeLogListsPortsWithTheirState)
{
    CControlloVolume line([mixer = m_mixer] { return std::make_unique<FakeMixerServer>(mixer); });
    line.LoggaAlberoMixer(false);
    const QStringList log = env.logLines();
    EXPECT_TRUE(log.contains(u"\tSource #1 = Microphone (analog-input-mic),  "
                             "lineID=50000401, CompType=1003, Controlli=0"_s));
    EXPECT_TRUE(log.contains(u"\t\tTipo linea Sorgente 1, Attiva=0, Disconnessa=1, dwType=2"_s));
    EXPECT_TRUE(log.contains(u"\t\t\tTrovato Controllo MixerMux"_s));
    EXPECT_TRUE(log.filter(u"speakers.monitor"_s).isEmpty());
}

// Server threads' changes must arrive on the UI thread, only for this line's source, and
// none after the line is closed.
TEST_F(CControlloVolumePortTest, ChangesFromAnotherThreadArriveOnTheUiThreadUntilClosed)
{
    QObject window;
    auto microphone = openMicrophone(&window);
    std::vector<quint32> controls;
    bool onUiThread = true;
    QObject::connect(microphone.get(), &CControlloVolume::mixerControlChange, &window,
                     [&](quintptr mixer, quint32 control) {
                         onUiThread = onUiThread && QThread::currentThread() == window.thread() &&
                                      mixer == microphone->GetMixerHandle();
                         controls.push_back(control);
                     });
    std::thread server([mixer = m_mixer] {
        std::lock_guard lock(mixer->mutex);
        mixer->handler({MixerObject::Source, 4, false, 1234, true, u"analog-input-linein"_s});
        mixer->handler({MixerObject::Source, 3, false, 1, false, QString()}); // another source
        mixer->handler({MixerObject::Source, 4, false, 1234, false, u"analog-input-linein"_s});
    });
    server.join();
    ASSERT_TRUE(waitFor([&] { return controls.size() >= 2; }));
    EXPECT_TRUE(onUiThread);
    EXPECT_EQ(controls, std::vector<quint32>(
                            {microphone->GetVolumeControlId(), microphone->GetMuteControlId()}));

    controls.clear();
    auto handler = m_mixer->handler;
    handler({MixerObject::Source, 4, false, 1234, true, u"analog-input-linein"_s});
    microphone->Close();
    QCoreApplication::processEvents();
    EXPECT_TRUE(controls.empty());
}

} // namespace
