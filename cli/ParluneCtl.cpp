#include "cli/ParluneCtl.h"

#include "cli/RecordSession.h"
#include "control/LeftoverRecovery.h"

#include "app/SettingsNames.h"
#include "app/SettingsStartup.h"
#include "app/SettingsStore.h"
#include "audio/CControlloVolume.h"
#include "audio/CPlaySound.h"
#include "audio/MpegDuration.h"
#include "platform/FolderLock.h"
#include "platform/MailClient.h"
#include "platform/PcmOutput.h"
#include "platform/SystemFolders.h"
#include "platform/TerminationSignals.h"
#include "platform/WavFileReader.h"
#include "res/StringTable.h"
#include "store/EntryTags.h"
#include "store/Id3Tag.h"
#include "store/Importer.h"
#include "store/Joiner.h"
#include "store/OleDate.h"
#include "store/Protection.h"
#include "store/RecordingList.h"
#include "store/RecordingNames.h"
#include "store/Sender.h"

#include <QDir>
#include <QEventLoop>
#include <QFileInfo>
#include <QTextStream>
#include <QTimer>

#include <algorithm>
#include <limits>
#include <optional>

namespace {

// Another command's work on the folder is waited for this long before a command gives up.
constexpr int kLockWaitMs = 10000;
// A QTimer counts milliseconds in an int.
constexpr int kMaxRecordSeconds = std::numeric_limits<int>::max() / 1000;
// More than a day of silence before a call counts as ended is a typing mistake.
constexpr int kMaxSilenceSeconds = 24 * 60 * 60;
// The level meter's threshold range; below it any line noise would count as a voice.
constexpr int kMinThreshold = 100;
constexpr int kMaxThreshold = 32767;
// The seconds of audio an auto-recording may keep from before its start.
constexpr int kMaxPreRollSeconds = 5;
// Below telephone quality a WAV holds no call, and the reader paces such rates so badly that
// the recording grows out of all proportion.
constexpr int kMinInputRate = 8000;

QString jsonString(const QString& text)
{
    QString out = QStringLiteral("\"");
    for (const QChar c : text) {
        switch (c.unicode()) {
        case '"':
            out += QStringLiteral("\\\"");
            break;
        case '\\':
            out += QStringLiteral("\\\\");
            break;
        case '\n':
            out += QStringLiteral("\\n");
            break;
        case '\r':
            out += QStringLiteral("\\r");
            break;
        case '\t':
            out += QStringLiteral("\\t");
            break;
        default:
            if (c.unicode() < 0x20)
                out += QStringLiteral("\\u%1").arg(c.unicode(), 4, 16, QLatin1Char('0'));
            else
                out += c;
        }
    }
    return out + u'"';
}

// Removes `flag` from `args`; true when it was there.
bool takeFlag(QStringList& args, const QString& flag)
{
    return args.removeAll(flag) > 0;
}

// Removes `option` and its value from `args`. nullopt when absent; an empty optional value
// (has_value but missing) is reported through `missing`.
std::optional<QString> takeValue(QStringList& args, const QString& option, bool& missing)
{
    const qsizetype at = args.indexOf(option);
    if (at < 0)
        return std::nullopt;
    if (at + 1 >= args.size()) {
        missing = true;
        args.removeAt(at);
        return std::nullopt;
    }
    const QString value = args.at(at + 1);
    args.remove(at, 2);
    return value;
}

bool hasUnknownOption(const QStringList& args)
{
    for (const QString& arg : args) {
        if (arg.startsWith(QStringLiteral("--")))
            return true;
    }
    return false;
}

// "mm:ss", minutes including whole hours, as the window's clocks show times.
QString withSlash(QString path)
{
    if (!path.endsWith(u'/'))
        path += u'/';
    return path;
}

} // namespace

ParluneCtl::ParluneCtl(QTextStream& out, QTextStream& err) : m_out(out), m_err(err) {}

