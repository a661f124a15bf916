#include "ui/CDlgImpostazioniAvanzate.h"

#include "app/SettingsNames.h"
#include "app/SettingsStore.h"
#include "app/SettingsTable.h"
#include "platform/Autostart.h"
#include "res/StringTable.h"
#include "ui/MessagePresenter.h"

#include <QCheckBox>
#include <QDir>
#include <QFileDialog>
#include <QFileInfo>
#include <QGridLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QRegularExpressionValidator>
#include <QVBoxLayout>

#include <utility>

namespace {

// "Please, enter a number of seconds greater than zero."
constexpr int kSecondsString = 609;

// A text the settings file could not give back whole would read as missing.
bool fitsSetting(const QString& name, const QString& text)
{
    const SettingsTable::Value* value = SettingsTable::find(name);
    return value == nullptr || text.toUtf8().size() < value->buffer;
}

QString withoutTrailingSeparator(QString path)
{
    while (path.size() > 1 && (path.endsWith(u'/') || path.endsWith(u'\\')))
        path.chop(1);
    return path;
}

} // namespace

CDlgImpostazioniAvanzate::CDlgImpostazioniAvanzate(SettingsStore& store, MessagePresenter& messages,
                                                   Context context, QWidget* parent)
    : OptionsPage(parent), m_store(store), m_messages(messages), m_context(std::move(context))
{
    setObjectName(QStringLiteral("325"));
    m_logOn = named(new QCheckBox(StringTable::text(407), this), 1107);
    m_startInTray = named(new QCheckBox(StringTable::text(190), this), 1100);
    m_startArmed = named(new QCheckBox(StringTable::text(191), this), 1105);
    m_folder = named(new QLineEdit(this), 1134);
    auto* browseFolder = named(new QPushButton(StringTable::text(196), this), 1135);
    m_operator = named(new QLineEdit(this), 1138);
    m_operator->setMaxLength(64);
    m_warning = named(new QCheckBox(StringTable::text(282), this), 1172);
    m_warningAfter = named(new QCheckBox(StringTable::text(277), this), 1174);
    m_warningAfterSeconds = secondsEdit(1177, this);
    m_warningEvery = named(new QCheckBox(StringTable::text(278), this), 1175);
    m_warningEverySeconds = secondsEdit(1178, this);
    m_warningFile = named(new QLineEdit(this), 1173);
    auto* browseFile = named(new QPushButton(StringTable::text(196), this), 1139);
    m_alternativePlaying = named(new QCheckBox(StringTable::text(425), this), 1209);
    auto* defaults = named(new QPushButton(StringTable::text(197), this), 1136);
    m_recreateIndex = named(new QPushButton(StringTable::text(418), this), 1137);
    for (QPushButton* button : {browseFolder, browseFile, defaults, m_recreateIndex})
        button->setAutoDefault(false);
    for (QPushButton* button : {browseFolder, browseFile})
        button->setMaximumWidth(button->fontMetrics().horizontalAdvance(button->text()) + 24);

    auto* start = named(new QGroupBox(StringTable::text(189), this), 1144);
    auto* startLayout = new QVBoxLayout(start);
    startLayout->addWidget(m_startInTray);
    startLayout->addWidget(m_startArmed);

    auto* folderBox = named(new QGroupBox(StringTable::text(192), this), 1148);
    auto* folderLayout = new QHBoxLayout(folderBox);
    folderLayout->addWidget(m_folder, 1);
    folderLayout->addWidget(browseFolder);

    auto* warningBox = named(new QGroupBox(StringTable::text(275), this), 1149);
    auto* warningLayout = new QGridLayout(warningBox);
    auto* fileCaption = caption(1176, 276, warningBox);
    auto* afterCaption = caption(1179, 279, warningBox);
    auto* everyCaption = caption(1180, 280, warningBox);
    warningLayout->addWidget(m_warning, 0, 0, 1, 4);
    warningLayout->addWidget(m_warningAfter, 1, 0);
    warningLayout->addWidget(m_warningAfterSeconds, 1, 1);
    warningLayout->addWidget(afterCaption, 1, 2, 1, 2);
    warningLayout->addWidget(m_warningEvery, 2, 0);
    warningLayout->addWidget(m_warningEverySeconds, 2, 1);
    warningLayout->addWidget(everyCaption, 2, 2, 1, 2);
    warningLayout->addWidget(fileCaption, 3, 0, 1, 4);
    auto* fileRow = new QHBoxLayout;
    fileRow->addWidget(m_warningFile, 1);
    fileRow->addWidget(browseFile);
    warningLayout->addLayout(fileRow, 4, 0, 1, 4);
    warningLayout->setColumnStretch(3, 1);
    m_warningControls = {m_warningAfter, m_warningEvery, fileCaption, afterCaption,
                         everyCaption,   m_warningFile,  browseFile};

    auto* operatorRow = new QHBoxLayout;
    operatorRow->addWidget(caption(1181, 428, this));
    operatorRow->addWidget(m_operator, 1);

    auto* buttonRow = new QHBoxLayout;
    buttonRow->addWidget(m_recreateIndex);
    buttonRow->addStretch(1);
    buttonRow->addWidget(defaults);

    auto* layout = new QVBoxLayout(this);
    layout->addWidget(m_logOn);
    layout->addWidget(start);
    layout->addWidget(folderBox);
    layout->addLayout(operatorRow);
    layout->addWidget(warningBox);
    layout->addWidget(m_alternativePlaying);
    layout->addLayout(buttonRow);
    layout->addStretch(1);

    for (QCheckBox* box : {m_warning, m_warningAfter, m_warningEvery})
        connect(box, &QCheckBox::toggled, this, &CDlgImpostazioniAvanzate::updateEnabling);
    connect(browseFolder, &QPushButton::clicked, this, &CDlgImpostazioniAvanzate::chooseFolder);
    connect(browseFile, &QPushButton::clicked, this, &CDlgImpostazioniAvanzate::chooseWarningFile);
    connect(defaults, &QPushButton::clicked, this, &CDlgImpostazioniAvanzate::restoreDefaults);
    connect(m_recreateIndex, &QPushButton::clicked, this, [this] {
        if (m_context.recreateIndex)
            m_context.recreateIndex();
    });

    m_logOn->setChecked(Autostart::read().has_value());
    m_recreateIndex->setEnabled(m_context.indexAvailable && m_context.recreateIndex);
    Settings stored = m_store.defaults();
    m_keyOpened = m_store.load(stored);
    if (!m_keyOpened) {
        m_messages.showMessage(this, StringTable::text(54), StringTable::caption(),
                               MessagePresenter::Icon::Error);
        updateEnabling();
        return;
    }
    m_settings = stored;
    m_startInTray->setChecked(m_settings.startInTray);
    m_startArmed->setChecked(m_settings.startArmed);
    m_folder->setText(QDir::toNativeSeparators(withoutTrailingSeparator(m_settings.workingFolder)));
    m_operator->setText(m_settings.operatorName);
    m_warning->setChecked(m_settings.warningEnabled);
    m_warningAfter->setChecked(m_settings.warningAfter);
    m_warningAfterSeconds->setText(QString::number(m_settings.warningAfterSeconds));
    m_warningEvery->setChecked(m_settings.warningEvery);
    m_warningEverySeconds->setText(QString::number(m_settings.warningEverySeconds));
    m_warningFile->setText(m_settings.warningFile);
    m_alternativePlaying->setChecked(m_settings.alternativePlaying);
    updateEnabling();
}

