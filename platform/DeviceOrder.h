#pragma once

#include "platform/MixerServer.h"

#include <cstddef>
#include <vector>

/// The numbering of the audio server's devices, one rule for the mixer lines and the capture so
/// that a device number always means the same device to both. Device 0 is the server's default,
/// the others follow in the server's order. Play devices are the sinks; record devices are the
/// sources that are not monitors. A number beyond the list, or a negative one, means device 0.
class DeviceOrder {
public:
    /// The play devices of `state`, device 0 first; the pointers point into `state`.
    static std::vector<const MixerDevice*> playDevices(const MixerState& state);
    /// The record devices of `state`, device 0 first; the pointers point into `state`.
    static std::vector<const MixerDevice*> recordDevices(const MixerState& state);
    /// The number device `id` stands for among `count` devices: `id` itself when it is in the
    /// list, else 0.
    static int effective(int id, size_t count);
    /// Device `id` of `devices` (device 0 for a number beyond the list); null when the list is
    /// empty.
    static const MixerDevice* at(const std::vector<const MixerDevice*>& devices, int id);
};
