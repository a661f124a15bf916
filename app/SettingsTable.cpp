#include "app/SettingsTable.h"

#include "app/SettingsNames.h"

#include <limits>

using namespace Qt::Literals::StringLiterals;

const std::vector<SettingsTable::Value>& SettingsTable::values()
{
    using K = Value::Kind;
    using B = Value::Base;
    using D = Value::Dump;
    using namespace SettingsNames;
    const std::nullopt_t no = std::nullopt;
    // Some values were always read into small buffers; a longer text reads as missing: 7 bytes for
    // the threshold, 5 for the warning seconds, 10 for PlayAlternativo, 2 for DisableIndex.
    static const std::vector<Value> table = {
        // name, kind, field, buffer, missing, created, creation step, base, copied, dump
        {WorkDir, K::Text, &Settings::workingFolder, 260, u""_s, u""_s, 8, B::FallbackFolder, true,
         u"-->WorkDir:"_s, D::Field},
        {TempoAttesaRegAuto, K::Number, &Settings::silenceSeconds, 260, u"10"_s, u"15"_s, 2,
         B::None, true, u"-->TempoSilenzio:"_s, D::TextRead},
        {AvvioTaskBar, K::Switch, &Settings::startInTray, 260, u"0"_s, u"0"_s, 1, B::None, true,
         u"-->ModAvvio:"_s, D::TextRead},
        {RegAutoSalvaUnicoFile, K::Switch, &Settings::singleFile, 260, u"0"_s, u"1"_s, 3, B::None,
         true, u"-->ModSalvataggio:"_s, D::TextRead},
        {SogliaAttivazioneRegAuto, K::Number, &Settings::threshold, 7, u"15000"_s, u"15000"_s, 4,
         B::None, true, u"-->SglAttivazione:"_s, D::TextRead},
        {ChiediConfermaAutoRec, K::Flag, &Settings::askConfirmation, 260, u"0"_s, u"0"_s, 5,
         B::None, true, u"-->ChiediConfermaInRegAuto:"_s, D::Field},
        {AvviaInAutoReg, K::Flag, &Settings::startArmed, 260, u"0"_s, u"1"_s, 6, B::None, true,
         u"-->AvviaInAutoReg:"_s, D::Field},
        {AntiBump, K::Flag, &Settings::antiBump, 260, u"1"_s, u"1"_s, 7, B::None, true,
         u"-->AbilitaAntiBump:"_s, D::Field},
        {AbilitaSegnaleAcustico, K::Flag, &Settings::warningEnabled, 260, u"0"_s, u"0"_s, 9,
         B::None, true, QString(), D::None},
        {SegnaleAcusticoInviaDopo, K::Flag, &Settings::warningAfter, 260, u"1"_s, u"1"_s, 10,
         B::None, true, QString(), D::None},
        {SegnaleAcusticoInviaDopoValore, K::Number, &Settings::warningAfterSeconds, 5, u"15"_s,
         u"15"_s, 11, B::None, true, u"-->SegnaleAcusticoDopo:"_s, D::OnlyWhenRead},
        {SegnaleAcusticoInviaOgni, K::Flag, &Settings::warningEvery, 260, u"0"_s, u"0"_s, 12,
         B::None, true, u"-->AbilitaSegnaleAcusticoOgni:"_s, D::Field},
        {SegnaleAcusticoInviaOgniValore, K::Number, &Settings::warningEverySeconds, 5, u"10"_s,
         u"10"_s, 13, B::None, true, u"-->SegnaleAcusticoOgni:"_s, D::OnlyWhenRead},
        {SegnaleAcusticoFile, K::Text, &Settings::warningFile, 260, u"Beep1.wav"_s, u"Beep1.wav"_s,
         14, B::ProgramFolder, true, u"-->PathSegnaleAcustico:"_s, D::Field},
        // Nothing is made up when missing: the window stores the microphone's own volume.
        {VolumeRegistrazione, K::StoredNumber, &Settings::recordingVolume, 260, no, no, 0, B::None,
         true, u"-->VolumeRec:"_s, D::TextRead},
        {PlayAlternativo, K::Flag, &Settings::alternativePlaying, 10, u"0"_s, u"0"_s, 15, B::None,
         true, u"-->PlayAlternativo:"_s, D::Field},
        {Operatore, K::Text, &Settings::operatorName, 260, u""_s, no, 0, B::None, true,
         u"-->Operatore:"_s, D::Field},
        {PrimoLancio, K::Flag, &Settings::firstRun, 260, u"1"_s, no, 0, B::None, true, QString(),
         D::None},
        {NoSend, K::Flag, &Settings::sendDisabled, 260, u"0"_s, no, 0, B::None, true,
         u"-->SendDisabilitato:"_s, D::Field},
        {NoMicSelect, K::Flag, &Settings::noMicSelect, 260, u"0"_s, no, 0, B::None, true,
         u"-->NoMicSelect:"_s, D::TextRead},
        {DisableIndex, K::Flag, &Settings::indexDisabled, 2, u"0"_s, no, 0, B::None, true,
         QString(), D::None},
        {IDDispositivoRegistrazione, K::Number, &Settings::recordingDevice, 260, u"0"_s, no, 0,
         B::None, false, QString(), D::None},
        {IDDispositivoRiproduzione, K::Number, &Settings::playbackDevice, 260, u"0"_s, no, 0,
         B::None, false, QString(), D::None},
        {Riallinea, K::Switch, &Settings::realign, 260, u"0"_s, no, 0, B::None, false, QString(),
         D::None},
        {CartellaDaRiallineare, K::Text, &Settings::folderToRealign, 260, u""_s, no, 0, B::None,
         false, QString(), D::None},
        // Calls on this computer: created after the values above, so their order stays.
        {RecordBothSides, K::Flag, &Settings::bothSides, 260, u"0"_s, u"0"_s, 16, B::None, true,
         u"-->RecordBothSides:"_s, D::Field},
        {StartOnMicrophoneOpen, K::Flag, &Settings::startOnMicrophoneOpen, 260, u"0"_s, u"0"_s, 17,
         B::None, true, u"-->StartOnMicrophoneOpen:"_s, D::Field},
        {PreRollSeconds, K::Number, &Settings::preRollSeconds, 260, u"1"_s, u"1"_s, 18, B::None,
         true, u"-->PreRollSeconds:"_s, D::Field},
        {IgnoredMicrophonePrograms, K::Text, &Settings::ignoredPrograms, 260, u""_s, u""_s, 19,
         B::None, true, u"-->IgnoredMicrophonePrograms:"_s, D::Field},
    };
    return table;
}

const SettingsTable::Value* SettingsTable::find(const QString& name)
{
    for (const Value& value : values()) {
        if (value.name.compare(name, Qt::CaseInsensitive) == 0)
            return &value;
    }
    return nullptr;
}

int SettingsTable::toNumber(const QString& text)
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
