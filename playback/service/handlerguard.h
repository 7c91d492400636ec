#pragma once

#include <functional>

namespace quiralto::playback {

/// Runs one of the service's own handlers where Qt calls it (a timer, a call
/// queued from another thread), so that a failure in it reaches the
/// program's error box instead of unwinding through Qt. The application
/// installs it; until then handlers run as they are.
using HandlerGuard = std::function<void(const std::function<void()> &handler)>;

} // namespace quiralto::playback
