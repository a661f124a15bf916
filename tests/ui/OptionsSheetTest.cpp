#include "ui/COpzionePropertySheet.h"

#include "app/SettingsStartup.h"
#include "app/SettingsStore.h"
#include "platform/Autostart.h"
#include "res/StringTable.h"
#include "tests/support/AnswerDialog.h"
#include "tests/support/AudioFixtures.h"
#include "tests/support/RecordedMessages.h"
#include "tests/support/TestEnvironment.h"
#include "ui/CDlgImpostazioniAvanzate.h"
#include "ui/CDlgSetImpostazioni.h"

#include <QCheckBox>
#include <QComboBox>
#include <QDialogButtonBox>
#include <QDir>
#include <QFileDialog>
#include <QFileInfo>
#include <QLineEdit>
#include <QProcess>
#include <QPushButton>
#include <QRadioButton>
#include <QSlider>
#include <QSpinBox>
#include <QTabWidget>
#include <QTest>

#include <gtest/gtest.h>

#include <algorithm>

using namespace Qt::StringLiterals;

namespace {

// The sheet as the Options command builds it, on a first start's settings file.
class OptionsSheetTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        SettingsStartup startup(env.userSettingsFile(), env.machineSettingsFile(),
                                env.programFolder(), env.dataFolder());
        startup.createDefaults();
        startup.read();
        store = std::make_unique<SettingsStore>(startup.store());
    }

    /// Opens the sheet with both pages; `serverless` opens it with no audio server to reach.
    void open(bool serverless = false)
    {
        if (serverless)
            env.setVariable("PULSE_SERVER", u"unix:"_s + env.root() + u"nobody.sock"_s);
        sheet = std::make_unique<COpzionePropertySheet>();
        general = new CDlgSetImpostazioni(*store, messages, {}, sheet.get());
        CDlgImpostazioniAvanzate::Context context;
        context.programFolder = env.programFolder();
        context.programFile = u"/opt/parlune/parlune"_s;
        context.indexAvailable = true;
        context.recreateIndex = [this] { ++recreated; };
        advanced = new CDlgImpostazioniAvanzate(*store, messages, context, sheet.get());
        sheet->addPage(general);
        sheet->addPage(advanced);
        sheet->show();
    }

    template <typename Widget> Widget* control(QWidget* page, int id) const
    {
        auto* widget = page->findChild<Widget*>(QString::number(id));
        EXPECT_NE(widget, nullptr) << id;
        return widget;
    }

    /// The value's text in the settings file; empty when missing.
    QString stored(const QString& name) const
    {
        for (const QString& line : TestEnvironment::settingsFileLines(env.userSettingsFile())) {
            if (line.startsWith(name + u'='))
                return line.mid(name.size() + 1);
        }
        return {};
    }

    void set(const QStringList& lines)
    {
        QStringList all = TestEnvironment::settingsFileLines(env.userSettingsFile());
        for (const QString& line : lines) {
            const QString name = line.section(u'=', 0, 0) + u'=';
            all.erase(std::remove_if(all.begin(), all.end(),
                                     [&](const QString& old) { return old.startsWith(name); }),
                      all.end());
            all << line;
        }
        TestEnvironment::writeSettingsFile(env.userSettingsFile(), all);
    }

    /// Clicks OK; true when the sheet closed.
    bool ok()
    {
        messages.clear();
        QTest::mouseClick(sheet->buttons()->button(QDialogButtonBox::Ok), Qt::LeftButton);
        return !sheet->isVisible();
    }

    static bool hasServer() { return !qEnvironmentVariableIsEmpty("PULSE_SERVER"); }

    TestEnvironment env;
    RecordedMessages messages;
    std::unique_ptr<SettingsStore> store;
    std::unique_ptr<COpzionePropertySheet> sheet;
    CDlgSetImpostazioni* general = nullptr;
    CDlgImpostazioniAvanzate* advanced = nullptr;
    int recreated = 0;
};

