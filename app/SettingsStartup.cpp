#include "app/SettingsStartup.h"

#include "app/DiagnosticLog.h"
#include "app/SettingsNames.h"
#include "platform/FileOps.h"
#include "platform/SettingsKey.h"

#include <QDir>
#include <QFileInfo>

#include <limits>

using namespace SettingsNames;

namespace {

// Where the registry took a fixed buffer, a longer text reads as missing.
constexpr int kBuffer = 260;
constexpr int kThresholdBuffer = 7;
constexpr int kSecondsBuffer = 5;
constexpr int kPlayAlternativoBuffer = 10;

QString withSlash(QString path)
{
    if (!path.endsWith(u'/'))
        path += u'/';
    return path;
}

QString withoutSlash(QString path)
{
    while (path.size() > 1 && path.endsWith(u'/'))
        path.chop(1);
    return path;
}

QString flagText(bool on)
{
    return on ? QStringLiteral("1") : QStringLiteral("0");
}

} // namespace

SettingsStartup::SettingsStartup(QString userFile, QString machineFile, QString programFolder,
                                 QString dataFolder, MountTable mounts)
    : m_userFile(std::move(userFile)), m_machineFile(std::move(machineFile)),
      m_programFolder(std::move(programFolder)), m_dataFolder(std::move(dataFolder)),
      m_mounts(std::move(mounts))
{}

bool SettingsStartup::isUnreachable(const QString& folder) const
{
    // The fallback folder is the last resort: calling it lost would only point it at itself.
    if (withSlash(folder) == fallbackFolder())
        return false;
    const QString path = withoutSlash(folder);
    // The root and the kernel's own trees hold no user's recordings: an index, a lock file
    // and recovered audio would be written where they do not belong.
    const QString real = QFileInfo(path).canonicalFilePath();
    const auto under = [&](const QString& tree) {
        return real == tree || real.startsWith(tree + u'/');
    };
    if (real.isEmpty() || real == QStringLiteral("/") || under(QStringLiteral("/proc")) ||
        under(QStringLiteral("/sys")) || under(QStringLiteral("/dev")))
        return true;
    return !FileOps::canWriteIn(path) || !m_mounts.unmountedMountPoint(path).isEmpty();
}

QString SettingsStartup::usableWorkingFolder() const
{
    const QString fallback = fallbackFolder();
    const auto key = SettingsKey::open(m_userFile, SettingsKey::Access::Read);
    const auto stored = key ? key->read(WorkDir, kBuffer) : std::nullopt;
    if (!stored || !QDir::isAbsolutePath(*stored) || !QFileInfo(withoutSlash(*stored)).isDir() ||
        isUnreachable(*stored))
        return fallback;
    return withSlash(*stored);
}

QString SettingsStartup::fallbackFolder() const
{
    return m_dataFolder + QStringLiteral("Recordings/");
}

int SettingsStartup::toNumber(const QString& text)
{
    qsizetype i = 0;
    while (i < text.size() && (text[i] == u' ' || (text[i] >= u'\t' && text[i] <= u'\r')))
        ++i;
    bool negative = false;
    if (i < text.size() && (text[i] == u'-' || text[i] == u'+'))
        negative = text[i++] == u'-';
    long long value = 0;
    for (; i < text.size() && text[i] >= u'0' && text[i] <= u'9'; ++i) {
        value = value * 10 + (text[i].unicode() - u'0');
        if (value > std::numeric_limits<int>::max())
            return negative ? std::numeric_limits<int>::min() : std::numeric_limits<int>::max();
    }
    return static_cast<int>(negative ? -value : value);
}

void SettingsStartup::copyMachineToUser() const
{
    if (SettingsKey::open(m_userFile, SettingsKey::Access::ReadWrite))
        return;
    const auto machine = SettingsKey::open(m_machineFile, SettingsKey::Access::Read);
    if (!machine)
        return;
    const auto user = SettingsKey::create(m_userFile);
    if (!user)
        return;
    for (const QString& name : {WorkDir,
                                TempoAttesaRegAuto,
                                AvvioTaskBar,
                                RegAutoSalvaUnicoFile,
                                SogliaAttivazioneRegAuto,
                                ChiediConfermaAutoRec,
                                AvviaInAutoReg,
                                AntiBump,
                                AbilitaSegnaleAcustico,
                                SegnaleAcusticoInviaDopo,
                                SegnaleAcusticoInviaDopoValore,
                                SegnaleAcusticoInviaOgni,
                                SegnaleAcusticoInviaOgniValore,
                                SegnaleAcusticoFile,
                                VolumeRegistrazione,
                                PlayAlternativo,
                                Operatore,
                                PrimoLancio,
                                NoSend,
                                NoMicSelect,
                                DisableIndex}) {
        if (const auto text = machine->read(name, kBuffer))
            user->write(name, *text);
    }
    user->close();
}

