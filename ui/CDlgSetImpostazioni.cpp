#include "ui/CDlgSetImpostazioni.h"

#include "app/DiagnosticLog.h"
#include "app/SettingsNames.h"
#include "app/SettingsStore.h"
#include "app/SettingsTable.h"
#include "res/StringTable.h"
#include "ui/MessagePresenter.h"
#include "ui/WaitCursor.h"

#include <QCheckBox>
#include <QComboBox>
#include <QGridLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QSlider>
#include <QSpinBox>
#include <QVBoxLayout>

#include <algorithm>

namespace {

// The string of the server's default device: "Default (%s)".
constexpr int kDefaultDeviceString = 608;
// The seconds of audio an auto-recording may keep from before its start.
constexpr int kMaxPreRollSeconds = 5;

// The ignored programs as stored: names trimmed, empty ones dropped, one ", " between them.
QString programList(const QString& typed)
{
    QStringList names;
    for (const QString& name : typed.split(u',')) {
        if (!name.trimmed().isEmpty())
            names << name.trimmed();
    }
    return names.join(QStringLiteral(", "));
}

} // namespace

CDlgSetImpostazioni::CDlgSetImpostazioni(SettingsStore& store, MessagePresenter& messages,
                                         CControlloVolume::ServerFactory mixer, QWidget* parent)
    : OptionsPage(parent), m_store(store), m_messages(messages), m_microphone(std::move(mixer))
{
    setObjectName(QStringLiteral("109"));
    const WaitCursor wait;

    m_playDevices = named(new QComboBox(this), 1001);
    m_recordDevices = named(new QComboBox(this), 1002);
    // Long device names scroll in the list instead of widening the sheet.
    for (QComboBox* combo : {m_playDevices, m_recordDevices}) {
        combo->setSizeAdjustPolicy(QComboBox::AdjustToMinimumContentsLengthWithIcon);
        combo->setMinimumContentsLength(kDeviceNameLength);
    }
    m_volume = named(new QSlider(Qt::Horizontal, this), 1130);
    m_switches[0] = named(new QCheckBox(this), 1100);
    m_switches[1] = named(new QCheckBox(this), 1105);
    for (QCheckBox* box : m_switches)
        box->hide();
    m_singleFile = named(new QRadioButton(StringTable::text(185), this), 1077);
    m_separateFiles = named(new QRadioButton(StringTable::text(186), this), 1099);
    m_askConfirmation = named(new QCheckBox(StringTable::text(187), this), 1106);
    m_antiBump = named(new QCheckBox(StringTable::text(188), this), 1110);
    m_silence = secondsEdit(1101, this);
    m_threshold = named(new QSlider(Qt::Horizontal, this), 1104);
    m_threshold->setRange(kThresholdMin, kThresholdMax);
    m_threshold->setPageStep(1000);
    m_bothSides = named(new QCheckBox(StringTable::text(641), this), 1191);
    m_startOnMicrophoneOpen = named(new QCheckBox(StringTable::text(642), this), 1192);
    m_ignoredCaption = caption(1193, 643, this);
    m_ignoredPrograms = named(new QLineEdit(this), 1194);
    // Three bytes a character at most: whatever is typed fits the settings file whole.
    if (const auto* value = SettingsTable::find(SettingsNames::IgnoredMicrophonePrograms))
        m_ignoredPrograms->setMaxLength((value->buffer - 1) / 3);
    m_ignoredCaption->setBuddy(m_ignoredPrograms);
    auto* preRollCaption = caption(1195, 644, this);
    m_preRoll = named(new QSpinBox(this), 1196);
    m_preRoll->setRange(0, kMaxPreRollSeconds);
    preRollCaption->setBuddy(m_preRoll);
    auto* defaults = named(new QPushButton(StringTable::text(197), this), 1136);
    defaults->setAutoDefault(false);

    auto* play = named(new QGroupBox(StringTable::text(442), this), 1154);
    auto* playLayout = new QHBoxLayout(play);
    playLayout->addWidget(caption(1004, 440, play));
    playLayout->addWidget(m_playDevices, 1);

    auto* rec = named(new QGroupBox(StringTable::text(441), this), 1151);
    auto* recLayout = new QGridLayout(rec);
    recLayout->addWidget(caption(1003, 439, rec), 0, 0);
    recLayout->addWidget(m_recordDevices, 0, 1, 1, 3);
    recLayout->addWidget(caption(1005, 443, rec), 1, 0);
    recLayout->addWidget(caption(1152, 333, rec), 1, 1);
    recLayout->addWidget(m_volume, 1, 2);
    recLayout->addWidget(caption(1153, 334, rec), 1, 3);
    recLayout->addWidget(m_switches[0], 2, 1, 1, 3);
    recLayout->addWidget(m_switches[1], 3, 1, 1, 3);
    recLayout->setColumnStretch(2, 1);

    auto* autoRec = named(new QGroupBox(StringTable::text(184), this), 1143);
    auto* autoLayout = new QVBoxLayout(autoRec);
    autoLayout->addWidget(m_singleFile);
    autoLayout->addWidget(m_separateFiles);
    auto* indented = new QVBoxLayout;
    indented->setContentsMargins(20, 0, 0, 0);
    indented->addWidget(m_askConfirmation);
    indented->addWidget(m_antiBump);
    autoLayout->addLayout(indented);
    auto* silenceRow = new QHBoxLayout;
    silenceRow->addWidget(caption(1102, 200, autoRec));
    silenceRow->addWidget(m_silence);
    silenceRow->addWidget(caption(1103, 201, autoRec));
    silenceRow->addStretch(1);
    autoLayout->addLayout(silenceRow);
    autoLayout->addWidget(caption(1145, 193, autoRec));
    auto* thresholdRow = new QHBoxLayout;
    // The low end of the threshold hears the softest voice: it is the high sensitivity.
    thresholdRow->addWidget(caption(1146, 194, autoRec));
    thresholdRow->addWidget(m_threshold, 1);
    thresholdRow->addWidget(caption(1147, 195, autoRec));
    autoLayout->addLayout(thresholdRow);

    auto* calls = named(new QGroupBox(StringTable::text(640), this), 1190);
    auto* callsLayout = new QVBoxLayout(calls);
    callsLayout->addWidget(m_bothSides);
    callsLayout->addWidget(m_startOnMicrophoneOpen);
    auto* ignoredRow = new QHBoxLayout;
    ignoredRow->setContentsMargins(20, 0, 0, 0);
    ignoredRow->addWidget(m_ignoredCaption);
    ignoredRow->addWidget(m_ignoredPrograms, 1);
    callsLayout->addLayout(ignoredRow);
    auto* preRollRow = new QHBoxLayout;
    preRollRow->addWidget(preRollCaption);
    preRollRow->addWidget(m_preRoll);
    preRollRow->addWidget(caption(1197, 645, calls));
    preRollRow->addStretch(1);
    callsLayout->addLayout(preRollRow);

    auto* layout = new QVBoxLayout(this);
    layout->addWidget(play);
    layout->addWidget(rec);
    layout->addWidget(autoRec);
    layout->addWidget(calls);
    auto* buttonRow = new QHBoxLayout;
    buttonRow->addStretch(1);
    buttonRow->addWidget(defaults);
    layout->addLayout(buttonRow);
    layout->addStretch(1);

    connect(m_singleFile, &QRadioButton::toggled, this, &CDlgSetImpostazioni::updateEnabling);
    connect(m_startOnMicrophoneOpen, &QCheckBox::toggled, this,
            &CDlgSetImpostazioni::updateEnabling);
    connect(defaults, &QPushButton::clicked, this, &CDlgSetImpostazioni::restoreDefaults);
    connect(m_volume, &QSlider::sliderReleased, this, [this] {
        if (m_microphone.IsOpen())
            m_microphone.SetVolume(static_cast<uint32_t>(std::max(0, m_volume->value())));
    });
    // Keys and clicks on the groove move the slider without a release.
    connect(m_volume, &QSlider::actionTriggered, this, [this](int action) {
        if (action != QAbstractSlider::SliderMove && m_microphone.IsOpen())
            QMetaObject::invokeMethod(
                this,
                [this] {
                    m_microphone.SetVolume(static_cast<uint32_t>(std::max(0, m_volume->value())));
                },
                Qt::QueuedConnection);
    });

    Settings stored = m_store.defaults();
    m_keyOpened = m_store.load(stored);
    if (!m_keyOpened) {
        m_messages.showMessage(this, StringTable::text(54), StringTable::caption(),
                               MessagePresenter::Icon::Error);
        m_volume->setEnabled(false);
        return;
    }
    m_settings = stored;
    m_silence->setText(QString::number(m_settings.silenceSeconds));
    (m_settings.singleFile ? m_singleFile : m_separateFiles)->setChecked(true);
    m_threshold->setValue(m_settings.threshold);
    m_askConfirmation->setChecked(m_settings.askConfirmation);
    m_antiBump->setChecked(m_settings.antiBump);
    m_bothSides->setChecked(m_settings.bothSides);
    m_startOnMicrophoneOpen->setChecked(m_settings.startOnMicrophoneOpen);
    m_ignoredPrograms->setText(m_settings.ignoredPrograms);
    m_preRoll->setValue(m_settings.preRollSeconds);
    updateEnabling();

    WriteLog(QStringLiteral("[DLGIMP]:DispositivoRegistrazione: %1, DispositivoRiproduzione: %2")
                 .arg(m_settings.recordingDevice)
                 .arg(m_settings.playbackDevice));
    fillDevices(m_playDevices, m_microphone.deviceNames(false), m_settings.playbackDevice,
                QStringLiteral("[DLGIMP]:ItemSelRip %1"));
    fillDevices(m_recordDevices, m_microphone.deviceNames(true), m_settings.recordingDevice,
                QStringLiteral("[DLGIMP]:ItemSelReg %1"));
    openMicrophone();
}