TEST_F(OptionsSheetTest, SilenceMustBeGivenZeroIsAcceptedAndARefusalKeepsTheSheetOpenOnItsField)
{
    open(true);
    auto* silence = control<QLineEdit>(general, 1101);
    sheet->tabs()->setCurrentWidget(advanced);
    silence->clear();
    EXPECT_FALSE(ok());
    EXPECT_EQ(messages.texts, QStringList{StringTable::text(56)});
    EXPECT_EQ(sheet->tabs()->currentWidget(), general);
    EXPECT_EQ(sheet->focusWidget(), silence);
    silence->setText(u"0"_s);
    EXPECT_TRUE(ok());
    EXPECT_EQ(stored(u"TempoAttesaRegAuto"_s), u"0");
}

TEST_F(OptionsSheetTest, SingleFileGreysTheCallSwitchesAndStoresThemOffDefaultRestoresThem)
{
    set({u"RegAutoSalvaUnicoFile=0"_s, u"ChiediConfermaAutoRec=1"_s, u"AntiBump=1"_s});
    open(true);
    auto* confirmation = control<QCheckBox>(general, 1106);
    auto* antiBump = control<QCheckBox>(general, 1110);
    ASSERT_TRUE(confirmation->isEnabled() && confirmation->isChecked() && antiBump->isChecked());
    control<QRadioButton>(general, 1077)->click();
    EXPECT_FALSE(confirmation->isEnabled());
    EXPECT_FALSE(antiBump->isEnabled());
    ASSERT_TRUE(ok());
    EXPECT_EQ(stored(u"RegAutoSalvaUnicoFile"_s), u"1");
    EXPECT_EQ(stored(u"ChiediConfermaAutoRec"_s), u"0");
    EXPECT_EQ(stored(u"AntiBump"_s), u"0");

    open(true);
    control<QLineEdit>(general, 1101)->setText(u"3"_s);
    control<QPushButton>(general, 1136)->click();
    EXPECT_TRUE(control<QRadioButton>(general, 1099)->isChecked());
    EXPECT_TRUE(control<QCheckBox>(general, 1110)->isEnabled());
    ASSERT_TRUE(ok());
    EXPECT_EQ(stored(u"TempoAttesaRegAuto"_s), u"15");
    EXPECT_EQ(stored(u"SogliaAttivazioneRegAuto"_s), u"15000");
    EXPECT_EQ(stored(u"AntiBump"_s), u"1");
    EXPECT_EQ(stored(u"ChiediConfermaAutoRec"_s), u"0");
}

TEST_F(OptionsSheetTest, CallsOnThisComputerAreStoredOnOkReadBackAndTurnedOffByDefault)
{
    const auto storedCalls = [this] {
        return QStringList{stored(u"RecordBothSides"_s), stored(u"StartOnMicrophoneOpen"_s),
                           stored(u"IgnoredMicrophonePrograms"_s), stored(u"PreRollSeconds"_s)};
    };
    open(true);
    auto* ignored = control<QLineEdit>(general, 1194);
    EXPECT_FALSE(ignored->isEnabled());
    control<QCheckBox>(general, 1191)->click();
    control<QCheckBox>(general, 1192)->click();
    EXPECT_TRUE(ignored->isEnabled());
    ignored->setText(u" zoom ,, teams  "_s);
    control<QSpinBox>(general, 1196)->setValue(4);
    ASSERT_TRUE(ok());
    EXPECT_EQ(storedCalls(), (QStringList{u"1"_s, u"1"_s, u"zoom, teams"_s, u"4"_s}));

    open(true);
    EXPECT_TRUE(control<QCheckBox>(general, 1191)->isChecked());
    EXPECT_TRUE(control<QCheckBox>(general, 1192)->isChecked());
    ignored = control<QLineEdit>(general, 1194);
    EXPECT_TRUE(ignored->isEnabled());
    EXPECT_EQ(ignored->text(), u"zoom, teams");
    EXPECT_EQ(control<QSpinBox>(general, 1196)->value(), 4);
    control<QPushButton>(general, 1136)->click();
    EXPECT_FALSE(ignored->isEnabled());
    ASSERT_TRUE(ok());
    EXPECT_EQ(storedCalls(), (QStringList{u"0"_s, u"0"_s, QString(), u"1"_s}));
}

