#pragma once

/// Identifiers of the messages between the Recorder window, the capture thread and the writer
/// thread. The same number means different things to different receivers. They name the
/// posted calls of CRecordSound and CWriteSoundFile; the notifications to the window are the
/// signals named in each entry.
namespace ThreadMessages {

constexpr int WM_USER = 0x400;

// Window -> capture thread (CRecordSound::postMessage).
constexpr int UWM_RECORD_START = WM_USER + 500;
constexpr int UWM_RECORD_STOP = WM_USER + 501;
constexpr int UWM_RECORD_IDLE = WM_USER + 502;
constexpr int UWM_THREAD_END = WM_USER + 503; ///< also capture -> writer
constexpr int UWM_SET_WRITER = WM_USER + 504; ///< CRecordSound::postSetWriter
constexpr int UWM_AUTO_RECORD = WM_USER + 505;

// Capture thread -> window (CRecordSound signals).
constexpr int UWM_VOICE_DETECTED = WM_USER + 500; ///< CRecordSound::voiceDetected
constexpr int UWM_INPUT_LEVEL = WM_USER + 503;    ///< CRecordSound::inputLevel

// Writer thread -> window (CWriteSoundFile signals).
constexpr int UWM_FILE_READY = WM_USER + 501; ///< CWriteSoundFile::fileReady

// Capture thread -> writer thread (CWriteSoundFile::postMessage / postData).
constexpr int UWM_WRITER_CREATE = WM_USER + 700;
constexpr int UWM_WRITER_DATA = WM_USER + 701;
constexpr int UWM_WRITER_CLOSE = WM_USER + 702;
constexpr int UWM_WRITER_NEXT_FILE = WM_USER + 704;

} // namespace ThreadMessages
