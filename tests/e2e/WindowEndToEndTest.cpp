#include "app/SettingsStore.h"
#include "res/StringTable.h"
#include "tests/support/MicrophoneFeeder.h"
#include "tests/support/RecordedMessages.h"
#include "tests/support/SpokenAudio.h"
#include "tests/support/TestEnvironment.h"
#include "ui/CDlgImpostazioniAvanzate.h"
#include "ui/CDlgSetImpostazioni.h"
#include "ui/COpzionePropertySheet.h"
#include "ui/ControlIds.h"
#include "ui/RecorderLayout.h"
#include "ui/SkinButton.h"

#include <QDialogButtonBox>
#include <QDir>
#include <QElapsedTimer>
#include <QFileInfo>
#include <QHeaderView>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QProcess>
#include <QPushButton>
#include <QStandardPaths>
#include <QTabBar>
#include <QTabWidget>
#include <QTreeView>
#include <QWidget>

#include <gtest/gtest.h>

#include <cmath>

namespace {

QString output(const QString& program, const QStringList& args, int* status = nullptr)
{
    QProcess process;
    process.start(program, args);
    process.waitForFinished(30000);
    if (status != nullptr)
        *status = process.exitStatus() == QProcess::NormalExit ? process.exitCode() : -1;
    return QString::fromUtf8(process.readAllStandardOutput()).trimmed();
}

int playbackStreams()
{
    const QString listed = output(QStringLiteral("pactl"), {"list", "short", "sink-inputs"});
    return listed.isEmpty() ? 0 : int(listed.split(u'\n').size());
}

// The program as a person uses it: a real X server (Xvfb), real mouse clicks and keys
// (xdotool), speech on the private server's fake microphone.
class WindowEndToEndTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        if (!MicrophoneFeeder::prepare())
            GTEST_SKIP() << "needs the private audio server that ./test starts";
        for (const char* tool : {"Xvfb", "xdotool", "espeak-ng", "sox"})
            ASSERT_FALSE(QStandardPaths::findExecutable(QString::fromLatin1(tool)).isEmpty())
                << tool;
        folder = env.root() + QStringLiteral("calls/");
        QDir().mkpath(folder);
        TestEnvironment::writeSettingsFile(env.userSettingsFile(),
                                           {"WorkDir=" + folder, "AvviaInAutoReg=0"});
        startDisplay();
    }

    void TearDown() override
    {
        if (parlune.state() != QProcess::NotRunning) {
            parlune.kill();
            parlune.waitForFinished(10000);
        }
        if (trayer.state() != QProcess::NotRunning) {
            trayer.kill();
            trayer.waitForFinished(10000);
        }
        if (xvfb.state() != QProcess::NotRunning) {
            xvfb.terminate();
            xvfb.waitForFinished(10000);
        }
    }

    void startDisplay()
    {
        // Xvfb picks a free display itself and writes its number on the given descriptor. Its
        // warnings go nowhere: a full pipe nobody reads would stop the server.
        xvfb.setStandardErrorFile(QProcess::nullDevice());
        xvfb.start(QStringLiteral("Xvfb"),
                   {"-displayfd", "1", "-screen", "0", "1024x768x24", "-nolisten", "tcp"});
        ASSERT_TRUE(waitFor([&] { return xvfb.canReadLine(); }, 30000));
        display = QStringLiteral(":") + QString::fromLatin1(xvfb.readLine()).trimmed();
        env.setVariable("DISPLAY", display);
        // Clients are started only once the server answers one.
        ASSERT_TRUE(waitFor(
            [] {
                int status = -1;
                output(QStringLiteral("xdotool"), {"getdisplaygeometry"}, &status);
                return status == 0;
            },
            30000));
    }

    /// Starts the program and waits for the X window titled `shownAs` (the main window unless
    /// told otherwise).
    /// The environment the program runs in on the display.
    static QProcessEnvironment programEnvironment()
    {
        QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
        environment.insert(QStringLiteral("QT_QPA_PLATFORM"), QStringLiteral("xcb"));
        // The X keyboard library hands strndup strings without their terminator; the strict
        // string check of the sanitizer build would end the program in its first call.
        if (environment.contains(QStringLiteral("ASAN_OPTIONS")))
            environment.insert(QStringLiteral("ASAN_OPTIONS"),
                               environment.value(QStringLiteral("ASAN_OPTIONS")) +
                                   QStringLiteral(":strict_string_checks=0"));
        return environment;
    }

    void startParlune(const QString& shownAs = StringTable::text(354))
    {
        parlune.setProcessEnvironment(programEnvironment());
        parlune.setProcessChannelMode(QProcess::ForwardedErrorChannel);
        // Now and then the program's first connection to the fresh Xvfb is refused although a
        // client got through just before; a start that ends at once is tried again.
        for (int attempt = 0; attempt < 3 && window.isEmpty(); ++attempt) {
            parlune.start(QStringLiteral(PARLUNE_BIN_DIR "/parlune"), {});
            ASSERT_TRUE(parlune.waitForStarted(10000));
            waitFor(
                [&] {
                    return parlune.state() == QProcess::NotRunning ||
                           !(window = findWindow(shownAs)).isEmpty();
                },
                30000);
        }
        ASSERT_FALSE(window.isEmpty());
    }

    /// A panel along the bottom edge that holds notification-area icons, as a desktop's has.
    void startTrayHost()
    {
        trayer.setStandardOutputFile(QProcess::nullDevice());
        trayer.setStandardErrorFile(QProcess::nullDevice());
        trayer.start(QStringLiteral("trayer"), {"--edge", "bottom", "--align", "left", "--height",
                                                "24", "--widthtype", "request"});
        ASSERT_TRUE(trayer.waitForStarted(10000));
        ASSERT_TRUE(waitFor([] { return !findWindow(QStringLiteral("panel")).isEmpty(); }, 30000));
    }

    static QString findWindow(const QString& title)
    {
        const QStringList ids = output(QStringLiteral("xdotool"),
                                       {"search", "--onlyvisible", "--name", "^" + title + "$"})
                                    .split(u'\n', Qt::SkipEmptyParts);
        if (!ids.isEmpty())
            return ids.first();
        // The tray icon's window has its title only as _NET_WM_NAME, which the search misses.
        for (const QString& id :
             output(QStringLiteral("xdotool"), {"search", "--onlyvisible", "--class", "parlune"})
                 .split(u'\n', Qt::SkipEmptyParts))
            if (output(QStringLiteral("xdotool"), {"getwindowname", id}) == title)
                return id;
        return QString();
    }

    /// Clicks `button` (1 left, 3 right) `times` at `at` inside the X window `target`.
    static void clickWindow(const QString& target, QPoint at, int times = 1, int button = 1)
    {
        int status = -1;
        output(QStringLiteral("xdotool"),
               {"mousemove", "--window", target, QString::number(at.x()), QString::number(at.y()),
                "click", "--repeat", QString::number(times), "--delay", "80",
                QString::number(button)},
               &status);
        ASSERT_EQ(status, 0);
    }

    /// Clicks the centre of a window control, where the window's own layout puts it.
    void click(int controlId)
    {
        QWidget probe;
        RecorderLayout layout(&probe);
        const QPoint centre = layout.button(controlId)->geometry().center();
        int status = -1;
        output(QStringLiteral("xdotool"),
               {"mousemove", "--window", window, QString::number(centre.x()),
                QString::number(centre.y()), "click", "1"},
               &status);
        ASSERT_EQ(status, 0);
    }

    /// Clicks `at` (in `widget`'s coordinates) of the same widget in the X window `target`.
    static void clickAt(const QString& target, QWidget* widget, QPoint at)
    {
        const QPoint point = widget->mapTo(widget->window(), at);
        int status = -1;
        output(QStringLiteral("xdotool"),
               {"mousemove", "--window", target, QString::number(point.x()),
                QString::number(point.y()), "click", "1"},
               &status);
        ASSERT_EQ(status, 0);
    }

    static void keys(const QStringList& args)
    {
        int status = -1;
        output(QStringLiteral("xdotool"), args, &status);
        ASSERT_EQ(status, 0);
    }

    QJsonArray listJson(const QString& in = QString())
    {
        return QJsonDocument::fromJson(
                   output(QStringLiteral(PARLUNE_BIN_DIR "/parlunectl"),
                          {"--folder", in.isEmpty() ? folder : in, "list", "--json"})
                       .toUtf8())
            .array();
    }

    TestEnvironment env;
    QString folder;
    QProcess xvfb;
    QProcess parlune;
    QProcess trayer;
    QString display;
    QString window;
};

