#pragma once

#include <QString>

/// The names of the settings values, as they stand in the settings file.
namespace SettingsNames {

inline const QString AvvioTaskBar = QStringLiteral("AvvioTaskBar");
inline const QString TempoAttesaRegAuto = QStringLiteral("TempoAttesaRegAuto");
inline const QString RegAutoSalvaUnicoFile = QStringLiteral("RegAutoSalvaUnicoFile");
inline const QString SogliaAttivazioneRegAuto = QStringLiteral("SogliaAttivazioneRegAuto");
inline const QString ChiediConfermaAutoRec = QStringLiteral("ChiediConfermaAutoRec");
inline const QString AvviaInAutoReg = QStringLiteral("AvviaInAutoReg");
inline const QString AntiBump = QStringLiteral("AntiBump");
inline const QString WorkDir = QStringLiteral("WorkDir");
inline const QString AbilitaSegnaleAcustico = QStringLiteral("AbilitaSegnaleAcustico");
inline const QString SegnaleAcusticoInviaDopo = QStringLiteral("SegnaleAcusticoInviaDopo");
inline const QString SegnaleAcusticoInviaDopoValore =
    QStringLiteral("SegnaleAcusticoInviaDopoValore");
inline const QString SegnaleAcusticoInviaOgni = QStringLiteral("SegnaleAcusticoInviaOgni");
inline const QString SegnaleAcusticoInviaOgniValore =
    QStringLiteral("SegnaleAcusticoInviaOgniValore");
inline const QString SegnaleAcusticoFile = QStringLiteral("SegnaleAcusticoFile");
inline const QString VolumeRegistrazione = QStringLiteral("VolumeRegistrazione");
inline const QString PlayAlternativo = QStringLiteral("PlayAlternativo");
inline const QString Operatore = QStringLiteral("Operatore");
inline const QString PrimoLancio = QStringLiteral("PrimoLancio");
inline const QString NoSend = QStringLiteral("NoSend");
inline const QString NoMicSelect = QStringLiteral("NoMicSelect");
inline const QString DisableIndex = QStringLiteral("DisableIndex");
inline const QString IDDispositivoRegistrazione = QStringLiteral("IDDispositivoRegistrazione");
inline const QString IDDispositivoRiproduzione = QStringLiteral("IDDispositivoRiproduzione");
inline const QString Riallinea = QStringLiteral("Riallinea");
inline const QString CartellaDaRiallineare = QStringLiteral("CartellaDaRiallineare");
inline const QString RecordBothSides = QStringLiteral("RecordBothSides");
inline const QString StartOnMicrophoneOpen = QStringLiteral("StartOnMicrophoneOpen");
inline const QString PreRollSeconds = QStringLiteral("PreRollSeconds");
inline const QString IgnoredMicrophonePrograms = QStringLiteral("IgnoredMicrophonePrograms");

} // namespace SettingsNames
