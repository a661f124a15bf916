#include "ui/SaveRecordingDialog.h"

#include "audio/CPlaySound.h"
#include "res/StringTable.h"
#include "store/RecordingNames.h"
#include "ui/MessagePresenter.h"
#include "ui/SkinButton.h"

#include <QApplication>
#include <QDialogButtonBox>
#include <QFormLayout>
#include <QHBoxLayout>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QVBoxLayout>

#include <utility>

namespace {

// The Recorder window's colours, so the dialog looks like part of it.
const QColor Band(0xeb, 0xeb, 0xeb);
const QColor Panel(214, 234, 255);
const QColor NotesText(0x32, 0x32, 0x32);

// Control id of the preview button, as in the dialog template.
constexpr int PreviewButtonId = 1183;

} // namespace

SaveRecordingDialog::SaveRecordingDialog(const QString& name, const QString& notes,
                                         const QString& folder, const QString& temporaryFile,
                                         MessagePresenter& messages, bool alternative,
                                         QWidget* parent)
    : QDialog(parent), m_folder(folder),
      m_temporaryFile(temporaryFile.isEmpty() ? folder + StringTable::text(25) : temporaryFile),
      m_messages(messages), m_alternative(alternative), m_player(std::make_unique<CPlaySound>())
{
    setObjectName(QStringLiteral("SaveRecordingDialog"));
    setWindowTitle(StringTable::text(207));
    setWindowFlag(Qt::WindowStaysOnTopHint, true);
    setWindowFlag(Qt::WindowContextHelpButtonHint, false);
    setFont(QFont(QStringLiteral("Tahoma"), 8));
    QPalette windowPalette = palette();
    windowPalette.setColor(QPalette::Window, Band);
    windowPalette.setColor(QPalette::Base, Panel);
    windowPalette.setColor(QPalette::Text, NotesText);
    setPalette(windowPalette);
    setAutoFillBackground(true);

    m_nameEdit = new QLineEdit(name, this);
    m_nameEdit->setObjectName(QStringLiteral("nameEdit"));
    m_nameEdit->setMaxLength(RecordingNames::kMaxPathLength);
    m_nameEdit->setMinimumWidth(280);

    m_playButton = new SkinButton(PreviewButtonId, this);
    m_playButton->setObjectName(QStringLiteral("playButton"));
    m_playButton->loadBitmaps(QStringLiteral("PLAYREC"));
    m_playButton->setMaskColor(Qt::white);
    m_playButton->fit();
    m_playButton->setFocusPolicy(Qt::TabFocus);

    auto* nameRow = new QHBoxLayout;
    nameRow->addWidget(m_nameEdit, 1);
    nameRow->addWidget(m_playButton);

    m_notesEdit = new QPlainTextEdit(notes, this);
    m_notesEdit->setObjectName(QStringLiteral("notesEdit"));
    m_notesEdit->setTabChangesFocus(true);
    m_notesEdit->setFixedHeight(80);

    auto* form = new QFormLayout;
    form->setLabelAlignment(Qt::AlignLeft);
    form->setFieldGrowthPolicy(QFormLayout::ExpandingFieldsGrow);
    form->addRow(StringTable::text(208), nameRow);
    form->addRow(StringTable::text(209), m_notesEdit);

    auto* buttons = new QDialogButtonBox(this);
    m_saveButton = buttons->addButton(StringTable::text(210), QDialogButtonBox::AcceptRole);
    m_saveButton->setObjectName(QStringLiteral("saveButton"));
    m_saveButton->setDefault(true);
    m_cancelButton = buttons->addButton(StringTable::text(211), QDialogButtonBox::RejectRole);
    m_cancelButton->setObjectName(QStringLiteral("cancelButton"));

    auto* layout = new QVBoxLayout(this);
    layout->addLayout(form);
    layout->addWidget(buttons);
    layout->setSizeConstraint(QLayout::SetFixedSize);

    m_poll.setInterval(PollPeriodMs);
    connect(&m_poll, &QTimer::timeout, this, &SaveRecordingDialog::pollPreview);
    connect(m_player.get(), &CPlaySound::playbackEnded, this, &SaveRecordingDialog::stopPreview);
    // The poll starts once the preview is heard: before that the player knows no length.
    connect(m_player.get(), &CPlaySound::playbackStarted, this, [this] {
        if (m_previewStarting) {
            m_previewStarting = false;
            m_poll.start();
        }
    });
    connect(m_player.get(), &CPlaySound::playbackFailed, this, [this] {
        if (std::exchange(m_previewStarting, false)) {
            showPreviewLook(false);
            m_messages.showMessage(this, StringTable::text(92), StringTable::caption(),
                                   MessagePresenter::Icon::Error);
            return;
        }
        stopPreview();
    });
    connect(m_playButton, &QAbstractButton::clicked, this, &SaveRecordingDialog::togglePreview);
    connect(m_nameEdit, &QLineEdit::textChanged, this, &SaveRecordingDialog::onNameChanged);
    // Save is wired by hand: a reserved name must keep the dialog open.
    connect(m_saveButton, &QAbstractButton::clicked, this, &SaveRecordingDialog::onSave);
    connect(m_cancelButton, &QAbstractButton::clicked, this, &SaveRecordingDialog::reject);
    onNameChanged();
}

