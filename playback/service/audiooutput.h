#pragma once

namespace quiralto::playback {

/// Samples per second of every output.
inline constexpr int OutputSampleRate = 44100;

/// Where the synthesizer's sound goes.
enum class AudioOutput {
    Speakers,   ///< an audio output of the system, rendered on its own thread
    Offline,    ///< nowhere until asked: the caller renders samples into memory
};

} // namespace quiralto::playback