TEST_F(OptionsSheetTest, AStoredDeviceBeyondTheServersSelectsTheDefaultAndOkStoresIt)
{
    if (!hasServer())
        GTEST_SKIP() << "needs the private audio server that ./test starts (PULSE_SERVER)";
    set({u"IDDispositivoRegistrazione=7"_s, u"IDDispositivoRiproduzione=9"_s});
    open();
    for (int id : {1001, 1002}) {
        auto* combo = control<QComboBox>(general, id);
        ASSERT_GE(combo->count(), 1) << id;
        EXPECT_EQ(combo->currentIndex(), 0) << id;
        EXPECT_TRUE(combo->currentText().startsWith(u"Default ("_s)) << id;
        // The fake microphone's description is long and carries no monitor.
        for (int item = 0; item < combo->count(); ++item)
            EXPECT_FALSE(combo->itemText(item).contains(u"Monitor"_s)) << id;
    }
    EXPECT_TRUE(env.logLines().contains(u"[DLGIMP]:DispositivoRegistrazione: 7, "
                                        u"DispositivoRiproduzione: 9"_s));
    ASSERT_TRUE(ok());
    EXPECT_EQ(stored(u"IDDispositivoRegistrazione"_s), u"0");
    EXPECT_EQ(stored(u"IDDispositivoRiproduzione"_s), u"0");
}

TEST_F(OptionsSheetTest, LongDeviceNamesAreCutAtThirtyOneCharactersWithDots)
{
    const QString thirty(30, u'a');
    EXPECT_EQ(CDlgSetImpostazioni::shownDeviceName(thirty), thirty);
    EXPECT_EQ(CDlgSetImpostazioni::shownDeviceName(thirty + u"bc"_s), thirty + u"b..."_s);
}

QString sourceVolume()
{
    QProcess pactl;
    pactl.start(u"pactl"_s, {u"get-source-volume"_s, u"@DEFAULT_SOURCE@"_s});
    pactl.waitForFinished(10000);
    return QString::fromUtf8(pactl.readAllStandardOutput()).section(u'/', 1, 1).trimmed();
}

TEST_F(OptionsSheetTest, TheRecordingVolumeFollowsTheSliderOkStoresItCancelPutsItBack)
{
    if (!hasServer())
        GTEST_SKIP() << "needs the private audio server that ./test starts (PULSE_SERVER)";
    set({u"VolumeRegistrazione=65535"_s});
    open();
    auto* slider = control<QSlider>(general, 1130);
    ASSERT_TRUE(slider->isEnabled());
    EXPECT_EQ(slider->maximum(), 65535);
    EXPECT_EQ(sourceVolume(), u"100%");
    slider->setSliderDown(true);
    slider->setValue(32768);
    slider->setSliderDown(false);
    EXPECT_TRUE(waitFor([] { return sourceVolume() == u"50%"; }));
    sheet->reject();
    EXPECT_TRUE(waitFor([] { return sourceVolume() == u"100%"; }));
    EXPECT_EQ(stored(u"VolumeRegistrazione"_s), u"65535");

    open();
    slider = control<QSlider>(general, 1130);
    slider->setSliderDown(true);
    slider->setValue(32768);
    slider->setSliderDown(false);
    ASSERT_TRUE(ok());
    EXPECT_EQ(stored(u"VolumeRegistrazione"_s), u"32768");
    EXPECT_EQ(sourceVolume(), u"50%");
    // Put back for the tests that follow.
    QProcess::execute(u"pactl"_s, {u"set-source-volume"_s, u"@DEFAULT_SOURCE@"_s, u"100%"_s});
}

TEST_F(OptionsSheetTest, WithoutAMixerTheVolumeIsLeftUnsetAndOkKeepsTheStoredOne)
{
    set({u"VolumeRegistrazione=12345"_s});
    open(true);
    EXPECT_EQ(messages.texts, QStringList{StringTable::text(75)});
    EXPECT_FALSE(control<QSlider>(general, 1130)->isEnabled());
    EXPECT_EQ(control<QComboBox>(general, 1002)->count(), 0);
    ASSERT_TRUE(ok());
    EXPECT_EQ(stored(u"VolumeRegistrazione"_s), u"12345");
}