SaveRecordingDialog::~SaveRecordingDialog()
{
    stopPreview();
}

bool SaveRecordingDialog::isPreviewPlaying() const
{
    return m_poll.isActive() || m_previewStarting;
}

bool SaveRecordingDialog::nameFits(const QString& name) const
{
    const qsizetype nameBytes = name.toUtf8().size();
    return m_folder.toUtf8().size() + nameBytes <= RecordingNames::kMaxPathLength &&
           nameBytes + 4 <= RecordingNames::kMaxFileNameLength;
}

void SaveRecordingDialog::onNameChanged()
{
    if (m_correcting)
        return;
    QString text = m_nameEdit->text();
    const QString typed = text;
    while (text.startsWith(u' '))
        text.remove(0, 1);
    // A character that cannot be in a name, or one too many, is taken back at once.
    auto invalid = [this](const QString& candidate) {
        for (QChar c : candidate) {
            if (RecordingNames::isForbidden(c))
                return true;
        }
        return !nameFits(candidate);
    };
    bool chopped = false;
    while (!text.isEmpty() && invalid(text)) {
        text.chop(1);
        chopped = true;
    }
    if (text != typed) {
        m_correcting = true;
        const int caret = chopped ? static_cast<int>(text.size())
                                  : std::max(0, m_nameEdit->cursorPosition() -
                                                    static_cast<int>(typed.size() - text.size()));
        m_nameEdit->setText(text);
        m_nameEdit->setCursorPosition(caret);
        m_correcting = false;
    }
    m_saveButton->setEnabled(!text.isEmpty());
}

void SaveRecordingDialog::onSave()
{
    stopPreview();
    const QString name = typedName();
    const QString notes = typedNotes();
    if (name.isEmpty())
        return;
    if (RecordingNames::isReserved(name)) {
        m_messages.showMessage(this, StringTable::text(18), StringTable::caption(),
                               MessagePresenter::Icon::Warning);
        return;
    }
    m_name = name;
    m_notes = notes;
    accept();
}

QString SaveRecordingDialog::typedName() const
{
    return RecordingNames::cleanedName(m_nameEdit->text());
}

QString SaveRecordingDialog::typedNotes() const
{
    return RecordingNames::cleanedNotes(m_notesEdit->toPlainText());
}

void SaveRecordingDialog::reject()
{
    stopPreview();
    QDialog::reject();
}

void SaveRecordingDialog::showEvent(QShowEvent* event)
{
    QDialog::showEvent(event);
    raise();
    activateWindow();
    QApplication::alert(this);
}

void SaveRecordingDialog::togglePreview()
{
    if (isPreviewPlaying()) {
        stopPreview();
        return;
    }
    if (!m_player->Play(m_temporaryFile, m_alternative)) {
        m_messages.showMessage(this, StringTable::text(92), StringTable::caption(),
                               MessagePresenter::Icon::Error);
        return;
    }
    m_previewStarting = true;
    showPreviewLook(true);
}

void SaveRecordingDialog::stopPreview()
{
    if (!m_poll.isActive() && !m_previewStarting)
        return;
    m_poll.stop();
    m_previewStarting = false;
    m_player->StopPlay();
    showPreviewLook(false);
}

void SaveRecordingDialog::showPreviewLook(bool playing)
{
    m_playButton->loadBitmaps(playing ? QStringLiteral("STOPPLAY") : QStringLiteral("PLAYREC"));
    m_playButton->update();
}

void SaveRecordingDialog::pollPreview()
{
    long long lengthMs = 0;
    long long positionMs = 0;
    m_player->GetLengthAndPosition(lengthMs, positionMs);
    if (!m_player->isOpen() || positionMs >= lengthMs)
        stopPreview();
}
