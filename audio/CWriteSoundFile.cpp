#include "audio/CWriteSoundFile.h"

#include "app/DiagnosticLog.h"
#include "audio/ThreadMessages.h"
#include "platform/FileOps.h"
#include "res/StringTable.h"

#include <QFile>
#include <QFileInfo>
#include <QThread>

#include <algorithm>
#include <cerrno>

using namespace ThreadMessages;

namespace {

constexpr int kTemporaryNameString = 25;

} // namespace

CWriteSoundFile::CWriteSoundFile(uint32_t sampleRate) : m_sampleRate(sampleRate) {}

CWriteSoundFile::~CWriteSoundFile()
{
    if (m_thread && m_thread->isRunning()) {
        postMessage(UWM_THREAD_END);
        m_thread->wait();
    }
}

void CWriteSoundFile::setWriterFolders(const QString& programFolder, const QString& workingFolder)
{
    std::lock_guard lock(m_folderMutex);
    m_programFolder = programFolder;
    m_workingFolder = workingFolder;
}

void CWriteSoundFile::setTempFolder(const QString& workingFolder)
{
    std::lock_guard lock(m_folderMutex);
    m_workingFolder = workingFolder;
}

QString CWriteSoundFile::folder() const
{
    std::lock_guard lock(m_folderMutex);
    return m_workingFolder;
}

QString CWriteSoundFile::temporaryFile() const
{
    return folder() + StringTable::text(kTemporaryNameString);
}

void CWriteSoundFile::startThread()
{
    m_thread = std::make_unique<QThread>();
    m_thread->setObjectName(QStringLiteral("CWriteSoundFile"));
    moveToThread(m_thread.get());
    m_thread->start();
}

bool CWriteSoundFile::waitForEnd(int timeoutMs)
{
    return !m_thread || m_thread->wait(QDeadlineTimer(timeoutMs));
}

void CWriteSoundFile::postMessage(int message, int wParam)
{
    QMetaObject::invokeMethod(
        this, [this, message, wParam] { handleMessage(message, wParam); }, Qt::QueuedConnection);
}

void CWriteSoundFile::postData(std::vector<int16_t> samples)
{
    m_queuedChunks.fetch_add(1, std::memory_order_relaxed);
    QMetaObject::invokeMethod(
        this,
        [this, samples = std::move(samples)] {
            encodeAndWrite(samples);
            m_queuedChunks.fetch_sub(1, std::memory_order_relaxed);
        },
        Qt::QueuedConnection);
}

void CWriteSoundFile::postBarrier(std::function<void()> done)
{
    QMetaObject::invokeMethod(this, std::move(done), Qt::QueuedConnection);
}

void CWriteSoundFile::holdHandOver(const QString& path, LockedFile file)
{
    if (!file.isOpen())
        return;
    std::lock_guard lock(m_heldMutex);
    m_held[path] = std::move(file);
}

LockedFile CWriteSoundFile::takeHandOver(const QString& path)
{
    std::lock_guard lock(m_heldMutex);
    const auto found = m_held.find(path);
    if (found == m_held.end())
        return {};
    LockedFile file = std::move(found->second);
    m_held.erase(found);
    return file;
}

void CWriteSoundFile::releaseHandOver(const QString& path)
{
    // A file still collecting calls goes on after the capture's restart: the release of one
    // call's notification must not unlock it between that restart's close and create.
    if (m_collectingHeld && path == temporaryFile())
        return;
    // Closed outside the mutex: the writer thread never waits on a close.
    LockedFile released = takeHandOver(path);
    released.close();
}

void CWriteSoundFile::setCollecting(bool collecting)
{
    m_collecting = collecting;
    m_collectingHeld = collecting;
}

void CWriteSoundFile::handleMessage(int message, int wParam)
{
    switch (message) {
    case UWM_WRITER_CREATE:
        createWaveFile();
        break;
    case UWM_WRITER_CLOSE:
        closeFile();
        break;
    case UWM_WRITER_NEXT_FILE:
        nextFile(wParam != 0);
        break;
    case UWM_THREAD_END:
        // A recording still open at the end is finished, not cut.
        closeFile();
        QThread::currentThread()->quit();
        break;
    default:
        break;
    }
}