TEST_F(WindowEndToEndTest, RecordSpeechByHandSaveItAndPlayItBack)
{
    const QString speech = SpokenAudio::calls(
        env.root(), {"Good afternoon, I would like to change the date of my appointment."}, 0.5,
        "speech.wav");
    ASSERT_FALSE(speech.isEmpty());
    MicrophoneFeeder microphone(false);
    startParlune();
    ASSERT_FALSE(window.isEmpty());

    click(ControlId::Record);
    ASSERT_TRUE(waitFor([] { return MicrophoneFeeder::streamConnected(); }, 20000));
    // The recording holds what the microphone gave from the moment its stream connected.
    QElapsedTimer recording;
    recording.start();
    ASSERT_TRUE(microphone.speak(speech, env.root()));
    ASSERT_TRUE(waitFor([&] { return !microphone.speaking(); }, 60000));
    click(ControlId::StopRecord);
    const double recordedSeconds = double(recording.elapsed()) / 1000;

    // The Save recording dialog comes up with the default name: Enter keeps it.
    QString dialog;
    ASSERT_TRUE(
        waitFor([&] { return !(dialog = findWindow(StringTable::text(207))).isEmpty(); }, 30000));
    output(QStringLiteral("xdotool"), {"windowfocus", "--sync", dialog});
    output(QStringLiteral("xdotool"), {"key", "--clearmodifiers", "Return"});
    const QString file = folder + QStringLiteral("Recording 1.mp3");
    ASSERT_TRUE(waitFor([&] { return QFileInfo::exists(file); }, 30000));
    ASSERT_TRUE(waitFor([&] { return findWindow(StringTable::text(207)).isEmpty(); }, 30000));

    const QJsonArray list = listJson();
    ASSERT_EQ(list.size(), 1);
    const QStringList parts = list[0].toObject()["duration"].toString().split(u':');
    ASSERT_EQ(parts.size(), 2);
    const int duration = parts[0].toInt() * 60 + parts[1].toInt();
    // Whole seconds of what was recorded from the stream's start to the Stop click.
    EXPECT_LE(std::abs(duration - recordedSeconds), 1.5)
        << duration << " s recorded against " << recordedSeconds << " s between the clicks";
    EXPECT_GE(duration, 3);
    EXPECT_TRUE(QDir(folder).entryList({"*.prl", "*.dtm"}, QDir::Files).isEmpty());

    // Play: the recording reaches the speakers and ends by itself.
    const int streamsBefore = playbackStreams();
    click(ControlId::Play);
    ASSERT_TRUE(waitFor([&] { return playbackStreams() > streamsBefore; }, 20000));
    EXPECT_TRUE(waitFor([&] { return playbackStreams() == streamsBefore; }, 60000));

    // The desktop asks the program to end: it closes cleanly.
    parlune.terminate();
    ASSERT_TRUE(parlune.waitForFinished(30000));
    EXPECT_EQ(parlune.exitStatus(), QProcess::NormalExit);
    EXPECT_EQ(parlune.exitCode(), 0);
}

