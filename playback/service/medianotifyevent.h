#pragma once

#include "playback/service/mediaservice.h"

#include <QEvent>

#include <optional>
#include <string>
#include <utility>

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

    MediaNotifyEvent(DeviceId device, Reason reason, ErrorCode error = NoError,
                     std::optional<std::string> errorText = std::nullopt)
        : QEvent(eventType()), m_device(device), m_reason(reason), m_error(error),
          m_errorText(std::move(errorText)) {}

    DeviceId device() const { return m_device; }
    Reason reason() const { return m_reason; }
    /// Why a request that failed before it could sound failed, for the user
    /// to be told as of a refused request; NoError otherwise.
    ErrorCode error() const { return m_error; }
    /// The service's text for error(), naming the file of this request:
    /// the service's last failure may be another device's by the time the
    /// notice arrives.
    const std::optional<std::string> &errorText() const { return m_errorText; }

private:
    DeviceId m_device;
    Reason m_reason;
    ErrorCode m_error;
    std::optional<std::string> m_errorText;
};

} // namespace quiralto::playback
