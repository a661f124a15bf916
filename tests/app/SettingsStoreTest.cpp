#include "app/SettingsStore.h"
#include "tests/support/TestEnvironment.h"

#include <gtest/gtest.h>

#include <functional>
#include <type_traits>

namespace {

// A field shown as text, so that every case compares the same way.
template <typename T> QString shown(const T& value)
{
    if constexpr (std::is_same_v<T, bool>)
        return value ? QStringLiteral("on") : QStringLiteral("off");
    else if constexpr (std::is_same_v<T, int>)
        return QString::number(value);
    else if constexpr (std::is_same_v<T, std::optional<int>>)
        return value ? QString::number(*value) : QStringLiteral("none");
    else
        return value;
}

template <typename T> std::function<QString(const Settings&)> field(T Settings::*member)
{
    return [member](const Settings& settings) { return shown(settings.*member); };
}

struct Case {
    QString name;
    std::function<QString(const Settings&)> field;
    QString missing;     ///< the field when the value is missing
    QString stored;      ///< a text stored by hand...
    QString storedReads; ///< ...and its field
    QString bad;         ///< an odd text (too long, no number, past int)...
    QString badReads;    ///< ...and its field
};

} // namespace

TEST(SettingsStoreTest, EveryValueReadsAndWritesAsTheTableSays)
{
    TestEnvironment env;
    const QString program = env.programFolder();
    const QString fallback = env.dataFolder() + QStringLiteral("Recordings/");
    const Case cases[] = {
        {"WorkDir", field(&Settings::workingFolder), fallback, "/calls/", "/calls/", "", ""},
        {"TempoAttesaRegAuto", field(&Settings::silenceSeconds), "10", "30", "30", " 7s", "7"},
        {"AvvioTaskBar", field(&Settings::startInTray), "off", "1", "on", "1x", "off"},
        {"RegAutoSalvaUnicoFile", field(&Settings::singleFile), "off", "1", "on", "11", "off"},
        {"SogliaAttivazioneRegAuto", field(&Settings::threshold), "15000", "3000", "3000",
         "1234567", "15000"},
        {"ChiediConfermaAutoRec", field(&Settings::askConfirmation), "off", "1", "on", "1x", "on"},
        {"AvviaInAutoReg", field(&Settings::startArmed), "off", "1", "on", "01", "off"},
        {"AntiBump", field(&Settings::antiBump), "on", "0", "off", "", "off"},
        {"AbilitaSegnaleAcustico", field(&Settings::warningEnabled), "off", "1", "on", "yes",
         "off"},
        {"SegnaleAcusticoInviaDopo", field(&Settings::warningAfter), "on", "0", "off", "x", "off"},
        {"SegnaleAcusticoInviaDopoValore", field(&Settings::warningAfterSeconds), "15", "20", "20",
         "12345", "15"},
        {"SegnaleAcusticoInviaOgni", field(&Settings::warningEvery), "off", "1", "on", "10", "on"},
        {"SegnaleAcusticoInviaOgniValore", field(&Settings::warningEverySeconds), "10", "1234",
         "1234", "ab", "0"},
        {"SegnaleAcusticoFile", field(&Settings::warningFile), program + "Beep1.wav", "/s/bell.mp3",
         "/s/bell.mp3", "", ""},
        {"VolumeRegistrazione", field(&Settings::recordingVolume), "none", "32768", "32768", "abc",
         "0"},
        {"PlayAlternativo", field(&Settings::alternativePlaying), "off", "1", "on", "1xxxxxxxxx",
         "off"},
        {"Operatore", field(&Settings::operatorName), "", "Desk 4", "Desk 4", " ", " "},
        {"PrimoLancio", field(&Settings::firstRun), "on", "0", "off", "", "off"},
        {"NoSend", field(&Settings::sendDisabled), "off", "1", "on", "2", "off"},
        {"NoMicSelect", field(&Settings::noMicSelect), "off", "1", "on", "0", "off"},
        {"DisableIndex", field(&Settings::indexDisabled), "off", "1", "on", "10", "off"},
        {"IDDispositivoRegistrazione", field(&Settings::recordingDevice), "0", "2", "2",
         "-99999999999x", "-2147483648"},
        {"IDDispositivoRiproduzione", field(&Settings::playbackDevice), "0", "1", "1",
         "+99999999999", "2147483647"},
        {"Riallinea", field(&Settings::realign), "off", "1", "on", "1 ", "off"},
        {"CartellaDaRiallineare", field(&Settings::folderToRealign), "", "/lost/", "/lost/", "",
         ""},
        {"RecordBothSides", field(&Settings::bothSides), "off", "1", "on", "0", "off"},
        {"StartOnMicrophoneOpen", field(&Settings::startOnMicrophoneOpen), "off", "1", "on", "x",
         "off"},
        {"PreRollSeconds", field(&Settings::preRollSeconds), "1", "3", "3", "", "0"},
        {"IgnoredMicrophonePrograms", field(&Settings::ignoredPrograms), "", "Firefox, baresip",
         "Firefox, baresip", "", ""},
    };
    ASSERT_EQ(std::size(cases), SettingsTable::values().size()) << "a value without a case";

    const QString file = env.root() + QStringLiteral("settings/Parlune.conf");
    SettingsStore store(file, program, fallback);
    const Settings defaults = store.defaults();
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name.toStdString());
        ASSERT_NE(SettingsTable::find(c.name), nullptr);
        Settings settings;
        TestEnvironment::writeSettingsFile(file, {"@default=0"});
        ASSERT_TRUE(store.load(settings));
        EXPECT_EQ(c.field(settings), c.missing);
        EXPECT_EQ(c.field(defaults), c.missing);
        EXPECT_EQ(store.textRead(c.name), std::nullopt);

        TestEnvironment::writeSettingsFile(file, {c.name + u'=' + c.stored});
        ASSERT_TRUE(store.load(settings));
        EXPECT_EQ(c.field(settings), c.storedReads);
        EXPECT_EQ(store.textRead(c.name), c.stored);
        // What is saved reads back the same.
        TestEnvironment::writeSettingsFile(file, {"@default=0"});
        ASSERT_TRUE(store.save(settings, {c.name}));
        Settings saved;
        ASSERT_TRUE(store.load(saved));
        EXPECT_EQ(c.field(saved), c.storedReads);

        TestEnvironment::writeSettingsFile(file, {c.name + u'=' + c.bad});
        ASSERT_TRUE(store.load(settings));
        EXPECT_EQ(c.field(settings), c.badReads);
    }
}

TEST(SettingsStoreTest, AFileThatDoesNotOpenLeavesTheRecordAndCannotBeSaved)
{
    TestEnvironment env;
    SettingsStore store(env.root() + QStringLiteral("none.conf"), env.programFolder(),
                        env.dataFolder());
    Settings settings;
    settings.threshold = 1234;
    EXPECT_FALSE(store.load(settings));
    EXPECT_EQ(settings.threshold, 1234);
    EXPECT_FALSE(store.save(settings, {QStringLiteral("SogliaAttivazioneRegAuto")}));
}
