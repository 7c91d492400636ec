#pragma once

#include "playback/service/mediaservice.h"

#include <optional>
#include <string>

namespace quiralto::playback {

// The request that failed last, as its error text tells it.
struct FailedRequest
{
    std::string fileName;   // Latin-1, as the player passed it
    std::string reason;     // Latin-1; why the file is not a MIDI file
};

// The Portuguese text, in Latin-1, for an error of FluidSynthService; nothing
// for a code it never answers.
std::optional<std::string> serviceErrorText(ErrorCode code, const FailedRequest &request);

} // namespace quiralto::playback