void CWriteSoundFile::createWaveFile()
{
    WriteLog(QStringLiteral("Writer: CreateWaveFile"));
    if (m_fileOpen)
        closeFile(); // a create without a close: finish the earlier file rather than lose it
    m_outputProduced = false;
    m_writeFailed = false;
    m_temporaryPath = temporaryFile();

    QString programFolder;
    {
        std::lock_guard lock(m_folderMutex);
        programFolder = m_programFolder;
    }
    const QString libraryPath = programFolder + EncoderLibrary::fileName();
    switch (m_encoder.load(libraryPath)) {
    case EncoderLibrary::LoadResult::Loaded:
        break;
    case EncoderLibrary::LoadResult::NotFound:
        WriteLog(QStringLiteral("Writer: libreria non trovata: %1").arg(libraryPath));
        Q_EMIT fatalError(kLibraryMissingString);
        return;
    case EncoderLibrary::LoadResult::EntryMissing:
        WriteLog(QStringLiteral("Writer: funzioni mancanti nella libreria %1").arg(libraryPath));
        Q_EMIT fatalError(kEntryMissingString);
        return;
    }

    if (!openTemporary(m_temporaryPath)) {
        m_encoder.unload();
        Q_EMIT writeError(kTemporaryFileString);
        return;
    }
    m_fileOpen = true;
    m_sinceSync.start();
    initStream();
}

bool CWriteSoundFile::initStream()
{
    m_output.clear();
    m_lastError = m_encoder.init(EncoderLibrary::defaultConfig(m_sampleRate));
    m_streamOpen = m_lastError == 0;
    if (!m_streamOpen) {
        WriteLog(QStringLiteral("CWriteSoundFile::CreateWaveFile-> Errore nella mbeIniStream (%1)")
                     .arg(m_lastError));
        Q_EMIT writeError(kTemporaryFileString);
        return false;
    }
    WriteLog(QStringLiteral("CWriteSoundFile::CreateWaveFile-> mdwLunghezzaBufferWAV= %1, "
                            "mdwLunghezzaBufferMP3=%2")
                 .arg(m_encoder.samplesPerChunk())
                 .arg(m_encoder.outputBufferSize()));
    return true;
}

bool CWriteSoundFile::openTemporary(const QString& path)
{
    // A file this writer closed and still holds is taken back: opening it again would meet
    // its own lock, and dropping the lock first would let a recovery take it meanwhile.
    LockedFile held = takeHandOver(path);
    if (held.isAt(path))
        m_file = std::move(held);
    held.close();
    for (int attempt = 0; attempt < 3; ++attempt) {
        const LockedFile::OpenResult opened =
            m_file.isOpen() ? LockedFile::OpenResult::Opened : m_file.open(path);
        switch (opened) {
        case LockedFile::OpenResult::Opened:
            break;
        case LockedFile::OpenResult::LockedByOther:
            WriteLog(QStringLiteral("Writer: il file temporaneo %1 e' in uso da un altro processo")
                         .arg(path));
            return false;
        case LockedFile::OpenResult::Failed:
            WriteLog(QStringLiteral("Writer: impossibile aprire il file temporaneo %1 (%2)")
                         .arg(path, m_file.errorText()));
            return false;
        }
        const int64_t size = m_file.size();
        if (size <= 0) {
            setCollecting(false);
            return true;
        }
        if (m_collecting && m_singleFile != 0 && m_file.identity() == m_collectingIdentity) {
            WriteLog(QStringLiteral("Writer: continuo il file unico %1").arg(path));
            return true;
        }
        // Audio nobody took: most likely a recording cut short by a crash. It goes aside, so a
        // later recovery can list it; it is never truncated.
        const QString aside = handOverName(folder(), false);
        const bool moved = !aside.isEmpty() &&
                           FileOps::renameNoReplace(path, aside) == FileOps::RenameResult::Done;
        m_file.close();
        if (!moved) {
            WriteLog(QStringLiteral("Writer: impossibile spostare il file temporaneo %1 con audio "
                                    "di una registrazione precedente")
                         .arg(path));
            return false;
        }
        WriteLog(QStringLiteral("Writer: il file temporaneo conteneva audio di una registrazione "
                                "precedente (%1 byte), spostato in %2")
                     .arg(size)
                     .arg(aside));
        setCollecting(false);
    }
    return false;
}

