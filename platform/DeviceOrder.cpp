#include "platform/DeviceOrder.h"

namespace {

template <typename Keep>
std::vector<const MixerDevice*> ordered(const std::vector<MixerDevice>& devices,
                                        const QString& defaultName, Keep keep)
{
    std::vector<const MixerDevice*> list;
    for (const MixerDevice& device : devices) {
        if (keep(device) && device.name == defaultName)
            list.push_back(&device);
    }
    for (const MixerDevice& device : devices) {
        if (keep(device) && device.name != defaultName)
            list.push_back(&device);
    }
    return list;
}

} // namespace

std::vector<const MixerDevice*> DeviceOrder::playDevices(const MixerState& state)
{
    return ordered(state.sinks, state.defaultSink, [](const MixerDevice&) { return true; });
}

std::vector<const MixerDevice*> DeviceOrder::recordDevices(const MixerState& state)
{
    return ordered(state.sources, state.defaultSource,
                   [](const MixerDevice& device) { return !device.monitor; });
}

int DeviceOrder::effective(int id, size_t count)
{
    return id >= 0 && size_t(id) < count ? id : 0;
}

const MixerDevice* DeviceOrder::at(const std::vector<const MixerDevice*>& devices, int id)
{
    return devices.empty() ? nullptr : devices[size_t(effective(id, devices.size()))];
}