QString ParluneCtl::usage()
{
    return QStringLiteral(
        "usage: parlunectl [--folder DIR] COMMAND ...\n"
        "  list [--json]                 the recordings, newest first\n"
        "  show NAME [--json]            one recording's properties\n"
        "  tags FILE [--json]            the frames of a file's tag and its size\n"
        "  rename OLD NEW [--notes TEXT]\n"
        "  delete NAME...                to the trash, without asking\n"
        "  protect NAME --key KEY\n"
        "  unprotect NAME --key KEY\n"
        "  join NEW NAME... [--notes TEXT]\n"
        "  import FILE...\n"
        "  send NAME [--no-notes]\n"
        "  duration FILE                 the duration in milliseconds\n"
        "  reindex\n"
        "  play FILE [--from MS] [--alternative]\n"
        "                                plays to the end, or until interrupted\n"
        "  mixer                         the audio server's mixer tree, as the log writes it\n"
        "  record [--auto] [--input FILE.wav] [--seconds N] [--threshold N] [--silence S]\n"
        "         N: 1 to 2147483 seconds, threshold 100 to 32767, S: 0 to 86400 seconds\n"
        "         [--single-file] [--no-antibump] [--both-sides] [--on-microphone-open]\n"
        "         [--pre-roll P]   P: 0 to 5 seconds kept before each automatic recording;\n"
        "                          prints the names of the recordings kept\n"
        "Without --folder the working folder of the settings is used, or the default folder\n"
        "while it is missing, read-only or on a share that is not mounted; the settings and\n"
        "the default folder are created as the window's first start creates them.\n");
}

int ParluneCtl::fail(const QString& message)
{
    m_err << message << '\n';
    return Failed;
}

int ParluneCtl::usageError(const QString& message)
{
    m_err << "parlunectl: " << message << '\n' << usage();
    return Usage;
}

int ParluneCtl::run(QStringList args)
{
    bool missing = false;
    const auto folder = takeValue(args, QStringLiteral("--folder"), missing);
    if (missing)
        return usageError(QStringLiteral("--folder needs a folder"));
    if (takeFlag(args, QStringLiteral("--help")) || takeFlag(args, QStringLiteral("-h"))) {
        m_out << usage();
        return Ok;
    }
    if (args.isEmpty())
        return usageError(QStringLiteral("no command given"));
    const SettingsStartup startup(SystemFolders::userSettingsFile(),
                                  SystemFolders::machineSettingsFile(),
                                  SystemFolders::programFolder(), SystemFolders::dataFolder());
    if (!folder) {
        // A user whose window never ran gets the settings and the folder its first start
        // would make, so that the commands work from the first use.
        startup.copyMachineToUser();
        startup.createDefaults();
    }
    // What the settings do not say is what a missing value reads as.
    SettingsStore store = startup.store();
    m_settings = store.defaults();
    store.load(m_settings);
    if (folder) {
        m_folder = withSlash(QFileInfo(*folder).absoluteFilePath());
    } else {
        m_folder = startup.usableWorkingFolder();
        // A script is told when its commands act on the fallback folder instead of its own.
        const auto stored = store.textRead(SettingsNames::WorkDir);
        if (stored && QDir::isAbsolutePath(*stored) && withSlash(*stored) != m_folder)
            m_err << "parlunectl: the working folder " << *stored << " cannot be used now; using "
                  << m_folder << '\n';
        // The fallback folder is ours to make; any other folder is the user's.
        if (m_folder == startup.fallbackFolder())
            QDir().mkpath(m_folder);
    }

    const QString command = args.takeFirst();
    if (command == QStringLiteral("list"))
        return list(args);
    if (command == QStringLiteral("show"))
        return show(args);
    if (command == QStringLiteral("tags"))
        return tags(args);
    if (command == QStringLiteral("rename"))
        return rename(args);
    if (command == QStringLiteral("delete"))
        return remove(args);
    if (command == QStringLiteral("protect"))
        return protect(args, true);
    if (command == QStringLiteral("unprotect"))
        return protect(args, false);
    if (command == QStringLiteral("join"))
        return join(args);
    if (command == QStringLiteral("import"))
        return import(args);
    if (command == QStringLiteral("send"))
        return send(args);
    if (command == QStringLiteral("duration"))
        return duration(args);
    if (command == QStringLiteral("reindex"))
        return reindex(args);
    if (command == QStringLiteral("play"))
        return play(args);
    if (command == QStringLiteral("mixer"))
        return mixer(args);
    if (command == QStringLiteral("record"))
        return record(args);
    return usageError(QStringLiteral("unknown command '%1'").arg(command));
}