CDlgSetImpostazioni::~CDlgSetImpostazioni()
{
    closeMixer();
}

QString CDlgSetImpostazioni::title() const
{
    return StringTable::text(410);
}

QString CDlgSetImpostazioni::shownDeviceName(const QString& description)
{
    // A name this long was cut short: the dots say so.
    if (description.size() < kDeviceNameLength)
        return description;
    return description.left(kDeviceNameLength) + QStringLiteral("...");
}

void CDlgSetImpostazioni::fillDevices(QComboBox* combo, const QStringList& names, int stored,
                                      const QString& selectionLog)
{
    combo->clear();
    WriteLog(QStringLiteral("[DLGIMP]:mixerGetNumDevs: %1").arg(names.size()));
    for (int device = 0; device < names.size(); ++device) {
        const QString name = shownDeviceName(names[device]);
        WriteLog(QStringLiteral("[DLGIMP]:Device %1: %2").arg(device).arg(name));
        // Device 0 is whatever the desktop chooses as default, now and later.
        combo->addItem(device == 0 ? StringTable::text(kDefaultDeviceString, {name}) : name,
                       device);
        if (device == stored) {
            combo->setCurrentIndex(device);
            WriteLog(selectionLog.arg(device));
        }
    }
    if (stored < 0 || stored >= names.size())
        combo->setCurrentIndex(names.isEmpty() ? -1 : 0);
}