TEST_F(WindowEndToEndTest, OptionsChangeTheFolderAndTheThresholdAndTheNextCallGoesThere)
{
    const QString speech = SpokenAudio::calls(
        env.root(), {"Hello, this is the call that goes into the new folder."}, 0.5, "call.wav");
    ASSERT_FALSE(speech.isEmpty());
    TestEnvironment::writeSettingsFile(
        env.userSettingsFile(), {"WorkDir=" + folder, "AvviaInAutoReg=0", "RegAutoSalvaUnicoFile=0",
                                 "ChiediConfermaAutoRec=0", "SogliaAttivazioneRegAuto=32767"});
    const QString newFolder = env.root() + QStringLiteral("moved");
    QDir().mkpath(newFolder);
    MicrophoneFeeder microphone(false);
    startParlune();

    click(ControlId::Options);
    QString sheetWindow;
    ASSERT_TRUE(waitFor(
        [&] { return !(sheetWindow = findWindow(StringTable::text(183))).isEmpty(); }, 30000));
    // The same sheet built here tells where its controls are on the screen.
    SettingsStore store(env.userSettingsFile(), env.programFolder(), folder);
    RecordedMessages messages;
    COpzionePropertySheet probe;
    auto* general = new CDlgSetImpostazioni(store, messages, {}, &probe);
    CDlgImpostazioniAvanzate::Context context;
    context.programFolder = env.programFolder();
    auto* advanced = new CDlgImpostazioniAvanzate(store, messages, context, &probe);
    probe.addPage(general);
    probe.addPage(advanced);
    probe.show();
    const auto edit = [&](QWidget* page, int id, const QString& text) {
        QWidget* field = page->findChild<QWidget*>(QString::number(id));
        ASSERT_NE(field, nullptr);
        clickAt(sheetWindow, field, QPoint(8, field->height() / 2));
        keys({"key", "--clearmodifiers", "ctrl+a"});
        keys({"type", "--delay", "20", text});
    };

    edit(general, 1101, QStringLiteral("2"));
    // The most sensitive end: any voice starts a call.
    auto* threshold = general->findChild<QWidget*>(QStringLiteral("1104"));
    clickAt(sheetWindow, threshold, QPoint(4, threshold->height() / 2));
    keys({"key", "--clearmodifiers", "Home"});
    QTabBar* tabs = probe.tabs()->tabBar();
    clickAt(sheetWindow, tabs, tabs->tabRect(1).center());
    probe.tabs()->setCurrentIndex(1);
    edit(advanced, 1134, newFolder);
    QPushButton* ok = probe.buttons()->button(QDialogButtonBox::Ok);
    clickAt(sheetWindow, ok, ok->rect().center());
    ASSERT_TRUE(waitFor([&] { return findWindow(StringTable::text(183)).isEmpty(); }, 30000));
    const QStringList settings = TestEnvironment::settingsFileLines(env.userSettingsFile());
    EXPECT_TRUE(settings.contains(QStringLiteral("SogliaAttivazioneRegAuto=100")));
    EXPECT_TRUE(settings.contains(QStringLiteral("TempoAttesaRegAuto=2")));
    EXPECT_TRUE(settings.contains("WorkDir=" + newFolder + u'/'));

    click(ControlId::AutoRecord);
    ASSERT_TRUE(waitFor([] { return MicrophoneFeeder::streamConnected(); }, 20000));
    ASSERT_TRUE(microphone.speak(speech, env.root()));
    ASSERT_TRUE(waitFor([&] { return listJson(newFolder).size() == 1; }, 90000));
    EXPECT_TRUE(listJson(folder).isEmpty());
    click(ControlId::AutoRecord);
    parlune.terminate();
    ASSERT_TRUE(parlune.waitForFinished(30000));
    EXPECT_EQ(parlune.exitCode(), 0);
    EXPECT_EQ(listJson(newFolder).size(), 1);
}

