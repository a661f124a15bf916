#pragma once

#include "platform/MixerServer.h"

#include <QStringList>

#include <functional>
#include <memory>
#include <mutex>

/// What a FakeMixerServer's connections share: the server's state, the changes asked of it
/// and the failures it is told to act out.
struct FakeMixer {
    std::mutex mutex;
    MixerState state;
    QStringList calls;
    bool refusePorts = false;
    /// How many more calls of state() are answered; -1: all of them.
    int stateAnswers = -1;
    std::function<void(const MixerChange&)> handler;
};

/// An audio server for the mixer lines where the private server cannot act a case out
/// (ports, a server that stops answering): it answers from a shared FakeMixer and records
/// the volume, mute and port changes asked of it.
class FakeMixerServer : public MixerServer {
public:
    explicit FakeMixerServer(std::shared_ptr<FakeMixer> mixer) : m_mixer(std::move(mixer)) {}
    bool connect() override { return m_connected = true; }
    void disconnect() override { m_connected = false; }
    bool isConnected() const override { return m_connected; }
    int lastError() const override { return m_error; }
    std::optional<MixerState> state() override
    {
        std::lock_guard lock(m_mixer->mutex);
        if (m_mixer->stateAnswers == 0) {
            m_error = ErrorTimeout;
            return std::nullopt;
        }
        if (m_mixer->stateAnswers > 0)
            --m_mixer->stateAnswers;
        return m_mixer->state;
    }
    bool setVolume(MixerObject, uint32_t index, int, uint32_t volume) override
    {
        std::lock_guard lock(m_mixer->mutex);
        m_mixer->calls << QStringLiteral("volume %1 %2").arg(index).arg(volume);
        return true;
    }
    bool setMute(MixerObject, uint32_t index, bool muted) override
    {
        std::lock_guard lock(m_mixer->mutex);
        m_mixer->calls << QStringLiteral("mute %1 %2").arg(index).arg(int(muted));
        for (MixerDevice& source : m_mixer->state.sources) {
            if (source.index == index)
                source.muted = muted;
        }
        return true;
    }
    bool setActivePort(MixerObject, uint32_t index, const QString& port) override
    {
        std::lock_guard lock(m_mixer->mutex);
        if (m_mixer->refusePorts) {
            m_error = ErrorInvalid;
            return false;
        }
        m_mixer->calls << QStringLiteral("port %1 %2").arg(index).arg(port);
        for (MixerDevice& source : m_mixer->state.sources) {
            if (source.index == index)
                source.activePort = port;
        }
        return true;
    }
    void setChangeHandler(std::function<void(const MixerChange&)> handler) override
    {
        std::lock_guard lock(m_mixer->mutex);
        m_mixer->handler = std::move(handler);
    }

private:
    std::shared_ptr<FakeMixer> m_mixer;
    bool m_connected = false;
    int m_error = 0;
};