bool ParluneCtl::openList(RecordingList& list, const QString& command, Access access)
{
    if (!QFileInfo(m_folder).isDir()) {
        fail(QStringLiteral("The folder %1 does not exist.").arg(m_folder));
        return false;
    }
    list.applySettings(m_settings);
    list.setLockHolder(FolderLock::thisProcess(command), 0);
    list.setFolder(m_folder);
    bool loaded = list.LoadList();
    // Another command ends soon and is waited for; the window keeps its folder while it runs.
    if (loaded && access == Access::Change && list.folderAccess() == FolderLock::Result::Busy &&
        !FolderLock::holderOf(m_folder).startsWith(QStringLiteral("Parlune "))) {
        list.Clear();
        list.setLockHolder(FolderLock::thisProcess(command), kLockWaitMs);
        loaded = list.LoadList();
    }
    if (!loaded) {
        fail(QStringLiteral("The folder %1 cannot be read.").arg(m_folder));
        return false;
    }
    if (!list.holdsFolder()) {
        if (access == Access::Change) {
            fail(folderRefused(list));
            return false;
        }
        return true;
    }
    LeftoverRecovery::recover(list, m_folder);
    // Repairs made while loading are written now, so that every later load reads the same
    // values instead of deciding them again.
    list.SaveModified();
    return true;
}

QString ParluneCtl::folderRefused(const RecordingList& list) const
{
    if (list.folderAccess() == FolderLock::Result::Unavailable)
        return QStringLiteral("The recordings of %1 cannot be changed: the folder cannot be "
                              "written, or its lock file %2 is not a regular file.")
            .arg(m_folder, FolderLock::fileName());
    const QString holder = FolderLock::holderOf(m_folder);
    if (holder.startsWith(QStringLiteral("Parlune ")))
        return QStringLiteral("Parlune has the folder %1 open: change its recordings in the "
                              "window, or close Parlune first.")
            .arg(m_folder);
    return QStringLiteral("Another program (%1) is changing the recordings of %2: try again "
                          "when it has finished.")
        .arg(holder.isEmpty() ? QStringLiteral("unknown") : holder, m_folder);
}

RecordingEntry* ParluneCtl::openEntry(RecordingList& list, const QString& command, Access access,
                                      const QString& name, bool complete)
{
    if (!openList(list, command, access))
        return nullptr;
    if (complete)
        list.MeasureUnknownDurations();
    RecordingEntry* entry = entryNamed(list, name);
    // The index may be older than the file (written by a process that did not lock the
    // folder): what is changed is what the file says now.
    if (entry && access == Access::Change && !entry->inUse())
        list.RefreshEntry(*entry);
    return entry;
}

RecordingEntry* ParluneCtl::entryNamed(RecordingList& list, const QString& name)
{
    RecordingEntry* entry = list.FindByName(name);
    if (!entry)
        entry = list.FindByNameIgnoringCase(name);
    if (!entry)
        fail(QStringLiteral("No recording is named '%1'.").arg(name));
    return entry;
}

