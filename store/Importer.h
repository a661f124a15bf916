#pragma once

#include "store/RecordingList.h"

#include <QString>
#include <QStringList>

#include <vector>

/// Brings ".mp3" files from anywhere into the working folder as recordings. The caller picks
/// the files (the window's open-file dialog) and shows the messages of the result; nothing
/// here talks to the user. UI thread (or a tool's main thread).
class Importer {
public:
    /// Message shown for a file whose extension is not "mp3": "Wrong file type.Cannot import file."
    static constexpr int kWrongTypeMessage = 155;
    /// Message shown when a file could not be copied into the working folder ("%s" = its name).
    static constexpr int kCopyFailedMessage = 600;
    /// Message shown for a file that holds no audio ("%s" = its name).
    static constexpr int kNoAudioMessage = 601;

    /// What happened to one chosen path.
    struct Outcome {
        enum class Kind {
            Imported,   ///< copied and listed as `name`
            WrongType,  ///< not an ".mp3" file: refused with kWrongTypeMessage
            CopyFailed, ///< could not be copied: no file and no entry were made
            NoAudio,    ///< empty, or no audio behind its tag: refused with kNoAudioMessage,
                        ///< no file and no entry were made
        };
        QString path;
        Kind kind = Kind::Imported;
        QString name;      ///< the recording's name (Imported only)
        int messageId = 0; ///< the string to show (exclamation icon), 0 when none
        QString message;   ///< that string, ready to show
    };

    struct Result {
        std::vector<Outcome> outcomes; ///< one per path, in the order the paths were given
        QString lastImported;          ///< the recording to select afterwards; empty when none
        bool saved = true;             ///< false when any tag could not be written
    };

    /// Imports `paths` in the order given (the caller reverses a dialog's order if it wants).
    /// For each path whose extension is "mp3" in any case: the name is the file's base name
    /// with every character a recording name may not hold replaced by "_", followed by "(1)",
    /// "(2)", ... while a recording or a file of the working folder has that name ignoring case
    /// (an empty or reserved name counts as taken). The file is copied into list.folder() under
    /// that name without ever replacing a file there; a copy that holds no audio behind its tag
    /// (no MPEG frames; behind a tag saying "Protetta", no byte at all) is removed again and
    /// the path is NoAudio. An imported file is loaded by LoadEntryFromFile (it keeps its tag's
    /// date, notes and protection; TIT2 follows the new name; an untagged file gets a tag) and
    /// appended to the list and its index; finally the list's modified entries are saved,
    /// telling `saving` how far that save has come.
    static Result ImportRecordings(RecordingList& list, const QStringList& paths,
                                   const RecordingList::Progress& saving = {});
};