TEST_F(OptionsSheetTest, CancelWritesNothingWhateverWasChanged)
{
    open(true);
    const QStringList before = TestEnvironment::settingsFileLines(env.userSettingsFile());
    control<QLineEdit>(general, 1101)->setText(u"99"_s);
    control<QRadioButton>(general, 1077)->click();
    control<QCheckBox>(general, 1191)->click();
    control<QCheckBox>(general, 1192)->click();
    control<QLineEdit>(general, 1194)->setText(u"zoom"_s);
    control<QSpinBox>(general, 1196)->setValue(5);
    control<QLineEdit>(advanced, 1138)->setText(u"Anna"_s);
    control<QCheckBox>(advanced, 1107)->setChecked(true);
    QTest::keyClick(sheet.get(), Qt::Key_Escape);
    EXPECT_FALSE(sheet->isVisible());
    EXPECT_EQ(TestEnvironment::settingsFileLines(env.userSettingsFile()), before);
    EXPECT_FALSE(Autostart::read().has_value());
}

TEST_F(OptionsSheetTest, TheWarningFileMustExistAndBeSpelledAsOneOfSixExtensions)
{
    struct Case {
        const char* file;
        int refusal; // 0: accepted
    };
    const Case cases[] = {{"a.mp3", 0},   {"b.Mp3", 0},   {"c.MP3", 0},     {"d.wav", 0},
                          {"e.Wav", 0},   {"f.WAV", 0},   {"g.wAV", 296},   {"h.mP3", 296},
                          {"i.ogg", 296}, {"noDot", 296}, {"gone.wav", 297}};
    for (const Case& c : cases) {
        const QString file = env.root() + QString::fromLatin1(c.file);
        if (c.refusal != 297) {
            ASSERT_TRUE(AudioFixtures::writeFile(file, "RIFF"));
        }
        open(true);
        control<QCheckBox>(advanced, 1172)->setChecked(true);
        auto* edit = control<QLineEdit>(advanced, 1173);
        edit->setText(file);
        sheet->tabs()->setCurrentWidget(general);
        const bool closed = ok();
        EXPECT_EQ(closed, c.refusal == 0) << c.file;
        if (c.refusal != 0) {
            EXPECT_EQ(messages.texts, QStringList{StringTable::text(c.refusal)}) << c.file;
            EXPECT_EQ(sheet->tabs()->currentWidget(), advanced) << c.file;
            EXPECT_EQ(sheet->focusWidget(), edit) << c.file;
        } else {
            EXPECT_EQ(stored(u"SegnaleAcusticoFile"_s), file) << c.file;
        }
    }
    // Off, the file is not checked.
    open(true);
    control<QCheckBox>(advanced, 1172)->setChecked(false);
    control<QLineEdit>(advanced, 1173)->setText(env.root() + u"gone.wav"_s);
    EXPECT_TRUE(ok());
}

TEST_F(OptionsSheetTest, WarningControlsFollowTheirBoxesAndARepeatNeedsSecondsAboveZero)
{
    open(true);
    auto* warning = control<QCheckBox>(advanced, 1172);
    auto* after = control<QCheckBox>(advanced, 1174);
    auto* every = control<QCheckBox>(advanced, 1175);
    auto* afterSeconds = control<QLineEdit>(advanced, 1177);
    auto* everySeconds = control<QLineEdit>(advanced, 1178);
    warning->setChecked(false);
    for (QWidget* widget : {static_cast<QWidget*>(after), static_cast<QWidget*>(every),
                            static_cast<QWidget*>(afterSeconds), control<QWidget>(advanced, 1173),
                            control<QWidget>(advanced, 1139)})
        EXPECT_FALSE(widget->isEnabled()) << widget->objectName().toStdString();
    warning->setChecked(true);
    after->setChecked(true);
    every->setChecked(false);
    EXPECT_TRUE(afterSeconds->isEnabled());
    EXPECT_FALSE(everySeconds->isEnabled());
    every->setChecked(true);
    everySeconds->setText(u"0"_s);
    EXPECT_FALSE(ok());
    EXPECT_EQ(messages.texts, QStringList{StringTable::text(609)});
    EXPECT_EQ(sheet->focusWidget(), everySeconds);
    everySeconds->setText(u"20"_s);
    ASSERT_TRUE(AudioFixtures::writeFile(env.root() + u"beep.wav"_s, "RIFF"));
    control<QLineEdit>(advanced, 1173)->setText(env.root() + u"beep.wav"_s);
    ASSERT_TRUE(ok());
    EXPECT_EQ(stored(u"SegnaleAcusticoInviaOgni"_s), u"1");
    EXPECT_EQ(stored(u"SegnaleAcusticoInviaOgniValore"_s), u"20");
}