QString ParluneCtl::entryJson(const RecordingEntry& entry) const
{
    const QDateTime start = OleDate::toDateTime(entry.startTime);
    return QStringLiteral("{\"name\": %1, \"date\": %2, \"time\": %3, \"duration\": %4, "
                          "\"size\": %5, \"notes\": %6, \"protected\": %7, \"operator\": %8}")
        .arg(jsonString(entry.name), jsonString(start.toString(QStringLiteral("dd/MM/yyyy"))),
             jsonString(start.toString(QStringLiteral("HH:mm:ss"))),
             jsonString(OleDate::durationText(entry.duration)), QString::number(entry.fileSize),
             jsonString(entry.notes),
             entry.isProtected ? QStringLiteral("true") : QStringLiteral("false"),
             jsonString(entry.operatorName));
}

QString ParluneCtl::entryLine(const RecordingEntry& entry) const
{
    const QDateTime start = OleDate::toDateTime(entry.startTime);
    QString notes = entry.notes;
    notes.replace(QStringLiteral("\r\n"), QStringLiteral("  "));
    return QStringList({entry.name, start.toString(QStringLiteral("dd/MM/yyyy HH:mm:ss")),
                        OleDate::durationText(entry.duration), QString::number(entry.fileSize),
                        entry.isProtected ? QStringLiteral("protected") : QStringLiteral("-"),
                        entry.operatorName, notes})
        .join(u'\t');
}

int ParluneCtl::list(const QStringList& arguments)
{
    QStringList args = arguments;
    const bool json = takeFlag(args, QStringLiteral("--json"));
    if (!args.isEmpty())
        return usageError(QStringLiteral("list takes no names"));
    RecordingList list;
    if (!openList(list, QStringLiteral("list"), Access::Read))
        return Failed;
    list.MeasureUnknownDurations();
    list.Sort(RecordingList::SortKey::Date, false);
    if (json) {
        QStringList items;
        for (const auto& entry : list.entries())
            items << entryJson(*entry);
        m_out << '[' << items.join(QStringLiteral(",\n ")) << "]\n";
    } else {
        for (const auto& entry : list.entries())
            m_out << entryLine(*entry) << '\n';
    }
    return Ok;
}

int ParluneCtl::show(const QStringList& arguments)
{
    QStringList args = arguments;
    const bool json = takeFlag(args, QStringLiteral("--json"));
    if (args.size() != 1 || hasUnknownOption(args))
        return usageError(QStringLiteral("show takes one name"));
    RecordingList list;
    RecordingEntry* entry =
        openEntry(list, QStringLiteral("show"), Access::Read, args.first(), true);
    if (!entry)
        return Failed;
    m_out << (json ? entryJson(*entry) : entryLine(*entry)) << '\n';
    return Ok;
}

int ParluneCtl::tags(const QStringList& arguments)
{
    QStringList args = arguments;
    const bool json = takeFlag(args, QStringLiteral("--json"));
    if (args.size() != 1 || hasUnknownOption(args))
        return usageError(QStringLiteral("tags takes one file"));
    Id3Tag tag;
    if (!tag.Open(args.first(), true))
        return fail(QStringLiteral("Cannot open the file %1.").arg(args.first()));
    const Id3Tag::ReadResult result = tag.ReadTag();
    if (result == Id3Tag::ReadError)
        return fail(QStringLiteral("Cannot read the file %1.").arg(args.first()));
    const uint32_t size = result == Id3Tag::TagRead ? tag.TagSize() : 0;
    if (json) {
        QStringList frames;
        for (const auto& frame : tag.frames()) {
            frames << QStringLiteral("{\"id\": %1, \"text\": %2}")
                          .arg(jsonString(QString::fromLatin1(frame.id)), jsonString(frame.value));
        }
        m_out << QStringLiteral("{\"tag_size\": %1, \"frames\": [%2]}\n")
                     .arg(size)
                     .arg(frames.join(QStringLiteral(", ")));
    } else {
        m_out << "tag size: " << size << '\n';
        for (const auto& frame : tag.frames())
            m_out << QString::fromLatin1(frame.id) << '\t' << frame.value << '\n';
    }
    return Ok;
}