void CDlgSetImpostazioni::openMicrophone()
{
    m_microphone.LoggaAlberoMixer(false);
    const auto unavailable = [this](const QString& log) {
        WriteLog(log);
        m_messages.showMessage(this, StringTable::text(75), StringTable::caption(),
                               MessagePresenter::Icon::Information);
    };
    if (!m_microphone.Open(this, true, CControlloVolume::ComponentSrcMicrophone, 0,
                           m_settings.recordingDevice)) {
        unavailable(QStringLiteral("[DLGIMP]:ErroreAudioMicrofonoIn "));
        m_microphone.Close();
        m_volume->setEnabled(false);
        return;
    }
    if (!m_settings.noMicSelect && !m_microphone.AbilitaDisabilitaSulMixer(true))
        unavailable(QStringLiteral("[DLGIMP]:ErroreAudioMicrofonoIn:AbilitaDisabilitaSulMixer"));
    uint32_t current = 0;
    const bool currentRead = m_microphone.GetCurrentVolume(current);
    if (!m_settings.recordingVolume) {
        // The microphone's own volume is the user's choice until one is stored: it is kept.
        if (!currentRead) {
            m_volume->setEnabled(false);
            return;
        }
        m_settings.recordingVolume = int(current);
        m_store.save(m_settings, {SettingsNames::VolumeRegistrazione});
    }
    const auto volume = static_cast<uint32_t>(std::max(0, *m_settings.recordingVolume));
    m_microphone.SetVolume(volume);
    m_openingVolume = volume;
    m_volume->setRange(int(m_microphone.GetMin()), int(m_microphone.GetMax()));
    m_volume->setPageStep(int(m_microphone.GetMax() / 16));
    m_volume->setValue(int(volume));
}

