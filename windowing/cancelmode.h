#pragma once

#include <QEvent>

namespace quiralto::windowing {

/// Sent to the control that holds the pointer (a button held down on it)
/// when a modal box is about to open: the control leaves whatever mode the
/// press started, without finishing it, since it will never see the release.
class CancelModeEvent : public QEvent
{
public:
    static QEvent::Type eventType()
    {
        static const auto type = static_cast<QEvent::Type>(QEvent::registerEventType());
        return type;
    }

    CancelModeEvent() : QEvent(eventType()) {}
};

} // namespace quiralto::windowing
