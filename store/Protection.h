#pragma once

#include <QByteArray>
#include <QByteArrayView>
#include <QString>

struct RecordingEntry;

/// Key-word protection of a recording file.
///
/// A protected file keeps its tag in clear; behind the tag comes a check block
/// H = decimal byte length of the key + "*" + key + "*", then the audio. Everything behind the
/// tag (check block and audio as one stream) is XORed with the key word repeated, the key index
/// counting from 0 at the first byte after the tag. Key words are compared and used as their
/// UTF-8 bytes, case-sensitively.
///
/// Files are processed in pieces of at most kPiece bytes. The output is always written to
/// folder + name + ".prl" first. When it replaces the recording it holds the whole new file,
/// the entry's new tag (EntryTags::entryFrames with the new protection, as
/// EntryTags::WriteEntryTag writes it) followed by the new audio, and is synced and renamed over
/// the ".mp3" in one step: a crash at any moment leaves either the old file or the new one, tag
/// and audio agreeing, under the recording's name, and a ".prl" named after a recording whose
/// ".mp3" is whole is never needed again. A failure never leaves a ".prl" behind and never
/// changes the ".mp3" or the entry. UI thread (or a tool's main thread); playback of the
/// recording must be stopped first.
class Protection {
public:
    /// Largest piece of audio read, scrambled and written at a time.
    static constexpr qsizetype kPiece = 500000;
    /// Fewest characters a new key word may have.
    static constexpr qsizetype kMinKeyCharacters = 6;
    /// Most UTF-8 bytes a key word may have: the check block stores its length in at most three
    /// decimal digits.
    static constexpr qsizetype kMaxKeyBytes = 999;

    /// Message ids of the protect dialog's key rules.
    enum KeyProblem {
        KeyAccepted = 0,
        KeyHasStar = 62,  ///< "Inserted key word cannot contain * character"
        KeyTooShort = 63, ///< "Key word must be at least 6 characters"
        KeysDiffer = 64,  ///< "Key words do not match"
        KeyTooLong = 500, ///< "Key word must be shorter than 1000 characters ..."
    };

    /// The protect dialog's verdict on a new key word: KeyAccepted, or the id of the message to
    /// show (checked in the order star, too short, too long, re-typed differently). `retyped`
    /// is compared only when `retypeInUse` (the "show the key word" box is not ticked).
    static KeyProblem checkNewKeyWord(const QString& keyWord, const QString& retyped,
                                      bool retypeInUse);

    /// Scrambles the recording's audio with entry.keyWord.
    /// keepCopy = false: the ".mp3" is replaced by the new tag (TXXX "Protetta") followed by
    /// the check block and the audio, scrambled; on success the entry has `isProtected` = true,
    /// `tagSize` and `fileSize` of the new file and `state` = Saved, and the caller only has to
    /// rewrite its index record (RecordingList::UpdateRecord).
    /// keepCopy = true: the ".mp3" and the entry are left alone; the result is name + ".prl",
    /// the file's own tag copied unchanged in front of the scrambled check block and audio.
    /// The audio starts where the file's own tag header says (an entry loaded from the index
    /// does not know its tag size). False, with nothing changed, when the key word breaks a
    /// rule of checkNewKeyWord or a file operation fails (a full disk among them).
    static bool Protect(RecordingEntry& entry, bool keepCopy);

    /// Unscrambles the recording's audio with entry.keyWord. False, with the files and the
    /// entry as they were, when the check block does not match the key word ("Wrong key
    /// word."), when the file is cut short inside it, when the key word is shorter than 6 or
    /// longer than kMaxKeyBytes bytes, or when a file operation fails (a full disk among them).
    /// keepCopy = true (playback): the decoded audio, without any tag, is written to
    /// name + ".prl"; the ".mp3" and the entry are left alone; the caller deletes the copy
    /// when playback stops.
    /// keepCopy = false: the ".mp3" is replaced by the new tag (TXXX "Non Protetta") followed by
    /// the clear audio. The clear audio is measured first: when it has a length (> 0) the tag
    /// and the entry's `duration` take it. On success the entry has `isProtected` = false,
    /// `tagSize` and `fileSize` of the new file and `state` = Saved, and the caller only has to
    /// rewrite its index record (RecordingList::UpdateRecord).
    static bool Unprotect(RecordingEntry& entry, bool keepCopy);

    /// folder + name + ".prl": the output of both operations and the decoded playback copy.
    static QString outputPath(const RecordingEntry& entry);

    /// The clear check block H for `key` (its bytes): decimal length + "*" + key + "*".
    static QByteArray checkBlock(QByteArrayView key);

    /// XORs `size` bytes at `data` in place with `key` repeated, the first byte taking key
    /// index `startIndex` (mod key length). Scrambling twice with the same index restores the
    /// bytes. An empty key leaves the bytes alone.
    static void scramble(char* data, qsizetype size, QByteArrayView key, qint64 startIndex);
    /// The scrambled copy of `bytes`, as above.
    static QByteArray scramble(QByteArrayView bytes, QByteArrayView key, qint64 startIndex);

    /// True when `afterTag` (the file's bytes from the end of the tag, possibly cut short,
    /// possibly anything at all) begins with the check block of `key` scrambled with `key`.
    /// Then `*checkLength`, when given, receives the block's length (digits + key + 2).
    /// Reads at most 5 + key length bytes of `afterTag` and never more than it holds.
    static bool checkBlockMatches(QByteArrayView afterTag, QByteArrayView key,
                                  qsizetype* checkLength = nullptr);
};