void CWriteSoundFile::encodeAndWrite(const std::vector<int16_t>& samples)
{
    if (!m_fileOpen || !m_streamOpen || samples.empty())
        return; // nothing can take it: the buffer is only dropped
    const auto count =
        static_cast<uint32_t>(std::min<size_t>(samples.size(), m_encoder.samplesPerChunk()));
    m_output.clear();
    m_lastError = m_encoder.encode(samples.data(), count, m_output);
    if (m_lastError != 0) {
        // The stream is gone: later chunks of this file are dropped until the next create.
        m_encoder.close();
        m_streamOpen = false;
        WriteLog(QStringLiteral("Writer: errore del codificatore (%1), registrazione interrotta")
                     .arg(m_lastError));
        Q_EMIT writeError(kTemporaryFileString);
        return;
    }
    if (!m_output.empty()) {
        m_outputProduced = true;
        appendOutput();
    }
    if (m_sinceSync.elapsed() >= kSyncIntervalMs) {
        m_file.sync();
        m_sinceSync.restart();
    }
}

void CWriteSoundFile::appendOutput()
{
    if (m_output.empty() || !m_file.isOpen())
        return;
    if (!m_file.append(m_output.data(), m_output.size()))
        reportWriteError(QStringLiteral("Writer: scrittura fallita su %1 (%2)")
                             .arg(m_temporaryPath, m_file.errorText()));
}

void CWriteSoundFile::reportWriteError(const QString& logText)
{
    // One report per file: a full disk would otherwise raise one per chunk.
    if (m_writeFailed)
        return;
    m_writeFailed = true;
    WriteLog(logText);
    Q_EMIT writeError(kTemporaryFileString);
}

void CWriteSoundFile::finishStream()
{
    if (m_streamOpen && m_outputProduced) {
        m_output.clear();
        m_lastError = m_encoder.finish(m_output);
        appendOutput();
    }
    m_outputProduced = false;
    if (m_streamOpen)
        m_encoder.close();
    m_streamOpen = false;
}

LockedFile CWriteSoundFile::finishFile()
{
    if (!m_fileOpen)
        return {};
    finishStream();
    m_file.sync();
    m_encoder.unload();
    LockedFile finished = std::move(m_file);
    m_fileOpen = false;
    return finished;
}

void CWriteSoundFile::closeFile()
{
    // Held until the Save round has taken it, or the next create goes on with it.
    holdHandOver(m_temporaryPath, finishFile());
}

void CWriteSoundFile::nextFile(bool discard)
{
    const QString current = m_temporaryPath.isEmpty() ? temporaryFile() : m_temporaryPath;
    if (m_singleFile != 0) {
        // The same file goes on growing; the restart that follows must append, not truncate.
        setCollecting(m_file.isOpen());
        m_collectingIdentity = m_file.identity();
        Q_EMIT fileReady(current, discard);
        return;
    }
    // The call's last frames belong to it, so the encoder is flushed into its own file. The
    // capture restarts after every call end, and that restart opens the next file.
    // The file is renamed while still open and locked, so no other process ever finds it
    // unlocked under either name before the controller has taken it.
    LockedFile finished = finishFile();
    const QString target = handOverName(folder(), true);
    const FileOps::RenameResult renamed = FileOps::renameNoReplace(current, target);
    if (renamed != FileOps::RenameResult::Done) {
        // Nothing can be handed over (a folder turned read-only, say): the call's audio stays
        // in the temporary file, which the next create moves aside or a later recovery takes,
        // and the failure is the writer's, reported once.
        holdHandOver(current, std::move(finished));
        reportWriteError(
            QStringLiteral("Writer: impossibile rinominare %1 in %2").arg(current, target));
        return;
    }
    holdHandOver(target, std::move(finished));
    Q_EMIT fileReady(target, discard);
}

QString CWriteSoundFile::handOverName(const QString& folderPath, bool fallback)
{
    for (int attempt = 0; attempt < 10; ++attempt) {
        const QString unique = FileOps::createUniqueTemporary(folderPath);
        if (unique.isEmpty())
            break;
        QFile::remove(unique);
        const QString name = unique.left(unique.size() - 4) + QStringLiteral(".prl");
        if (!QFile::exists(name))
            return name;
    }
    if (!fallback)
        return {};
    WriteLog(QStringLiteral("Impossibile creare un file temp automaticamente, procedo manualmente "
                            "(Last Error=0x%1)")
                 .arg(errno, 0, 16));
    const QString name = folderPath + QStringLiteral("tempReg.prl");
    // Only an empty one goes: one with audio is a recording nobody has taken yet.
    if (QFileInfo(name).size() == 0)
        QFile::remove(name);
    return name;
}