QString CDlgImpostazioniAvanzate::title() const
{
    return StringTable::text(411);
}

void CDlgImpostazioniAvanzate::updateEnabling()
{
    const bool warning = m_warning->isChecked();
    for (QWidget* control : m_warningControls)
        control->setEnabled(warning);
    m_warningAfterSeconds->setEnabled(warning && m_warningAfter->isChecked());
    m_warningEverySeconds->setEnabled(warning && m_warningEvery->isChecked());
}

void CDlgImpostazioniAvanzate::restoreDefaults()
{
    m_logOn->setChecked(true);
    m_startInTray->setChecked(StringTable::text(136).startsWith(u'1'));
    m_startArmed->setChecked(StringTable::text(138).startsWith(u'1'));
    m_warning->setChecked(StringTable::text(284).startsWith(u'1'));
    m_warningAfter->setChecked(StringTable::text(286).startsWith(u'1'));
    m_warningAfterSeconds->setText(QStringLiteral("15"));
    m_warningEvery->setChecked(StringTable::text(290).startsWith(u'1'));
    m_warningEverySeconds->setText(QStringLiteral("10"));
    m_warningFile->setText(m_context.programFolder + StringTable::text(294));
    m_alternativePlaying->setChecked(false);
    updateEnabling();
}

bool CDlgImpostazioniAvanzate::warningExtensionAccepted(const QString& file)
{
    const qsizetype dot = file.lastIndexOf(u'.');
    if (dot < 0)
        return false;
    const QString extension = file.mid(dot + 1);
    for (const char* accepted : {"mp3", "Mp3", "MP3", "wav", "Wav", "WAV"}) {
        if (extension == QLatin1String(accepted))
            return true;
    }
    return false;
}

bool CDlgImpostazioniAvanzate::refuse(int stringId, QWidget* field)
{
    Q_EMIT refusing();
    m_messages.showMessage(this, StringTable::text(stringId), StringTable::caption(),
                           MessagePresenter::Icon::Warning);
    field->setFocus();
    if (auto* edit = qobject_cast<QLineEdit*>(field))
        edit->selectAll();
    return false;
}

