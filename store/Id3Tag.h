#pragma once

#include <QByteArray>
#include <QFile>
#include <QString>

#include <cstdint>
#include <optional>
#include <vector>

/// The ID3v2.3 tag at the front of one recording file, read and rewritten with this system's
/// rules: the header's size counts the whole tag including its 10 header bytes, and the audio
/// starts at exactly that offset. Frames are kept in file order; FindFrame and SetText act on
/// the last frame of an id, so a later duplicate wins. Created for one operation on the UI
/// thread (or a tool's main thread) and discarded after it. Sizes read from a file are never
/// trusted: a tag or frame that does not fit is "no usable tag", never a large allocation.
class Id3Tag {
public:
    enum ReadResult { ReadError = -1, NoTag = 0, TagRead = 1 };
    struct Frame {
        QByteArray id; ///< four ASCII characters
        QString value; ///< the text, decoded from the frame's encoding
    };

    /// Tags larger than this are not read (they would be pictures, not recordings' texts).
    static constexpr uint32_t kMaxTagSize = 16u << 20;
    static constexpr int kHeaderSize = 10;
    /// A tag rewrite builds the new file beside the old one as "tagTemporary-" + 8 random
    /// hex digits + ".dtm", a name no other file has; files named after temporaryPattern() are only
    /// ever such copies, so they hold no audio of their own.
    static QString temporaryPrefix() { return QStringLiteral("tagTemporary-"); }
    /// The names of the tag rewrites' temporary files, past and present ("tagTemporary*.dtm"),
    /// as a file-name wildcard.
    static QString temporaryPattern() { return QStringLiteral("tagTemporary*.dtm"); }

    Id3Tag() = default;
    ~Id3Tag() { Close(); }
    Id3Tag(const Id3Tag&) = delete;
    Id3Tag& operator=(const Id3Tag&) = delete;

    /// Opens an existing file, for reading and writing unless `readOnly`.
    bool Open(const QString& path, bool readOnly = false);
    /// Reads the header only: sets TagSize() and returns TagRead, NoTag (no "ID3") or
    /// ReadError (fewer than 10 bytes).
    ReadResult ReadHeader();
    /// Reads the header and every frame.
    ReadResult ReadTag();
    /// The last frame with exactly this id, or null.
    const Frame* FindFrame(QByteArrayView id) const;
    /// Sets the value of the last frame with this id, or appends a new frame.
    void SetText(QByteArrayView id, const QString& text);
    /// Replaces the file's tag by the frames held, keeping its audio: the new file is written
    /// beside it under a new unique temporary name (temporaryPrefix()), synced and renamed
    /// over it, so the file is either the old or the new one whatever happens; a failure
    /// removes the temporary file. TagSize() then gives the new size.
    bool WriteTag();
    uint32_t TagSize() const { return m_tagSize; }
    const std::vector<Frame>& frames() const { return m_frames; }
    void Clear() { m_frames.clear(); }
    void Close();

    /// Where the audio of the file at `path` begins, from its own tag header: a header whose
    /// size cannot be true (shorter than itself, longer than the file) counts as no tag (0), so
    /// nothing of the file is ever dropped. Nullopt when the file cannot be read.
    static std::optional<qint64> audioOffset(const QString& path);
    /// Walks the frames of a tag's body (the bytes after its header) into `frames`, in file
    /// order; NoTag when a frame claims more than the tag or the file (`fileSize`) holds.
    static ReadResult parseFrames(QByteArrayView body, qint64 fileSize, std::vector<Frame>& frames);
    /// The bytes of a frame as this system writes it (header and body).
    static QByteArray encodeFrame(const Frame& frame);
    /// A whole tag (header and frames, in order) as this system writes it; empty when it would
    /// not fit the header's size field.
    static QByteArray encodeTag(const std::vector<Frame>& frames);
    /// The header's size field: 28 bits, 7 per byte, most significant first.
    static QByteArray synchsafe(uint32_t size);

private:
    QFile m_file;
    QString m_path;
    uint32_t m_tagSize = 0;
    std::vector<Frame> m_frames;
};