void SettingsStartup::createDefaults() const
{
    if (SettingsKey::open(m_userFile, SettingsKey::Access::ReadWrite))
        return;
    const auto key = SettingsKey::create(m_userFile);
    if (!key)
        return;
    key->writeDefault(QStringLiteral("0"));
    key->write(AvvioTaskBar, QStringLiteral("0"));
    key->write(TempoAttesaRegAuto, QStringLiteral("15"));
    key->write(RegAutoSalvaUnicoFile, QStringLiteral("1"));
    key->write(SogliaAttivazioneRegAuto, QStringLiteral("15000"));
    key->write(ChiediConfermaAutoRec, QStringLiteral("0"));
    key->write(AvviaInAutoReg, QStringLiteral("1"));
    key->write(AntiBump, QStringLiteral("1"));
    key->write(WorkDir, fallbackFolder());
    key->write(AbilitaSegnaleAcustico, QStringLiteral("0"));
    key->write(SegnaleAcusticoInviaDopo, QStringLiteral("1"));
    key->write(SegnaleAcusticoInviaDopoValore, QStringLiteral("15"));
    key->write(SegnaleAcusticoInviaOgni, QStringLiteral("0"));
    key->write(SegnaleAcusticoInviaOgniValore, QStringLiteral("10"));
    key->write(SegnaleAcusticoFile, m_programFolder + QStringLiteral("Beep1.wav"));
    key->write(PlayAlternativo, QStringLiteral("0"));
    key->close();
}

QString SettingsStartup::resolveWorkingFolder(SettingsKey& key, StartupSettings& result) const
{
    const QString fallback = fallbackFolder();
    const auto stored = key.read(WorkDir, kBuffer);
    // An empty or relative folder names no place at all: it is never "lost", so it must not
    // start a realignment (which would later adopt whatever the text happens to resolve to).
    if (!stored || stored->isEmpty() || !QDir::isAbsolutePath(*stored)) {
        key.write(WorkDir, fallback);
        return fallback;
    }
    QString folder = withSlash(*stored);
    // The fallback folder is ours to make; it is only missing before the first recording.
    if (folder == fallback)
        QDir().mkpath(fallback);
    const QFileInfo info(withoutSlash(folder));
    if (!info.exists() || (info.isDir() && isUnreachable(folder))) {
        key.write(CartellaDaRiallineare, folder);
        key.write(WorkDir, fallback);
        key.write(Riallinea, QStringLiteral("1"));
        result.folderCheck = StartupSettings::FolderCheck::Lost;
        return fallback;
    }
    if (!info.isDir()) {
        folder = fallback;
        key.write(WorkDir, folder);
    }
    if (key.read(Riallinea, kBuffer) == QStringLiteral("1")) {
        const auto lost = key.read(CartellaDaRiallineare, kBuffer);
        if (lost && !lost->isEmpty() && QDir::isAbsolutePath(*lost)) {
            const QFileInfo back(withoutSlash(*lost));
            if (back.isDir() && !isUnreachable(*lost)) {
                result.folderCheck = StartupSettings::FolderCheck::Back;
                result.realignmentPending = true;
                folder = withSlash(*lost);
                key.write(WorkDir, folder);
                key.write(Riallinea, QStringLiteral("0"));
            }
        }
    }
    return folder;
}

