#pragma once

#include <QString>

#include <optional>

/// Every value of the settings file, typed. SettingsTable says which value fills which field;
/// SettingsStore reads and writes them. A default-constructed record holds the values a window
/// keeps when it cannot open its settings at all (empty texts, zeros, false); the defaults of
/// missing values come from the table (SettingsStore::defaults()). Plain values; each owner
/// keeps its own copy.
struct Settings {
    QString workingFolder;  ///< WorkDir; ends with "/" once the start-up has checked it
    int silenceSeconds = 0; ///< TempoAttesaRegAuto: silence that ends an auto-recording
    bool startInTray = false;
    bool singleFile = false; ///< the calls of an armed period go into one recording
    int threshold = 0;       ///< auto-recording level threshold, 0..32767
    bool askConfirmation = false;
    bool startArmed = false;
    bool antiBump = false; ///< discard auto-recordings whose voice lasted too short
    bool warningEnabled = false;
    bool warningAfter = false;
    int warningAfterSeconds = 0;
    bool warningEvery = false;
    int warningEverySeconds = 0;
    QString warningFile;
    std::optional<int> recordingVolume; ///< nullopt: none stored yet
    bool alternativePlaying = false;
    QString operatorName;
    bool firstRun = false;
    bool sendDisabled = false;
    bool noMicSelect = false; ///< leave the recording source as it is
    bool indexDisabled = false;
    int recordingDevice = 0;
    int playbackDevice = 0;
    bool realign = false;    ///< a lost working folder waits to be taken back
    QString folderToRealign; ///< that folder, ending with "/"
    /// Calls made in a program on this computer: the monitor of the play device is mixed
    /// with the microphone, so both sides are recorded.
    bool bothSides = false;
    /// While armed, another program opening the microphone starts a recording at once.
    bool startOnMicrophoneOpen = false;
    int preRollSeconds = 0; ///< audio kept before each auto-recording's start, 0..5 s
    /// Programs whose microphone streams never start a recording, separated by commas.
    QString ignoredPrograms;
};
