#pragma once

#include <QObject>

#include <functional>
#include <string>
#include <utility>

namespace quiralto::windowing {

/// Where a failure goes once it has ended a handler: the application frame
/// shows its Latin-1 message in the error box.
using FailureSink = std::function<void(const std::string &message)>;

/// Sends every failure to \a sink from now on; returns the sink it replaces.
/// Until one is set, failures are written to the standard error stream.
FailureSink setFailureSink(FailureSink sink);

/// The Latin-1 message of the exception being handled. Call it only inside
/// a catch block.
std::string currentFailureMessage();

/// Hands the exception being handled to the failure sink. Call it only
/// inside a catch block.
void reportCurrentFailure() noexcept;

/// Runs \a handler where Qt calls into the program's code (a connection, an
/// event override). Handlers catch nothing: a failure ends the handler, and
/// is caught here and handed to the frame, so that it never unwinds through
/// Qt's own frames, which are not built to be unwound.
template <typename Handler>
void guarded(Handler &&handler) noexcept
{
    try {
        std::forward<Handler>(handler)();
    } catch (...) {
        reportCurrentFailure();
    }
}

/// Connects \a signal of \a sender to the handler method \a handler of
/// \a receiver through guarded(): the way the program's handlers are wired.
template <typename Sender, typename Signal, typename Receiver, typename... Arguments>
QMetaObject::Connection connectHandler(Sender *sender, Signal signal, Receiver *receiver,
                                       void (Receiver::*handler)(Arguments...))
{
    return QObject::connect(sender, signal, receiver, [receiver, handler](Arguments... arguments) {
        guarded([&] { (receiver->*handler)(arguments...); });
    });
}

} // namespace quiralto::windowing
