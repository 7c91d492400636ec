#pragma once

#include "model/exception.h"

namespace quiralto::playback {

/// Raised by a player whose device cannot be opened or played.
class EMCIDeviceError : public Exception
{
public:
    using Exception::Exception;
};

} // namespace quiralto::playback
