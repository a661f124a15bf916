#pragma once

#include "app/Settings.h"
#include "audio/CControlloVolume.h"
#include "ui/OptionsPage.h"

#include <QString>
#include <QStringList>

class MessagePresenter;
class QAbstractButton;
class QCheckBox;
class QComboBox;
class QLabel;
class QLineEdit;
class QRadioButton;
class QSlider;
class QSpinBox;
class SettingsStore;

/// The General page of the Options sheet: the play and record devices, the microphone's
/// recording volume and the auto-recording values (single file or separate files, confirmation,
/// anti-bump, seconds of silence, threshold) and the calls made on this computer (both sides,
/// start on the microphone's opening, the programs ignored then, seconds kept before a call).
/// Controls are named after their numbers ("1001").
///
/// The recording volume follows its slider at once, through the page's own connection to the
/// microphone recording line; OK stores the volume the line then has. When the line cannot be
/// opened the slider stays unset and OK keeps the stored volume. UI thread only; the page
/// blocks briefly while it asks the audio server for its devices.
class CDlgSetImpostazioni : public OptionsPage {
    Q_OBJECT

public:
    /// Longest device name the combos show whole; a name of this length or more is cut and
    /// shown with "...".
    static constexpr int kDeviceNameLength = 31;
    /// The threshold slider's range.
    static constexpr int kThresholdMin = 100;
    static constexpr int kThresholdMax = 32767;

    /// Reads the page's values from `store` (string 54 when the file cannot be opened) and the
    /// devices and microphone through `mixer` (empty = the audio server). `store` and
    /// `messages` outlive the page.
    CDlgSetImpostazioni(SettingsStore& store, MessagePresenter& messages,
                        CControlloVolume::ServerFactory mixer = {}, QWidget* parent = nullptr);
    ~CDlgSetImpostazioni() override;

    QString title() const override;
    bool commit() override;
    void cancel() override;

    /// A device's name as the combos show it.
    static QString shownDeviceName(const QString& description);
    /// "Default"-button values: 15 s, separate files, anti-bump on, no confirmation, 15000;
    /// one side only, no start on the microphone's opening, no program ignored, 1 s kept.
    void restoreDefaults();

private:
    void fillDevices(QComboBox* combo, const QStringList& names, int stored,
                     const QString& selectionLog);
    void openMicrophone();
    void updateEnabling();
    void closeMixer();

    SettingsStore& m_store;
    MessagePresenter& m_messages;
    CControlloVolume m_microphone;
    Settings m_settings;
    bool m_keyOpened = false;
    /// The volume the line had when the page set it, put back on Cancel.
    std::optional<uint32_t> m_openingVolume;

    QComboBox* m_playDevices = nullptr;
    QComboBox* m_recordDevices = nullptr;
    QSlider* m_volume = nullptr;
    QCheckBox* m_switches[2] = {nullptr, nullptr};
    QRadioButton* m_singleFile = nullptr;
    QRadioButton* m_separateFiles = nullptr;
    QCheckBox* m_askConfirmation = nullptr;
    QCheckBox* m_antiBump = nullptr;
    QLineEdit* m_silence = nullptr;
    QSlider* m_threshold = nullptr;
    QCheckBox* m_bothSides = nullptr;
    QCheckBox* m_startOnMicrophoneOpen = nullptr;
    QLabel* m_ignoredCaption = nullptr;
    QLineEdit* m_ignoredPrograms = nullptr;
    QSpinBox* m_preRoll = nullptr;
};