void CDlgSetImpostazioni::updateEnabling()
{
    const bool separate = !m_singleFile->isChecked();
    m_askConfirmation->setEnabled(separate);
    m_antiBump->setEnabled(separate);
    const bool onOpen = m_startOnMicrophoneOpen->isChecked();
    m_ignoredCaption->setEnabled(onOpen);
    m_ignoredPrograms->setEnabled(onOpen);
}

void CDlgSetImpostazioni::restoreDefaults()
{
    m_silence->setText(StringTable::text(137));
    m_antiBump->setChecked(StringTable::text(141).startsWith(u'1'));
    m_askConfirmation->setChecked(StringTable::text(139).startsWith(u'1'));
    m_threshold->setValue(StringTable::text(140).toInt());
    m_separateFiles->setChecked(true);
    // What a first start creates.
    const Settings initial = m_store.defaults();
    m_bothSides->setChecked(initial.bothSides);
    m_startOnMicrophoneOpen->setChecked(initial.startOnMicrophoneOpen);
    m_ignoredPrograms->setText(initial.ignoredPrograms);
    m_preRoll->setValue(initial.preRollSeconds);
    updateEnabling();
}

bool CDlgSetImpostazioni::commit()
{
    if (m_silence->text().isEmpty()) {
        Q_EMIT refusing();
        m_messages.showMessage(this, StringTable::text(56), StringTable::caption(),
                               MessagePresenter::Icon::Warning);
        m_silence->setFocus();
        return false;
    }
    Settings values = m_settings;
    if (!m_store.load(values)) {
        m_messages.showMessage(this, StringTable::text(54), StringTable::caption(),
                               MessagePresenter::Icon::Error);
        return false;
    }
    if (m_playDevices->currentIndex() >= 0)
        values.playbackDevice = m_playDevices->currentData().toInt();
    if (m_recordDevices->currentIndex() >= 0)
        values.recordingDevice = m_recordDevices->currentData().toInt();
    values.silenceSeconds = m_silence->text().toInt();
    values.singleFile = m_singleFile->isChecked();
    values.threshold = m_threshold->value();
    // Greyed switches do not apply to one file for all calls, and are stored off.
    values.askConfirmation = m_askConfirmation->isEnabled() && m_askConfirmation->isChecked();
    values.antiBump = m_antiBump->isEnabled() && m_antiBump->isChecked();
    values.bothSides = m_bothSides->isChecked();
    values.startOnMicrophoneOpen = m_startOnMicrophoneOpen->isChecked();
    // Kept while greyed, so that switching the start back on finds the list again.
    values.ignoredPrograms = programList(m_ignoredPrograms->text());
    values.preRollSeconds = m_preRoll->value();
    QStringList names{SettingsNames::IDDispositivoRiproduzione,
                      SettingsNames::IDDispositivoRegistrazione,
                      SettingsNames::TempoAttesaRegAuto,
                      SettingsNames::RegAutoSalvaUnicoFile,
                      SettingsNames::SogliaAttivazioneRegAuto,
                      SettingsNames::ChiediConfermaAutoRec,
                      SettingsNames::AntiBump};
    uint32_t volume = 0;
    // Without the line the volume cannot be read: the stored one stays.
    if (m_microphone.IsOpen() && m_microphone.GetCurrentVolume(volume)) {
        values.recordingVolume = int(volume);
        names << SettingsNames::VolumeRegistrazione;
    }
    names << SettingsNames::RecordBothSides << SettingsNames::StartOnMicrophoneOpen
          << SettingsNames::IgnoredMicrophonePrograms << SettingsNames::PreRollSeconds;
    if (!m_store.save(values, names)) {
        m_messages.showMessage(this, StringTable::text(54), StringTable::caption(),
                               MessagePresenter::Icon::Error);
        return false;
    }
    m_settings = values;
    m_openingVolume.reset();
    closeMixer();
    return true;
}

void CDlgSetImpostazioni::cancel()
{
    // The slider set the volume live; nothing was stored, so the microphone gets back the
    // volume it had when the page opened.
    if (m_openingVolume && m_microphone.IsOpen())
        m_microphone.SetVolume(*m_openingVolume);
    m_openingVolume.reset();
    closeMixer();
}

void CDlgSetImpostazioni::closeMixer()
{
    if (m_microphone.IsOpen())
        m_microphone.Close();
}
