#pragma once

#include <QString>
#include <QStringList>

/// Spoken test calls made with espeak-ng and sox, the way a caller sounds to the recorder.
class SpokenAudio {
public:
    /// True when both tools are on the PATH.
    static bool toolsPresent();
    /// Runs `program` with `args` (two minutes at most); true when it ended with status 0.
    static bool runTool(const QString& program, const QStringList& args);
    /// Writes `folder` + `name`: a WAV of `sentences`, each after `gap` seconds of silence,
    /// ending in silence. Working files go to `folder` (ending with "/"). Returns the path,
    /// empty when a tool failed.
    static QString calls(const QString& folder, const QStringList& sentences, double gap,
                         const QString& name);
};
