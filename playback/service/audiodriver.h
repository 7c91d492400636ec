#pragma once

#include <functional>
#include <memory>

namespace quiralto::playback {

/// Sends the synthesizer's sound to the system. From its making to its
/// deletion it pulls the sound, silence included, on a thread of its own;
/// one whose sound server goes away stops pulling, and says so to no one.
class AudioDriver
{
public:
    virtual ~AudioDriver() = default;
};

/// What a driver calls for the next \a frames of sound, in out[0] (left)
/// and out[1] (right), with the \a data it was made with; the signature of
/// FluidSynth's own audio callback.
using AudioCallback = int (*)(void *data, int frames, int nfx, float *fx[], int nout, float *out[]);

/// Makes a driver that pulls through \a callback, or nothing when no sound
/// can be sent anywhere now.
using AudioDriverMaker = std::function<std::unique_ptr<AudioDriver>(AudioCallback callback, void *data)>;

/// How far the synthesizer's output is: none, being made, or running.
enum class OutputState { None, Making, Running };

} // namespace quiralto::playback
