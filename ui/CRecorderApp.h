#pragma once

#include "audio/CRecordSound.h"

#include <QObject>
#include <QString>

class CRecorderDlg;
class MessagePresenter;

/// The application: lets one instance run, runs the update program, gives a new user the
/// machine-wide settings and then runs the Recorder window until it ends. UI thread.
class CRecorderApp : public QObject {
    Q_OBJECT
public:
    /// `lockPath` is the single-instance lock file (InstanceLock::defaultPath() in the program);
    /// `input` is handed to the window (empty: the microphone).
    CRecorderApp(MessagePresenter& messages, QString lockPath,
                 CRecordSound::InputFactory input = {}, QObject* parent = nullptr);

    /// The whole run of the program; returns its exit status. Returns at once, with 0, when
    /// another instance already runs.
    int InitInstance();

Q_SIGNALS:
    /// The Recorder window has started and is shown; it runs until it ends.
    void windowStarted(CRecorderDlg* window);

private:
    void runUpdateProgram(const QString& programFolder);

    MessagePresenter& m_messages;
    QString m_lockPath;
    CRecordSound::InputFactory m_input;
};