bool CDlgImpostazioniAvanzate::commit()
{
    Settings values = m_settings;
    if (!m_store.load(values)) {
        m_messages.showMessage(this, StringTable::text(54), StringTable::caption(),
                               MessagePresenter::Icon::Error);
        return false;
    }
    const auto save = [&](const QStringList& names) {
        if (m_store.save(values, names))
            return true;
        m_messages.showMessage(this, StringTable::text(54), StringTable::caption(),
                               MessagePresenter::Icon::Error);
        return false;
    };

    // Recordings must be written there: a folder that cannot take files would lose them, and
    // a relative one would depend on where the program was started.
    const QString folder =
        withoutTrailingSeparator(QDir::fromNativeSeparators(m_folder->text().trimmed()));
    const QFileInfo folderInfo(folder);
    if (folder.isEmpty() || !folderInfo.isAbsolute() || !folderInfo.isDir() ||
        !folderInfo.isWritable() || folder == QStringLiteral("/") ||
        !fitsSetting(SettingsNames::WorkDir, folder + u'/'))
        return refuse(142, m_folder);
    values.workingFolder = QDir::cleanPath(folderInfo.absoluteFilePath()) + u'/';
    if (!save({SettingsNames::WorkDir}))
        return false;

    // A repeating warning of zero seconds would sound without end.
    const bool warning = m_warning->isChecked();
    for (auto [box, edit] : {std::pair{m_warningAfter, m_warningAfterSeconds},
                             std::pair{m_warningEvery, m_warningEverySeconds}}) {
        if (warning && box->isChecked() && edit->text().toInt() <= 0)
            return refuse(kSecondsString, edit);
    }
    values.startInTray = m_startInTray->isChecked();
    values.startArmed = m_startArmed->isChecked();
    values.warningEnabled = warning;
    values.warningAfter = m_warningAfter->isChecked();
    values.warningAfterSeconds = m_warningAfterSeconds->text().toInt();
    values.warningEvery = m_warningEvery->isChecked();
    values.warningEverySeconds = m_warningEverySeconds->text().toInt();
    if (!save({SettingsNames::AvvioTaskBar, SettingsNames::AvviaInAutoReg,
               SettingsNames::AbilitaSegnaleAcustico, SettingsNames::SegnaleAcusticoInviaDopo,
               SettingsNames::SegnaleAcusticoInviaDopoValore,
               SettingsNames::SegnaleAcusticoInviaOgni,
               SettingsNames::SegnaleAcusticoInviaOgniValore}))
        return false;

    const QString file = m_warningFile->text();
    if (warning) {
        if (!QFileInfo(file).isFile() || !fitsSetting(SettingsNames::SegnaleAcusticoFile, file))
            return refuse(297, m_warningFile);
        if (!warningExtensionAccepted(file))
            return refuse(296, m_warningFile);
    }
    values.warningFile = file;
    values.alternativePlaying = m_alternativePlaying->isChecked();
    values.operatorName = m_operator->text();
    if (!save({SettingsNames::SegnaleAcusticoFile, SettingsNames::PlayAlternativo,
               SettingsNames::Operatore}))
        return false;
    m_settings = values;

    const bool logOnWritten =
        m_logOn->isChecked() ? Autostart::write(m_context.programFile) : Autostart::remove();
    if (!logOnWritten)
        return refuse(54, m_logOn);
    return true;
}

void CDlgImpostazioniAvanzate::chooseFolder()
{
    // The title's line break has no place in a caption.
    QFileDialog dialog(this, StringTable::text(143).simplified());
    dialog.setObjectName(QStringLiteral("FolderChooser"));
    dialog.setFileMode(QFileDialog::Directory);
    dialog.setOption(QFileDialog::ShowDirsOnly);
    dialog.setOption(QFileDialog::DontUseNativeDialog);
    const QString current = QDir::fromNativeSeparators(m_folder->text().trimmed());
    if (!current.isEmpty() && QFileInfo(current).isDir())
        dialog.setDirectory(current);
    if (dialog.exec() == QDialog::Accepted && !dialog.selectedFiles().isEmpty())
        m_folder->setText(
            QDir::toNativeSeparators(withoutTrailingSeparator(dialog.selectedFiles().first())));
    // Choosing a folder by hand ends any wait for a lost one to come back.
    Settings values = m_settings;
    values.realign = false;
    m_store.save(values, {SettingsNames::Riallinea});
}

void CDlgImpostazioniAvanzate::chooseWarningFile()
{
    const QString filters = QStringLiteral("wave Files (*.wav) (*.wav);;mp3 Files (*.mp3) (*.mp3);;"
                                           "audio Files (*.wav,*.mp3) (*.mp3 *.wav)");
    QString start = m_warningFile->text();
    // The field's sound is offered first; a refused choice is not offered again.
    bool offerStart = QFileInfo(start).isFile();
    for (;;) {
        QFileDialog dialog(this, StringTable::text(281), QFileInfo(start).absolutePath(), filters);
        dialog.setObjectName(QStringLiteral("WarningFileChooser"));
        dialog.setFileMode(QFileDialog::ExistingFile);
        dialog.setOption(QFileDialog::DontUseNativeDialog);
        if (std::exchange(offerStart, false))
            dialog.selectFile(start);
        if (dialog.exec() != QDialog::Accepted || dialog.selectedFiles().isEmpty())
            return;
        const QString chosen = dialog.selectedFiles().first();
        start = chosen;
        if (!QFileInfo(chosen).isFile()) {
            refuse(297, m_warningFile);
            continue;
        }
        if (!warningExtensionAccepted(chosen)) {
            refuse(296, m_warningFile);
            continue;
        }
        m_warningFile->setText(chosen);
        return;
    }
}