StartupSettings SettingsStartup::read() const
{
    StartupSettings result;
    const auto key = SettingsKey::open(m_userFile, SettingsKey::Access::ReadWrite);
    if (!key)
        return result;
    result.keyOpened = true;
    Settings& s = result.settings;
    WriteLog(QStringLiteral("Dump Impostazioni:"));

    s.workingFolder = resolveWorkingFolder(*key, result);
    WriteLog(QStringLiteral("-->WorkDir:") + s.workingFolder);
    QDir().mkpath(s.workingFolder);

    s.silenceSecondsText = key->read(TempoAttesaRegAuto, kBuffer).value_or(QStringLiteral("10"));
    WriteLog(QStringLiteral("-->TempoSilenzio:") + s.silenceSecondsText);

    s.startModeText = key->read(AvvioTaskBar, kBuffer).value_or(QStringLiteral("0"));
    result.trayMode = s.startModeText == QStringLiteral("1") ? 2 : 0;
    WriteLog(QStringLiteral("-->ModAvvio:") + s.startModeText);

    s.singleFileText = key->read(RegAutoSalvaUnicoFile, kBuffer).value_or(QStringLiteral("0"));
    WriteLog(QStringLiteral("-->ModSalvataggio:") + s.singleFileText);

    s.thresholdText =
        key->read(SogliaAttivazioneRegAuto, kThresholdBuffer).value_or(QStringLiteral("15000"));
    result.threshold = toNumber(s.thresholdText);
    WriteLog(QStringLiteral("-->SglAttivazione:") + s.thresholdText);

    const auto flag = [&](const QString& name, bool missing) {
        const auto text = key->read(name, kBuffer);
        return text ? toFlag(*text) : missing;
    };
    s.askConfirmation = flag(ChiediConfermaAutoRec, false);
    WriteLog(QStringLiteral("-->ChiediConfermaInRegAuto:") + flagText(s.askConfirmation));
    s.startArmed = flag(AvviaInAutoReg, false);
    WriteLog(QStringLiteral("-->AvviaInAutoReg:") + flagText(s.startArmed));
    result.antiBump = flag(AntiBump, true);
    WriteLog(QStringLiteral("-->AbilitaAntiBump:") + flagText(result.antiBump));

    s.warningEnabled = flag(AbilitaSegnaleAcustico, false);
    s.warningAfter = flag(SegnaleAcusticoInviaDopo, true);
    s.warningAfterSeconds = 15;
    if (const auto text = key->read(SegnaleAcusticoInviaDopoValore, kSecondsBuffer)) {
        WriteLog(QStringLiteral("-->SegnaleAcusticoDopo:") + *text);
        s.warningAfterSeconds = toNumber(*text);
    }
    s.warningEvery = flag(SegnaleAcusticoInviaOgni, false);
    WriteLog(QStringLiteral("-->AbilitaSegnaleAcusticoOgni:") + flagText(s.warningEvery));
    s.warningEverySeconds = 10;
    if (const auto text = key->read(SegnaleAcusticoInviaOgniValore, kSecondsBuffer)) {
        WriteLog(QStringLiteral("-->SegnaleAcusticoOgni:") + *text);
        s.warningEverySeconds = toNumber(*text);
    }
    s.warningFile = key->read(SegnaleAcusticoFile, kBuffer)
                        .value_or(m_programFolder + QStringLiteral("Beep1.wav"));
    WriteLog(QStringLiteral("-->PathSegnaleAcustico:") + s.warningFile);

    if (const auto text = key->read(VolumeRegistrazione, kBuffer)) {
        result.recordingVolume = toNumber(*text);
        result.recordingVolumeStored = true;
        WriteLog(QStringLiteral("-->VolumeRec:") + *text);
    } else {
        // Nothing is made up here: the window stores the microphone's own volume once read.
        WriteLog(QStringLiteral("-->VolumeRec:"));
    }

    const auto alternative = key->read(PlayAlternativo, kPlayAlternativoBuffer);
    s.alternativePlaying = alternative && toFlag(*alternative);
    WriteLog(QStringLiteral("-->PlayAlternativo:") + flagText(s.alternativePlaying));
    s.operatorName = key->read(Operatore, kBuffer).value_or(QString());
    WriteLog(QStringLiteral("-->Operatore:") + s.operatorName);

    const auto firstRun = key->read(PrimoLancio, kBuffer);
    s.firstRun = !firstRun || toFlag(*firstRun);
    key->write(PrimoLancio, QStringLiteral("0"));

    const auto noSend = key->read(NoSend, kBuffer);
    s.sendDisabled = noSend && toFlag(*noSend);
    WriteLog(QStringLiteral("-->SendDisabilitato:") + flagText(s.sendDisabled));

    const QString noMicSelect = key->read(NoMicSelect, kBuffer).value_or(QStringLiteral("0"));
    result.selectMicrophone = !toFlag(noMicSelect);
    WriteLog(QStringLiteral("-->NoMicSelect:") + noMicSelect);

    result.recordingDevice =
        toNumber(key->read(IDDispositivoRegistrazione, kBuffer).value_or(QString()));
    result.playbackDevice =
        toNumber(key->read(IDDispositivoRiproduzione, kBuffer).value_or(QString()));
    key->close();
    return result;
}