int ParluneCtl::remove(const QStringList& args)
{
    if (args.isEmpty() || hasUnknownOption(args))
        return usageError(QStringLiteral("delete takes one or more names"));
    RecordingList list;
    if (!openList(list, QStringLiteral("delete"), Access::Change))
        return Failed;
    QStringList names;
    for (const QString& name : args) {
        RecordingEntry* entry = entryNamed(list, name);
        if (!entry)
            return Failed;
        if (entry->inUse())
            return fail(StringTable::text(299));
        names << entry->name;
    }
    if (!list.DeleteRecordings(names, RecordingList::Removal::ToTrash))
        return fail(QStringLiteral("The recordings could not be moved to the trash."));
    return Ok;
}

int ParluneCtl::duration(const QStringList& args)
{
    if (args.size() != 1 || hasUnknownOption(args))
        return usageError(QStringLiteral("duration takes one file"));
    const QString path = args.first();
    if (!QFileInfo(path).isFile())
        return fail(QStringLiteral("Cannot open the file %1.").arg(path));
    const auto ms = MpegDuration::milliseconds(path, Id3Tag::audioOffset(path).value_or(0));
    if (!ms)
        return fail(QStringLiteral("No MPEG audio found in %1.").arg(path));
    m_out << *ms << '\n';
    return Ok;
}

int ParluneCtl::reindex(const QStringList& args)
{
    if (!args.isEmpty())
        return usageError(QStringLiteral("reindex takes no arguments"));
    RecordingList list;
    if (!openList(list, QStringLiteral("reindex"), Access::Change))
        return Failed;
    if (!list.indexOpen())
        return fail(QStringLiteral("The index of %1 is disabled, or %2 there is not a regular "
                                   "file.")
                        .arg(m_folder, RecordingList::indexFileName()));
    list.RebuildIndex();
    return Ok;
}

int ParluneCtl::mixer(const QStringList& args)
{
    if (!args.isEmpty())
        return usageError(QStringLiteral("mixer takes no arguments"));
    CControlloVolume line;
    bool reached = false;
    const QStringList lines = line.AlberoMixer(false, &reached);
    if (!reached)
        return fail(QStringLiteral("No audio server answers, so there is no mixer to show."));
    for (const QString& text : lines)
        m_out << text << '\n';
    return Ok;
}

int ParluneCtl::rename(const QStringList& arguments)
{
    QStringList args = arguments;
    bool missing = false;
    const auto notes = takeValue(args, QStringLiteral("--notes"), missing);
    if (missing || args.size() != 2 || hasUnknownOption(args))
        return usageError(QStringLiteral("rename takes OLD NEW [--notes TEXT]"));
    RecordingList list;
    RecordingEntry* entry = openEntry(list, QStringLiteral("rename"), Access::Change, args.at(0));
    if (!entry)
        return Failed;
    const int message =
        RecordingNames::RenameRecording(list, *entry, args.at(1), notes.value_or(entry->notes));
    return message == 0 ? Ok : fail(StringTable::text(message));
}

int ParluneCtl::protect(const QStringList& arguments, bool on)
{
    QStringList args = arguments;
    bool missing = false;
    const auto key = takeValue(args, QStringLiteral("--key"), missing);
    if (missing || !key || args.size() != 1 || hasUnknownOption(args))
        return usageError(QStringLiteral("%1 takes NAME --key KEY")
                              .arg(on ? QStringLiteral("protect") : QStringLiteral("unprotect")));
    RecordingList list;
    RecordingEntry* entry =
        openEntry(list, on ? QStringLiteral("protect") : QStringLiteral("unprotect"),
                  Access::Change, args.first());
    if (!entry)
        return Failed;
    if (entry->inUse())
        return fail(StringTable::text(301));
    if (entry->isProtected == on)
        return fail(on ? QStringLiteral("The recording is protected already.")
                       : QStringLiteral("The recording is not protected."));
    if (on) {
        const Protection::KeyProblem problem = Protection::checkNewKeyWord(*key, *key, false);
        if (problem != Protection::KeyAccepted)
            return fail(StringTable::text(problem));
    }
    entry->keyWord = *key;
    const bool done =
        on ? Protection::Protect(*entry, false) : Protection::Unprotect(*entry, false);
    if (!done)
        return fail(StringTable::text(on ? 67 : 68));
    // The file holds its new tag already: only the index record is behind.
    list.UpdateRecord(*entry);
    return Ok;
}