TEST_F(WindowEndToEndTest, StartedAsAnIconItRecordsACallAndTheIconBringsTheWindowBack)
{
    ASSERT_FALSE(QStandardPaths::findExecutable(QStringLiteral("trayer")).isEmpty());
    const QString speech = SpokenAudio::calls(
        env.root(), {"Hello, I am calling about the invoice you sent me last week."}, 0.5,
        "call.wav");
    ASSERT_FALSE(speech.isEmpty());
    // A first start's values, but every call in its own file and a short wait for silence.
    TestEnvironment::writeSettingsFile(env.userSettingsFile(),
                                       {"WorkDir=" + folder, "AvvioTaskBar=1", "AvviaInAutoReg=1",
                                        "RegAutoSalvaUnicoFile=0", "TempoAttesaRegAuto=2"});
    startTrayHost();
    MicrophoneFeeder microphone(false);
    startParlune(StringTable::text(84));
    const QString icon = window;
    EXPECT_TRUE(findWindow(StringTable::text(354)).isEmpty());

    // It starts armed: the call is recorded while the window is hidden.
    ASSERT_TRUE(waitFor([] { return MicrophoneFeeder::streamConnected(); }, 20000));
    ASSERT_TRUE(microphone.speak(speech, env.root()));
    ASSERT_TRUE(waitFor([&] { return listJson().size() == 1; }, 90000));
    EXPECT_TRUE(findWindow(StringTable::text(354)).isEmpty());

    const QStringList size =
        output(QStringLiteral("xdotool"), {"getwindowgeometry", "--shell", icon}).split(u'\n');
    const auto value = [&](const QString& key) {
        for (const QString& line : size)
            if (line.startsWith(key + u'='))
                return line.mid(key.size() + 1).toInt();
        return 0;
    };
    clickWindow(icon, QPoint(value("WIDTH") / 2, value("HEIGHT") / 2));
    ASSERT_TRUE(
        waitFor([&] { return !(window = findWindow(StringTable::text(354))).isEmpty(); }, 30000));
    EXPECT_TRUE(waitFor([&] { return findWindow(StringTable::text(84)).isEmpty(); }, 30000));

    // The top row is the new call: renamed in its properties, its file takes the name.
    QWidget probe;
    RecorderLayout layout(&probe);
    QTreeView* list = layout.list();
    const QPoint firstRow = list->geometry().topLeft() +
                            QPoint(list->width() / 3, list->header()->sizeHint().height() + 8);
    clickWindow(window, firstRow);
    click(ControlId::Modify);
    QString properties;
    ASSERT_TRUE(waitFor(
        [&] { return !(properties = findWindow(StringTable::text(207))).isEmpty(); }, 30000));
    output(QStringLiteral("xdotool"), {"windowfocus", "--sync", properties});
    keys({"key", "--clearmodifiers", "ctrl+a"});
    keys({"type", "--delay", "20", "Invoice call"});
    keys({"key", "--clearmodifiers", "Return"});
    EXPECT_TRUE(waitFor(
        [&] { return QFileInfo::exists(folder + QStringLiteral("Invoice call.mp3")); }, 30000));

    parlune.terminate();
    ASSERT_TRUE(parlune.waitForFinished(30000));
    EXPECT_EQ(parlune.exitCode(), 0);
    const QJsonArray calls = listJson();
    ASSERT_EQ(calls.size(), 1);
    EXPECT_EQ(calls[0].toObject()["name"].toString(), QStringLiteral("Invoice call"));
}

