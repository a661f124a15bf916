#include "ui/TrayMenuRules.h"

std::vector<TrayMenuItem> TrayMenuRules::items(RecorderMode mode, bool recordingFeatures)
{
    // Only a recording made by hand can be stopped from here; a call ends by itself.
    const bool recording = mode.kind() == RecorderMode::Recording;
    const bool idle = mode.kind() == RecorderMode::Idle;
    const bool armed = mode.armed();

    TrayMenuItem autoRecording{kAutoRecording, armed ? 85 : 80, !recording, !armed, 0};
    autoRecording.pictureId = autoRecording.marked ? 262 : 256;
    TrayMenuItem newRecording{kNewRecording, 81, idle, idle, 0};
    newRecording.pictureId = newRecording.marked ? 255 : 261;
    TrayMenuItem stop{kStop, 82, recording, recording, 0};
    stop.pictureId = stop.marked ? 257 : 263;
    if (!recordingFeatures) {
        autoRecording.enabled = false;
        newRecording.enabled = false;
        stop.enabled = false;
    }
    return {{kOpen, 78, true, false, 0},
            {},
            {kOptions, 79, true, false, 259},
            autoRecording,
            {},
            newRecording,
            stop,
            {},
            {kExit, 83, true, false, 0}};
}

int TrayMenuRules::iconId(RecorderMode mode, bool recordingFeatures)
{
    if (!recordingFeatures)
        return 271;
    switch (mode.kind()) {
    case RecorderMode::Recording:
        return 242;
    case RecorderMode::Armed:
        return 241;
    case RecorderMode::AutoRecording:
        return 324;
    case RecorderMode::Idle:
        break;
    }
    return 271;
}

QString TrayMenuRules::picturePath(int id)
{
    return QStringLiteral(":/images/%1.svg").arg(id);
}
