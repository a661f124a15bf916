#include "tests/support/SpokenAudio.h"

#include <QProcess>
#include <QStandardPaths>

bool SpokenAudio::toolsPresent()
{
    return !QStandardPaths::findExecutable(QStringLiteral("espeak-ng")).isEmpty() &&
           !QStandardPaths::findExecutable(QStringLiteral("sox")).isEmpty();
}

bool SpokenAudio::runTool(const QString& program, const QStringList& args)
{
    QProcess process;
    process.start(program, args);
    return process.waitForFinished(120000) && process.exitStatus() == QProcess::NormalExit &&
           process.exitCode() == 0;
}

QString SpokenAudio::calls(const QString& folder, const QStringList& sentences, double gap,
                           const QString& name)
{
    QStringList parts;
    const QString silence = folder + QStringLiteral("silence.wav");
    if (!runTool(QStringLiteral("sox"), {"-n", "-r", "22050", "-c", "1", "-b", "16", silence,
                                         "trim", "0", QString::number(gap)}))
        return {};
    for (int i = 0; i < sentences.size(); ++i) {
        const QString speech = folder + QStringLiteral("speech%1.wav").arg(i);
        if (!runTool(QStringLiteral("espeak-ng"), {"-w", speech, sentences[i]}))
            return {};
        parts << silence << speech;
    }
    parts << silence;
    const QString path = folder + name;
    if (!runTool(QStringLiteral("sox"), parts + QStringList{path}))
        return {};
    return path;
}