int ParluneCtl::join(const QStringList& arguments)
{
    QStringList args = arguments;
    bool missing = false;
    const auto notes = takeValue(args, QStringLiteral("--notes"), missing);
    if (missing || args.size() < 2 || hasUnknownOption(args))
        return usageError(QStringLiteral("join takes NEW NAME... [--notes TEXT]"));
    const QString newName = args.takeFirst();
    RecordingList list;
    if (!openList(list, QStringLiteral("join"), Access::Change))
        return Failed;
    std::vector<const RecordingEntry*> sources;
    QStringList sourceNames;
    for (const QString& name : args) {
        RecordingEntry* entry = entryNamed(list, name);
        if (!entry)
            return Failed;
        if (entry->inUse())
            return fail(StringTable::text(302));
        // Its file, not a possibly stale index record, says whether the audio is scrambled.
        list.RefreshEntry(*entry);
        if (entry->isProtected)
            return fail(QStringLiteral("The recording '%1' is protected: remove its protection "
                                       "before joining it.")
                            .arg(entry->name));
        if (sourceNames.contains(entry->name))
            return usageError(QStringLiteral("'%1' is named twice").arg(entry->name));
        sources.push_back(entry);
        sourceNames << entry->name;
    }
    // The new name follows the rules of every name; it may be one of the sources' names.
    const bool isSource = sourceNames.contains(newName, Qt::CaseInsensitive);
    const unsigned rules = RecordingNames::AllRules & ~(isSource ? RecordingNames::NotTaken : 0u);
    if (const int message = RecordingNames::check(newName, m_folder, rules, &list))
        return fail(StringTable::text(message));

    auto joined = std::make_unique<RecordingEntry>();
    const RecordingEntry& first = *sources.front();
    joined->name = newName;
    joined->notes = notes.value_or(QString());
    joined->startTime = first.startTime;
    // As the join wizard does, the new recording's length is the sum of its parts' lengths;
    // only when one of them is unknown is the joined audio measured.
    joined->duration = 0;
    for (const RecordingEntry* source : sources) {
        if (source->duration < 0) {
            joined->duration = OleDate::kNoDuration;
            break;
        }
        joined->duration += source->duration;
    }
    joined->folder = first.folder;
    joined->artist = first.artist;
    joined->genre = first.genre;
    joined->operatorName = first.operatorName;
    joined->state = RecordingEntry::Modified;
    if (!Joiner::Join(sources, *joined))
        return fail(StringTable::text(95));
    list.DeleteRecordings(sourceNames, RecordingList::Removal::KeepFiles);
    list.AddEntry(std::move(joined));
    return Ok;
}

int ParluneCtl::import(const QStringList& args)
{
    if (args.isEmpty() || hasUnknownOption(args))
        return usageError(QStringLiteral("import takes one or more files"));
    RecordingList list;
    if (!openList(list, QStringLiteral("import"), Access::Change))
        return Failed;
    const Importer::Result result = Importer::ImportRecordings(list, args);
    int status = Ok;
    for (const auto& outcome : result.outcomes) {
        if (outcome.kind == Importer::Outcome::Kind::Imported) {
            m_out << outcome.name << '\n';
        } else {
            m_err << outcome.path << ": " << outcome.message << '\n';
            status = Failed;
        }
    }
    if (!result.saved)
        status = fail(QStringLiteral("Some tags could not be written."));
    return status;
}

