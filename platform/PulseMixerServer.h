#pragma once

#include "platform/MixerServer.h"

#include <memory>

/// The mixer connection on PulseAudio (or PipeWire's PulseAudio service): a libpulse context
/// on a threaded main loop of its own. Volumes map 0..PA_VOLUME_NORM onto 0..65535. It never
/// starts a server; with none running connect() fails at once.
///
/// Lifecycle and threads: as MixerServer. Every blocking call waits for the server at most
/// `timeoutMs`; the change handler runs on the main loop's thread with the loop locked.
class PulseMixerServer : public MixerServer {
public:
    explicit PulseMixerServer(int timeoutMs = 3000);
    ~PulseMixerServer() override;
    PulseMixerServer(const PulseMixerServer&) = delete;
    PulseMixerServer& operator=(const PulseMixerServer&) = delete;

    bool connect() override;
    void disconnect() override;
    bool isConnected() const override;
    int lastError() const override;

    std::optional<MixerState> state() override;
    bool setVolume(MixerObject object, uint32_t index, int channels, uint32_t volume) override;
    bool setMute(MixerObject object, uint32_t index, bool muted) override;
    bool setActivePort(MixerObject object, uint32_t index, const QString& port) override;
    void setChangeHandler(std::function<void(const MixerChange&)> handler) override;

    /// The mixer scale to the server's and back; exact inverses on 0..65535.
    static uint32_t toServerVolume(uint32_t mixerVolume);
    static uint32_t toMixerVolume(uint32_t serverVolume);

    /// The main loop, the context and the change handler (defined in the .cpp).
    struct Connection;

private:
    std::unique_ptr<Connection> m_connection;
    int m_timeoutMs;
    int m_lastError = 0;
};
