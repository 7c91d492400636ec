#pragma once

#include "playback/service/mediaservice.h"

#include <QEvent>

namespace quiralto::playback {

/// Posted to a player when one of its play requests ends.
class MediaNotifyEvent : public QEvent
{
public:
    enum class Reason { Successful, Superseded, Aborted, Failure };

    static QEvent::Type eventType()
    {
        static const auto type = static_cast<QEvent::Type>(QEvent::registerEventType());
        return type;
    }

    MediaNotifyEvent(DeviceId device, Reason reason)
        : QEvent(eventType()), m_device(device), m_reason(reason) {}

    DeviceId device() const { return m_device; }
    Reason reason() const { return m_reason; }

private:
    DeviceId m_device;
    Reason m_reason;
};

} // namespace quiralto::playback