int ParluneCtl::send(const QStringList& arguments)
{
    QStringList args = arguments;
    const bool noNotes = takeFlag(args, QStringLiteral("--no-notes"));
    if (args.size() != 1 || hasUnknownOption(args))
        return usageError(QStringLiteral("send takes NAME [--no-notes]"));
    RecordingList list;
    RecordingEntry* entry = openEntry(list, QStringLiteral("send"), Access::Read, args.first());
    if (!entry)
        return Failed;
    if (entry->inUse())
        return fail(StringTable::text(300));
    MailClient mail;
    if (!Sender::SendRecording(*entry, !noNotes, mail))
        return fail(StringTable::text(97));
    return Ok;
}

int ParluneCtl::record(const QStringList& arguments)
{
    QStringList args = arguments;
    RecordSession::Options options;
    options.autoRecord = takeFlag(args, QStringLiteral("--auto"));
    const bool singleFile = takeFlag(args, QStringLiteral("--single-file"));
    const bool noAntiBump = takeFlag(args, QStringLiteral("--no-antibump"));
    const bool bothSides = takeFlag(args, QStringLiteral("--both-sides"));
    const bool onMicrophoneOpen = takeFlag(args, QStringLiteral("--on-microphone-open"));
    bool missing = false;
    const auto input = takeValue(args, QStringLiteral("--input"), missing);
    const auto seconds = takeValue(args, QStringLiteral("--seconds"), missing);
    const auto threshold = takeValue(args, QStringLiteral("--threshold"), missing);
    const auto silence = takeValue(args, QStringLiteral("--silence"), missing);
    const auto preRoll = takeValue(args, QStringLiteral("--pre-roll"), missing);
    if (missing)
        return usageError(QStringLiteral("record: an option needs its value"));
    if (!args.isEmpty())
        return usageError(QStringLiteral("record: unexpected '%1'").arg(args.first()));
    if (input && (bothSides || onMicrophoneOpen))
        return usageError(QStringLiteral("record: --both-sides and --on-microphone-open take "
                                         "calls from the audio server, not from --input"));
    int secondsValue = 0, thresholdValue = 0, silenceValue = 0, preRollValue = 0;
    const auto number = [](const std::optional<QString>& text, int& value, int lowest,
                           int highest) {
        bool ok = true;
        if (text)
            value = text->toInt(&ok);
        return !text || (ok && value >= lowest && value <= highest);
    };
    if (!number(seconds, secondsValue, 1, kMaxRecordSeconds))
        return usageError(QStringLiteral("record: --seconds takes a whole number of seconds "
                                         "from 1 to %1")
                              .arg(kMaxRecordSeconds));
    if (!number(threshold, thresholdValue, kMinThreshold, kMaxThreshold))
        return usageError(QStringLiteral("record: --threshold takes a whole number from %1 to %2")
                              .arg(kMinThreshold)
                              .arg(kMaxThreshold));
    if (!number(silence, silenceValue, 0, kMaxSilenceSeconds))
        return usageError(QStringLiteral("record: --silence takes a whole number of seconds "
                                         "from 0 to %1")
                              .arg(kMaxSilenceSeconds));
    if (!number(preRoll, preRollValue, 0, kMaxPreRollSeconds))
        return usageError(QStringLiteral("record: --pre-roll takes a whole number of seconds "
                                         "from 0 to %1")
                              .arg(kMaxPreRollSeconds));
    if (input && !QFileInfo(*input).isFile())
        return fail(QStringLiteral("The file %1 does not exist.").arg(*input));
    if (input) {
        // A file the reader cannot take would leave the recorder waiting for ever for audio.
        WavFileReader reader;
        if (!reader.open(*input))
            return fail(QStringLiteral("The file %1 is not a WAV file that can be recorded: %2")
                            .arg(*input, reader.errorText()));
        if (reader.channels() < 1)
            return fail(
                QStringLiteral("The file %1 cannot be recorded: it has no channels.").arg(*input));
        if (reader.rate() < kMinInputRate)
            return fail(QStringLiteral("The file %1 cannot be recorded: its rate of %2 Hz is "
                                       "under the %3 Hz a recording needs.")
                            .arg(*input)
                            .arg(reader.rate())
                            .arg(kMinInputRate));
    }

    // The settings for everything the command line does not say.
    Settings settings = m_settings;
    if (silence)
        settings.silenceSeconds = silenceValue;
    if (threshold)
        settings.threshold = thresholdValue;
    if (singleFile)
        settings.singleFile = true;
    if (noAntiBump)
        settings.antiBump = false;
    if (bothSides)
        settings.bothSides = true;
    if (onMicrophoneOpen)
        settings.startOnMicrophoneOpen = true;
    if (preRoll)
        settings.preRollSeconds = preRollValue;
    if (seconds)
        options.seconds = secondsValue;
    if (input)
        options.inputFile = QFileInfo(*input).absoluteFilePath();

    RecordingList list;
    if (!openList(list, QStringLiteral("record"), Access::Change))
        return Failed;
    settings.workingFolder = m_folder;
    RecordSession session(list, settings, options, m_err);
    bool failed = false;
    const QStringList kept = session.run(failed);
    for (const QString& name : kept)
        m_out << name << '\n';
    m_out.flush();
    return failed ? Failed : Ok;
}

