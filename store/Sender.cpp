#include "store/Sender.h"

#include "platform/MailClient.h"
#include "res/StringTable.h"
#include "store/Id3Tag.h"
#include "store/OleDate.h"
#include "store/RecordingEntry.h"

#include <QDateTime>
#include <QDir>
#include <QFile>
#include <QTemporaryDir>

#include <ctime>

namespace {

constexpr int kSubject = 31;
constexpr int kBody = 148;
constexpr int kNotes = 149;
constexpr int kDateFormat = 8;
constexpr int kTimeFormat = 7;

QString copyFolderPrefix()
{
    return QStringLiteral("send-");
}

// The strftime-style formats of the string table (string 7, string 8) applied to a local time.
QString formatDateTime(const QString& format, const QDateTime& when)
{
    std::tm fields{};
    fields.tm_year = when.date().year() - 1900;
    fields.tm_mon = when.date().month() - 1;
    fields.tm_mday = when.date().day();
    fields.tm_hour = when.time().hour();
    fields.tm_min = when.time().minute();
    fields.tm_sec = when.time().second();
    fields.tm_wday = when.date().dayOfWeek() % 7;
    fields.tm_yday = when.date().dayOfYear() - 1;
    fields.tm_isdst = -1;
    char text[256];
    const size_t length = std::strftime(text, sizeof text, format.toUtf8().constData(), &fields);
    return QString::fromUtf8(text, static_cast<qsizetype>(length));
}

} // namespace

void Sender::removeOldCopies(std::chrono::seconds olderThan)
{
    const QString folder = MailClient::attachmentFolder();
    if (folder.isEmpty())
        return;
    const QDateTime limit = QDateTime::currentDateTime().addSecs(-olderThan.count());
    const QFileInfoList copies = QDir(folder).entryInfoList(
        {copyFolderPrefix() + u'*'}, QDir::Dirs | QDir::NoSymLinks | QDir::NoDotAndDotDot);
    for (const QFileInfo& copy : copies) {
        if (copy.lastModified() <= limit)
            QDir(copy.absoluteFilePath()).removeRecursively();
    }
}

bool Sender::SendRecording(const RecordingEntry& entry, bool attachNotes, MailClient& mail)
{
    removeOldCopies();
    if (entry.inUse())
        return false;
    const QString folder = MailClient::attachmentFolder();
    if (folder.isEmpty())
        return false;
    // One folder per mail, so the attachment can carry the recording's own name.
    QTemporaryDir copyFolder(folder + copyFolderPrefix() + QStringLiteral("XXXXXX"));
    if (!copyFolder.isValid())
        return false;
    const QString copy = copyFolder.filePath(entry.name + QStringLiteral(".mp3"));
    if (!QFile::copy(entry.filePath(), copy) ||
        !QFile::setPermissions(copy, QFile::ReadOwner | QFile::WriteOwner))
        return false;

    QString tagNotes;
    {
        Id3Tag tag;
        if (!tag.Open(copy) || tag.ReadTag() != Id3Tag::TagRead)
            return false;
        if (const Id3Tag::Frame* comm = tag.FindFrame("COMM"))
            tagNotes = comm->value;
        if (!tagNotes.isEmpty() && !attachNotes) {
            tag.SetText("COMM", QString());
            if (!tag.WriteTag())
                return false;
        }
    }

    const QDateTime start = OleDate::toDateTime(entry.startTime);
    const QString subject = StringTable::text(kSubject, {entry.name});
    QString body =
        StringTable::text(kBody, {entry.name, formatDateTime(StringTable::text(kDateFormat), start),
                                  formatDateTime(StringTable::text(kTimeFormat), start)});
    if (attachNotes && !tagNotes.isEmpty())
        body += StringTable::text(kNotes, {entry.notes});

    if (!mail.compose(subject, body, copy))
        return false;
    // The mail program reads the attachment after xdg-email has returned.
    copyFolder.setAutoRemove(false);
    return true;
}