TEST_F(WindowEndToEndTest, ScreenReadersFindANameForEveryControlAndEveryMenuItem)
{
    // The tree as an assistive technology reads it over the accessibility bus.
    QProcess reader;
    reader.setProcessEnvironment(programEnvironment());
    // The program's first connection to a fresh Xvfb is now and then refused: tried again.
    for (int attempt = 0; attempt < 3; ++attempt) {
        reader.start(QStringLiteral("dbus-run-session"),
                     {"--", "/usr/bin/python3", PARLUNE_SOURCE_DIR "/scripts/accessibility-tree.py",
                      PARLUNE_BIN_DIR "/parlune", "60"});
        ASSERT_TRUE(reader.waitForFinished(120000));
        if (reader.exitStatus() == QProcess::NormalExit && reader.exitCode() == 0)
            break;
    }
    ASSERT_EQ(reader.exitCode(), 0) << reader.readAllStandardError().toStdString();

    QStringList unnamed;
    QStringList menuNames;
    int buttons = 0;
    for (const QByteArray& line : reader.readAllStandardOutput().split('\n')) {
        const QJsonObject node = QJsonDocument::fromJson(line).object();
        if (node.isEmpty())
            continue;
        const QString role = node["role"].toString();
        const QString name = node["name"].toString();
        // A closed menu's items are read too, and an item that can run is not grey there.
        if (role == QStringLiteral("menu") || role == QStringLiteral("menu item"))
            menuNames << name + (node["enabled"].toBool() ? QString() : QStringLiteral(" (grey)"));
        if (role == QStringLiteral("push button") && node["showing"].toBool())
            ++buttons;
        // What the keyboard reaches must say what it is.
        if (node["focusable"].toBool() && node["showing"].toBool() && name.isEmpty() &&
            role != QStringLiteral("table cell"))
            unnamed << role;
    }
    EXPECT_GE(buttons, 15);
    EXPECT_TRUE(unnamed.isEmpty()) << unnamed.join(u',').toStdString();
    for (const char* expected : {"File", "Tools", "?", "Import recordings...", "Options...", "Exit",
                                 "Help...", "Update Parlune", "About..."})
        EXPECT_TRUE(menuNames.contains(QString::fromLatin1(expected)))
            << expected << " among " << menuNames.join(u'|').toStdString();
}

} // namespace
