#pragma once

#include "playback/service/mediaservice.h"

#include <set>

namespace quiralto::testsupport {

/// The devices \a service holds open, found by asking every identifier for
/// its mode: works for any service, without a way in of its own.
inline std::set<playback::DeviceId> openDevices(playback::MediaService &service)
{
    std::set<playback::DeviceId> open;
    for (int id = 1; id <= 0xFFFF; ++id) {
        playback::DeviceMode mode;
        if (service.mode(playback::DeviceId(id), mode) == playback::NoError)
            open.insert(playback::DeviceId(id));
    }
    return open;
}

} // namespace quiralto::testsupport
