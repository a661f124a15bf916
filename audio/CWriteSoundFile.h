#pragma once

#include "audio/EncoderLibrary.h"
#include "platform/LockedFile.h"

#include <QElapsedTimer>
#include <QObject>
#include <QString>

#include <atomic>
#include <cstdint>
#include <functional>
#include <map>
#include <memory>
#include <mutex>
#include <vector>

class QThread;

/// The writer thread: turns the captured buffers into an MP3 file. UWM_WRITER_CREATE loads
/// the encoder library and opens "tmp_nome_reg.dtm" in the working folder; each
/// UWM_WRITER_DATA encodes one 1152-sample chunk and appends its bytes to the file at once;
/// UWM_WRITER_CLOSE flushes the encoder and closes; UWM_WRITER_NEXT_FILE hands a finished
/// auto-recording over under a unique ".prl" name (or, collecting into a single file, reports
/// the temporary file itself) and goes on in a fresh temporary file.
/// The file is synced to disk every few seconds and locked while written; a temporary file
/// with audio that is not this writer's own (left by a crash) is moved aside under a ".prl"
/// name, never truncated, and one locked by another process is never touched.
/// A finished file stays locked after its hand-over (fileReady) or close, so no leftover
/// recovery takes it from its receiver: a ".prl" until releaseHandOver(), the closed temporary
/// file until releaseHandOver() or the next UWM_WRITER_CREATE (which goes on with the held file
/// rather than opening it again). Every hold ends when the writer is destroyed.
/// Lifecycle: constructed on the UI thread; setWriterFolders() (and setSingleFile()) before
/// startThread(); then messages from any thread, handled in order on the writer thread, until
/// UWM_THREAD_END ends it; waitForEnd() on the UI thread; destroyed on the UI thread.
/// Signals are emitted on the writer thread: connect them queued.
class CWriteSoundFile : public QObject {
    Q_OBJECT

public:
    /// Syncs of the temporary file to the disk while writing are at least this far apart.
    static constexpr int kSyncIntervalMs = 3000;
    /// String ids reported through writeError() and fatalError().
    static constexpr int kLibraryMissingString = 24;
    static constexpr int kEntryMissingString = 22;
    static constexpr int kTemporaryFileString = 73;

    explicit CWriteSoundFile(uint32_t sampleRate = 32000);
    ~CWriteSoundFile() override;

    /// Folders end with "/". Once at start-up, before startThread().
    void setWriterFolders(const QString& programFolder, const QString& workingFolder);
    /// The working folder changed in the options; applies from the next file. Any thread.
    void setTempFolder(const QString& workingFolder);
    /// Non-zero: the calls of an armed period are collected into one file. Any thread.
    void setSingleFile(int singleFile) { m_singleFile = singleFile; }
    int singleFile() const { return m_singleFile; }
    /// True while no file is open. Any thread.
    bool isWriterIdle() const { return !m_fileOpen.load(); }
    /// The temporary file's path in the current working folder. Any thread.
    QString temporaryFile() const;

    /// Starts the thread. Once, on the UI thread.
    void startThread();
    /// Waits for the thread to end after UWM_THREAD_END; true when it ended in time.
    bool waitForEnd(int timeoutMs);

    /// Posts UWM_WRITER_CREATE, UWM_WRITER_CLOSE, UWM_WRITER_NEXT_FILE (wParam 1 = discard) or
    /// UWM_THREAD_END. Any thread; handled in order of posting.
    void postMessage(int message, int wParam = 0);
    /// Posts UWM_WRITER_DATA with one capture buffer, which moves with the message.
    void postData(std::vector<int16_t> samples);
    /// Chunks posted and not yet encoded; any thread.
    int queuedChunks() const { return m_queuedChunks.load(std::memory_order_relaxed); }
    /// Runs `done` on the writer thread once everything posted before it is handled.
    void postBarrier(std::function<void()> done);
    /// Ends the hold on the file handed over or closed as `path` (the path fileReady gave, or
    /// temporaryFile()); call it once the file is moved, adopted or deleted. Unknown paths are
    /// ignored, and so is the temporary file while it collects the calls of a single-file
    /// period (it stays held until the next create or the writer's end). Any thread.
    void releaseHandOver(const QString& path);

Q_SIGNALS:
    /// UWM_FILE_READY: the finished file of an auto-recording; `discard` as the capture said.
    void fileReady(const QString& path, bool discard);
    /// The encoder library is missing (string 24) or incomplete (string 22): the window shows
    /// the string and closes.
    void fatalError(int stringId);
    /// The temporary file could not be opened, written or handed over (then no fileReady
    /// follows), or the encoder failed (string 73).
    void writeError(int stringId);

private:
    std::atomic<int> m_queuedChunks{0};
    void handleMessage(int message, int wParam);
    void createWaveFile();
    void encodeAndWrite(const std::vector<int16_t>& samples);
    void closeFile();
    /// Flushes the encoder into the file, syncs it and gives up writing; returns the still
    /// locked file.
    LockedFile finishFile();
    void nextFile(bool discard);
    void holdHandOver(const QString& path, LockedFile file);
    /// The held file of `path`, closed when none is held.
    LockedFile takeHandOver(const QString& path);
    /// Writer thread: whether the open temporary file goes on collecting a single-file period.
    void setCollecting(bool collecting);
    bool openTemporary(const QString& path);
    bool initStream();
    void finishStream();
    void appendOutput();
    void reportWriteError(const QString& logText);
    /// A new unique ".prl" name in `folder`; with `fallback`, "tempReg.prl" when none can be
    /// made (an old empty file of that name is deleted), else an empty string.
    QString handOverName(const QString& folder, bool fallback);
    QString folder() const;

    const uint32_t m_sampleRate;
    std::unique_ptr<QThread> m_thread;
    std::atomic<int> m_singleFile{0};
    std::atomic<bool> m_fileOpen{false};
    mutable std::mutex m_folderMutex;
    QString m_programFolder;
    QString m_workingFolder;
    std::mutex m_heldMutex;
    std::map<QString, LockedFile> m_held;
    std::atomic<bool> m_collectingHeld{false};

    // Writer thread only.
    EncoderLibrary m_encoder;
    LockedFile m_file;
    QString m_temporaryPath;
    bool m_streamOpen = false;
    bool m_outputProduced = false;
    bool m_writeFailed = false;
    uint32_t m_lastError = 0;
    bool m_collecting = false;
    uint64_t m_collectingIdentity = 0;
    std::vector<uint8_t> m_output;
    QElapsedTimer m_sinceSync;
};
