#include "bench/audiorecorder.h"

#include <algorithm>
#include <csignal>
#include <cstdlib>
#include <cstring>

#include <sys/wait.h>
#include <unistd.h>

namespace quiralto::bench {
namespace {

constexpr std::size_t BytesPerFrame = 4; // two channels of 16 bits

// Pieces from the recording's first half second are left out of the
// punctuality baseline: the server hands over what it had buffered then.
constexpr std::size_t SettlingFrames = AudioRecorder::SampleRate / 2;

} // namespace

AudioRecorder::~AudioRecorder()
{
    stop();
}

bool AudioRecorder::start(const std::string &source, int latencyMs)
{
    int pipeEnds[2];
    if (pipe(pipeEnds) != 0)
        return false;
    const std::string device = "--device=" + source;
    const std::string latency = "--latency-msec=" + std::to_string(latencyMs);
    m_pid = fork();
    if (m_pid == 0) {
        dup2(pipeEnds[1], STDOUT_FILENO);
        close(pipeEnds[0]);
        close(pipeEnds[1]);
        execlp("parec", "parec", "--raw", device.c_str(), "--format=s16le", "--rate=44100", "--channels=2",
               latency.c_str(), static_cast<char *>(nullptr));
        _exit(127);
    }
    close(pipeEnds[1]);
    if (m_pid < 0) {
        close(pipeEnds[0]);
        return false;
    }
    m_fd = pipeEnds[0];
    m_reader = std::thread([this] { readUntilEnd(); });
    return true;
}

void AudioRecorder::stop()
{
    if (m_pid > 0) {
        kill(m_pid, SIGTERM);
        waitpid(m_pid, nullptr, 0);
        m_pid = -1;
    }
    if (m_reader.joinable())
        m_reader.join();
    if (m_fd >= 0) {
        close(m_fd);
        m_fd = -1;
    }
}

// Each read is stamped as it returns: a piece cannot have reached the
// source later than that.
void AudioRecorder::readUntilEnd()
{
    std::vector<unsigned char> buffer(16384);
    std::vector<unsigned char> partial;
    for (;;) {
        const ssize_t count = read(m_fd, buffer.data(), buffer.size());
        const auto arrival = Clock::now();
        if (count <= 0)
            return;
        partial.insert(partial.end(), buffer.begin(), buffer.begin() + count);
        const std::size_t whole = partial.size() / BytesPerFrame;
        const std::lock_guard lock(m_lock);
        for (std::size_t frame = 0; frame < whole; ++frame) {
            std::uint16_t peak = 0;
            for (std::size_t channel = 0; channel < 2; ++channel) {
                std::int16_t sample;
                std::memcpy(&sample, &partial[frame * BytesPerFrame + channel * 2], 2);
                peak = std::max<std::uint16_t>(peak, std::uint16_t(std::abs(int(sample))));
            }
            m_peaks.push_back(peak);
        }
        partial.erase(partial.begin(), partial.begin() + std::ptrdiff_t(whole * BytesPerFrame));
        m_pieces.push_back({m_peaks.size(), arrival});
    }
}

std::size_t AudioRecorder::frames() const
{
    const std::lock_guard lock(m_lock);
    return m_peaks.size();
}

std::optional<AudioRecorder::Onset> AudioRecorder::firstSoundFrom(std::size_t from) const
{
    const std::lock_guard lock(m_lock);
    const auto sound = std::find_if(m_peaks.begin() + std::ptrdiff_t(std::min(from, m_peaks.size())), m_peaks.end(),
                                    [](std::uint16_t peak) { return peak != 0; });
    if (sound == m_peaks.end())
        return std::nullopt;
    const auto frame = std::size_t(sound - m_peaks.begin());
    const auto piece = std::find_if(m_pieces.begin(), m_pieces.end(),
                                    [frame](const Piece &piece) { return piece.endFrame > frame; });

    // A piece's arrival less the time its last frame stands for in the
    // recording is constant for pieces delivered without delay; the smallest
    // such difference is the most punctual delivery seen.
    const auto offsetMs = [](const Piece &piece) {
        return std::chrono::duration<double, std::milli>(piece.arrival.time_since_epoch()).count()
            - 1000.0 * double(piece.endFrame) / SampleRate;
    };
    double punctual = offsetMs(*piece);
    for (const Piece &other : m_pieces) {
        if (other.endFrame > SettlingFrames)
            punctual = std::min(punctual, offsetMs(other));
    }
    return Onset{frame, piece->arrival, offsetMs(*piece) - punctual};
}

bool AudioRecorder::silentForLast(std::size_t count) const
{
    const std::lock_guard lock(m_lock);
    if (m_peaks.size() < count)
        return false;
    return std::all_of(m_peaks.end() - std::ptrdiff_t(count), m_peaks.end(),
                       [](std::uint16_t peak) { return peak == 0; });
}

} // namespace quiralto::bench