TEST_F(OptionsSheetTest, TheFolderMustExistAndIsStoredWithOneTrailingSeparator)
{
    const QString chosen = env.root() + u"calls"_s;
    ASSERT_TRUE(QDir().mkpath(chosen));
    open(true);
    auto* folder = control<QLineEdit>(advanced, 1134);
    const QString before = stored(u"WorkDir"_s);
    for (const QString& refused : {env.root() + u"missing"_s, u"calls"_s, QString()}) {
        folder->setText(refused);
        EXPECT_FALSE(ok()) << refused.toStdString();
        EXPECT_EQ(messages.texts, QStringList{StringTable::text(142)});
        EXPECT_EQ(sheet->focusWidget(), folder);
        EXPECT_EQ(stored(u"WorkDir"_s), before);
    }
    folder->setText(chosen + u"//"_s);
    ASSERT_TRUE(ok());
    EXPECT_EQ(stored(u"WorkDir"_s), chosen + u'/');
}

TEST_F(OptionsSheetTest, TheFolderChooserStartsInTheFieldsFolderAndEndsAnyRealignment)
{
    const QString chosen = env.root() + u"calls"_s;
    ASSERT_TRUE(QDir().mkpath(chosen + u"/inner"_s));
    set({u"Riallinea=1"_s});
    open(true);
    control<QLineEdit>(advanced, 1134)->setText(chosen);
    QString startedIn;
    answerWhenShown<QFileDialog>([&](QFileDialog& dialog) {
        startedIn = dialog.directory().absolutePath();
        dialog.findChild<QLineEdit*>(u"fileNameEdit"_s)->setText(chosen + u"/inner"_s);
        QMetaObject::invokeMethod(&dialog, "accept");
    });
    control<QPushButton>(advanced, 1135)->click();
    EXPECT_EQ(startedIn, chosen);
    EXPECT_EQ(control<QLineEdit>(advanced, 1134)->text(), chosen + u"/inner"_s);
    EXPECT_EQ(stored(u"Riallinea"_s), u"0");
}

TEST_F(OptionsSheetTest, TheWarningChooserAsksAgainUntilASoundOfAnAcceptedKindIsChosen)
{
    const QString wrong = env.root() + u"tune.ogg"_s;
    const QString right = env.root() + u"tune.WAV"_s;
    ASSERT_TRUE(AudioFixtures::writeFile(wrong, "OggS"));
    ASSERT_TRUE(AudioFixtures::writeFile(right, "RIFF"));
    open(true);
    messages.clear();
    control<QCheckBox>(advanced, 1172)->setChecked(true);
    const auto choose = [](const QString& file) {
        return [file](QFileDialog& dialog) {
            // Typed, as selectFile() leaves alone the name field that has the focus.
            dialog.findChild<QLineEdit*>(u"fileNameEdit"_s)->setText(file);
            QMetaObject::invokeMethod(&dialog, "accept");
        };
    };
    answerWhenShown<QFileDialog>([&](QFileDialog& dialog) {
        choose(wrong)(dialog);
        answerWhenShown<QFileDialog>(choose(right));
    });
    control<QPushButton>(advanced, 1139)->click();
    EXPECT_EQ(messages.texts, QStringList{StringTable::text(296)});
    EXPECT_EQ(control<QLineEdit>(advanced, 1173)->text(), right);
}

TEST_F(OptionsSheetTest, LaunchOnLogOnWritesAndRemovesTheAutostartEntry)
{
    open(true);
    control<QCheckBox>(advanced, 1107)->setChecked(true);
    ASSERT_TRUE(ok());
    EXPECT_EQ(Autostart::read(), std::optional<QString>(u"/opt/parlune/parlune"_s));
    open(true);
    EXPECT_TRUE(control<QCheckBox>(advanced, 1107)->isChecked());
    control<QCheckBox>(advanced, 1107)->setChecked(false);
    ASSERT_TRUE(ok());
    EXPECT_FALSE(Autostart::read().has_value());
    EXPECT_FALSE(QFileInfo::exists(Autostart::entryFile()));
}

} // namespace
