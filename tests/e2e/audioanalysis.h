#pragma once

#include <QProcess>
#include <QTemporaryDir>

#include <cstdint>
#include <optional>
#include <span>
#include <vector>

/// Mono 16-bit samples as recorded from the sink's monitor.
struct Recording
{
    int sampleRate;
    std::vector<float> samples; // -1..1
};

Recording recordingFromRaw(const std::vector<std::int16_t> &raw, int sampleRate);

/// The first sample at or after \a from whose magnitude exceeds \a threshold.
std::optional<std::size_t> firstSoundAfter(const Recording &recording, std::size_t from, float threshold);

/// The MIDI note (40..96) that best explains \a window: the note whose first
/// three harmonics together carry the most energy.
int dominantNote(std::span<const float> window, int sampleRate);

/// The notes heard one after another from \a from on: the dominant note of
/// short overlapping windows, wherever the sound is loud enough, each note
/// counted once however long it lasts (and a note that returns after another
/// counted again). Independent of tempo, so a recording
/// stretched by a busy machine still reads right.
std::vector<int> noteSequence(const Recording &recording, std::size_t from);

/// What is wrong with \a recording as E harmonic minor from E4, up and
/// down (what Play beside the harmonic grid plays for "Mi Menor - 1
/// Sustenido"), heard after \a clickSample, in pitch and order (a busy
/// machine may stretch it): empty when nothing is.
QString notTheEHarmonicMinorScale(const Recording &recording, std::size_t clickSample);

class DesktopSession;

/// Records what the desktop's null sink plays, from its monitor, with parec:
/// mono at 44100 Hz, with as little latency as the server allows.
class MonitorRecorder
{
public:
    static constexpr int SampleRate = 44100;

    explicit MonitorRecorder(const DesktopSession &desktop);
    ~MonitorRecorder();

    /// Starts recording and waits until half a second has arrived; false
    /// when it did not.
    bool start();
    /// The samples recorded so far: now, on the recording's clock, which
    /// trails the true one.
    std::size_t samplesSoFar() const;
    /// Stops recording and returns all of it.
    Recording stop();

private:
    QString rawPath() const;

    const DesktopSession &m_desktop;
    QTemporaryDir m_folder;
    QProcess m_parec;
};
