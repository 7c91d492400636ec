#include "tests/e2e/audioanalysis.h"

#include "tests/e2e/desktopsession.h"

#include <QDeadlineTimer>
#include <QFile>
#include <QFileInfo>
#include <QStringList>
#include <QThread>

#include <algorithm>
#include <cmath>
#include <cstring>
#include <numbers>

Recording recordingFromRaw(const std::vector<std::int16_t> &raw, int sampleRate)
{
    Recording recording{sampleRate, {}};
    recording.samples.reserve(raw.size());
    for (std::int16_t sample : raw)
        recording.samples.push_back(float(sample) / 32768.0f);
    return recording;
}

namespace {

const std::vector<int> EHarmonicMinorScale = {64, 66, 67, 69, 71, 72, 75, 76, 75, 72, 71, 69, 67, 66, 64};

QString noteList(const std::vector<int> &notes)
{
    QStringList names;
    for (const int note : notes)
        names << QString::number(note);
    return names.join(QLatin1Char(' '));
}

} // namespace

QString notTheEHarmonicMinorScale(const Recording &recording, std::size_t clickSample)
{
    const auto onset = firstSoundAfter(recording, clickSample, 0.003f);
    if (!onset)
        return QStringLiteral("nothing was heard after the click");
    const std::vector<int> heard = noteSequence(recording, *onset);
    if (heard != EHarmonicMinorScale)
        return QStringLiteral("heard ") + noteList(heard);
    return {};
}

std::optional<std::size_t> firstSoundAfter(const Recording &recording, std::size_t from, float threshold)
{
    for (std::size_t i = from; i < recording.samples.size(); ++i)
        if (std::fabs(recording.samples[i]) > threshold)
            return i;
    return std::nullopt;
}

namespace {

// Power of one frequency in a Hann-windowed block (Goertzel's recurrence).
double powerAt(std::span<const float> window, double frequency, int sampleRate)
{
    const double coefficient = 2.0 * std::cos(2.0 * std::numbers::pi * frequency / sampleRate);
    double previous = 0.0, beforePrevious = 0.0;
    const std::size_t n = window.size();
    for (std::size_t i = 0; i < n; ++i) {
        const double hann = 0.5 - 0.5 * std::cos(2.0 * std::numbers::pi * double(i) / double(n - 1));
        const double current = window[i] * hann + coefficient * previous - beforePrevious;
        beforePrevious = previous;
        previous = current;
    }
    return previous * previous + beforePrevious * beforePrevious - coefficient * previous * beforePrevious;
}

} // namespace

int dominantNote(std::span<const float> window, int sampleRate)
{
    int best = 0;
    double bestScore = -1e300;
    for (int note = 40; note <= 96; ++note) {
        const double fundamental = 440.0 * std::pow(2.0, (note - 69) / 12.0);
        // A product of harmonics (a sum of logarithms) favours the note whose
        // whole series is present, not a note an octave above or below.
        double score = 0.0;
        for (int harmonic = 1; harmonic <= 3; ++harmonic)
            score += std::log(powerAt(window, fundamental * harmonic, sampleRate) + 1e-12);
        if (score > bestScore) {
            bestScore = score;
            best = note;
        }
    }
    return best;
}

std::vector<int> noteSequence(const Recording &recording, std::size_t from)
{
    const std::size_t window = std::size_t(recording.sampleRate) / 10;
    const std::size_t hop = window / 2;
    const auto loudness = [&](std::size_t start) {
        double sum = 0.0;
        for (std::size_t i = start; i < start + window; ++i)
            sum += double(recording.samples[i]) * recording.samples[i];
        return std::sqrt(sum / double(window));
    };

    double loudest = 0.0;
    for (std::size_t start = from; start + window <= recording.samples.size(); start += hop)
        loudest = std::max(loudest, loudness(start));

    // A note is taken once three windows in a row agree on it, so the blur
    // where one note rings into the next, or a click, is not read as a note.
    constexpr int Agreeing = 3;
    std::vector<int> notes;
    int candidate = -1;
    int agreeing = 0;
    for (std::size_t start = from; start + window <= recording.samples.size(); start += hop) {
        const int note = loudness(start) < 0.05 * loudest
            ? -1
            : dominantNote(std::span(recording.samples).subspan(start, window), recording.sampleRate);
        agreeing = note == candidate ? agreeing + 1 : 1;
        candidate = note;
        if (note >= 0 && agreeing == Agreeing && (notes.empty() || notes.back() != note))
            notes.push_back(note);
    }
    return notes;
}

MonitorRecorder::MonitorRecorder(const DesktopSession &desktop)
    : m_desktop(desktop)
{
}

MonitorRecorder::~MonitorRecorder()
{
    stop();
}

QString MonitorRecorder::rawPath() const
{
    return m_folder.filePath(QStringLiteral("monitor.raw"));
}

bool MonitorRecorder::start()
{
    m_parec.setProcessEnvironment(m_desktop.environment());
    m_parec.setStandardOutputFile(rawPath());
    m_parec.start(QStringLiteral("parec"),
                  {QStringLiteral("--raw"), QStringLiteral("--device=") + DesktopSession::monitorSource(),
                   QStringLiteral("--format=s16le"), QStringLiteral("--rate=%1").arg(SampleRate),
                   QStringLiteral("--channels=1"), QStringLiteral("--latency-msec=10")});
    if (!m_parec.waitForStarted(5000))
        return false;
    const QDeadlineTimer deadline(10000);
    while (samplesSoFar() < std::size_t(SampleRate / 2)) {
        if (deadline.hasExpired())
            return false;
        QThread::msleep(50);
    }
    return true;
}

std::size_t MonitorRecorder::samplesSoFar() const
{
    return std::size_t(QFileInfo(rawPath()).size() / 2);
}

Recording MonitorRecorder::stop()
{
    if (m_parec.state() != QProcess::NotRunning) {
        m_parec.terminate();
        m_parec.waitForFinished(3000);
    }
    QFile rawFile(rawPath());
    if (!rawFile.open(QIODevice::ReadOnly))
        return {SampleRate, {}};
    const QByteArray bytes = rawFile.readAll();
    std::vector<std::int16_t> raw(std::size_t(bytes.size()) / 2);
    std::memcpy(raw.data(), bytes.constData(), raw.size() * 2);
    return recordingFromRaw(raw, SampleRate);
}
