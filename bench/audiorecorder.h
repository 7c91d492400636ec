#pragma once

// Records a PulseAudio source through parec, noting when each piece of the
// recording arrives, so that the moment a sound reached the source can be
// told in the same clock as the input that caused it.

#include "bench/benchstats.h"

#include <cstdint>
#include <mutex>
#include <optional>
#include <string>
#include <thread>
#include <vector>

#include <sys/types.h>

namespace quiralto::bench {

class AudioRecorder
{
public:
    static constexpr int SampleRate = 44100;

    AudioRecorder() = default;
    ~AudioRecorder();
    AudioRecorder(const AudioRecorder &) = delete;
    AudioRecorder &operator=(const AudioRecorder &) = delete;

    // Records \a source (stereo, 16 bits, at SampleRate, as the null sink
    // plays, so nothing is converted) asking the server for pieces of
    // \a latencyMs. False when parec cannot be started.
    bool start(const std::string &source, int latencyMs);
    void stop();

    // Frames (one sample per channel) received so far.
    std::size_t frames() const;

    // The first frame at or after \a from with a sample other than zero, and
    // when the piece holding it arrived.
    struct Onset
    {
        std::size_t frame;
        Clock::time_point arrival;
        // How much later than the most punctual piece of the recording, set
        // against the frames' own clock, this piece arrived.
        double lateMs;
    };
    std::optional<Onset> firstSoundFrom(std::size_t from) const;

    // Whether the last \a count frames received are all zero.
    bool silentForLast(std::size_t count) const;

private:
    struct Piece
    {
        std::size_t endFrame;
        Clock::time_point arrival;
    };

    void readUntilEnd();

    pid_t m_pid = -1;
    int m_fd = -1;
    std::thread m_reader;
    mutable std::mutex m_lock;
    // The larger magnitude of the two channels, per frame.
    std::vector<std::uint16_t> m_peaks;
    std::vector<Piece> m_pieces;
};

} // namespace quiralto::bench