int ParluneCtl::play(const QStringList& arguments)
{
    QStringList args = arguments;
    bool missing = false;
    const auto from = takeValue(args, QStringLiteral("--from"), missing);
    long long fromMs = 0;
    bool number = true;
    if (from)
        fromMs = from->toLongLong(&number);
    if (missing || !number || fromMs < 0)
        return usageError(QStringLiteral("--from needs a position in milliseconds"));
    const bool alternative = takeFlag(args, QStringLiteral("--alternative"));
    if (args.size() != 1 || hasUnknownOption(args))
        return usageError(QStringLiteral("play takes one file [--from MS] [--alternative]"));
    const QString path = args.first();
    if (!QFileInfo(path).isFile())
        return fail(QStringLiteral("Cannot open the file %1.").arg(path));

    // Asking the server first tells "no audio server" apart from "not a sound file".
    {
        const auto probe = PcmOutput::createPulseAudio();
        if (!probe->open(32000, 1)) {
            return fail(
                QStringLiteral("No audio server to play through (%1).").arg(probe->errorText()));
        }
    }
    CPlaySound player;
    if (!player.Play(path, alternative))
        return fail(QStringLiteral("Cannot play the file %1.").arg(path));
    if (fromMs > 0 && !player.PlayFrom(fromMs))
        return fail(QStringLiteral("Cannot play the file %1 from %2 ms.").arg(path).arg(fromMs));

    QEventLoop loop;
    QString failure;
    TerminationSignals termination;
    QObject::connect(&termination, &TerminationSignals::terminationRequested, &loop,
                     &QEventLoop::quit);
    QObject::connect(&player, &CPlaySound::playbackEnded, &loop, &QEventLoop::quit);
    QObject::connect(&player, &CPlaySound::playbackFailed, &loop, [&](const QString& reason) {
        failure = reason;
        loop.quit();
    });
    auto show = [&] {
        long long length = 0;
        long long position = 0;
        player.GetLengthAndPosition(length, position);
        m_out << OleDate::clockText(std::max(0LL, position) / 1000) << " / "
              << OleDate::clockText(std::max(0LL, length) / 1000) << '\n';
        m_out.flush();
    };
    QTimer ticker;
    QObject::connect(&ticker, &QTimer::timeout, &loop, show);
    ticker.start(1000);
    show();
    loop.exec();
    ticker.stop();
    show();
    player.StopPlay();
    if (!failure.isEmpty())
        return fail(QStringLiteral("The playback stopped: %1").arg(failure));
    return Ok;
}
