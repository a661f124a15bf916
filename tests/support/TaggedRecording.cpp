#include "tests/support/TaggedRecording.h"

#include "store/EntryTags.h"
#include "store/OleDate.h"
#include "tests/support/AudioFixtures.h"

RecordingEntry TaggedRecording::entry(const QString& folder, const QString& name, double start)
{
    RecordingEntry made;
    made.name = name;
    made.folder = folder;
    made.startTime = start;
    made.genre = EntryTags::defaultGenre();
    made.artist = EntryTags::defaultArtist();
    return made;
}

bool TaggedRecording::write(RecordingEntry& entry, const QByteArray& audio)
{
    if (!AudioFixtures::writeFile(entry.filePath(), audio))
        return false;
    if (entry.duration == OleDate::kNoDuration)
        entry.duration = EntryTags::CalcolaDurata(entry.filePath(), 0);
    return EntryTags::WriteEntryTag(entry);
}
