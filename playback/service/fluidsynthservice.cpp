#include "playback/service/fluidsynthservice.h"

#include "midi/midifile.h"
#include "playback/service/requestrefused.h"
#include "playback/service/sequencerdevice.h"
#include "playback/service/synthengine.h"
#include "playback/service/systemsound.h"

#include <QFile>
#include <QFileInfo>
#include <QString>

#include <algorithm>

namespace quiralto::playback {
namespace {

using namespace std::chrono_literals;

// How long a request waits for an output being made: a few times what
// FluidSynth takes to make its PulseAudio driver on a busy machine, so that
// a missing sound server is reported by the request that needs it, while a
// hung one leaves the window answering.
constexpr auto QuickAnswer = 250ms;
// How long a play waits, off the UI thread, before it is told that no
// output came.
constexpr auto PlayPatience = 1000ms;

void runUnguarded(const std::function<void()> &handler)
{
    handler();
}

// FluidSynth's player accepts a missing, empty or garbled file and shows it
// only later as a file of length 0, so the service reads the file itself.
std::vector<std::uint8_t> readRequestedFile(const std::string &fileName)
{
    if (fileName.empty())
        throw RequestRefused(ErrorNoFileName);
    // The program keeps its texts, file names included, in Latin-1.
    const QFileInfo info(QString::fromLatin1(fileName.data(), static_cast<qsizetype>(fileName.size())));
    if (!info.exists())
        throw RequestRefused(ErrorFileNotFound);
    // Not only folders: a pipe or a device would block or never end.
    if (!info.isFile())
        throw RequestRefused(ErrorFileUnreadable);
    QFile file(info.filePath());
    if (!file.open(QIODevice::ReadOnly))
        throw RequestRefused(ErrorFileUnreadable);
    // One byte past the limit is enough for the reader to refuse the file.
    // QFile sets aside all it is asked for before it reads, so it is asked
    // for no more than the file holds: a key change opens three files.
    const qint64 wanted = std::min(file.size(), static_cast<qint64>(midi::MaxMidiFileSize)) + 1;
    const QByteArray bytes = file.read(wanted);
    if (file.error() != QFileDevice::NoError)
        throw RequestRefused(ErrorFileUnreadable);
    return {bytes.begin(), bytes.end()};
}

midi::MidiFile readRequestedMidiFile(const std::string &fileName)
{
    const auto bytes = readRequestedFile(fileName);
    try {
        return midi::readMidiFile(bytes);
    } catch (const midi::MidiFormatError &error) {
        throw RequestRefused(ErrorNotMidiFile, error.message());
    }
}

} // namespace

std::vector<std::string> FluidSynthService::defaultSoundFonts()
{
    return systemSoundFonts();
}

FluidSynthService::FluidSynthService(AudioOutput output, std::vector<std::string> soundFonts)
    : FluidSynthService(output, {}, std::move(soundFonts))
{
}

FluidSynthService::FluidSynthService(AudioDriverMaker makeDriver, std::vector<std::string> soundFonts)
    : FluidSynthService(AudioOutput::Speakers, std::move(makeDriver), std::move(soundFonts))
{
}

FluidSynthService::FluidSynthService(AudioOutput output, AudioDriverMaker makeDriver,
                                     std::vector<std::string> soundFonts)
    : m_output(output), m_makeDriver(std::move(makeDriver)), m_soundFonts(std::move(soundFonts)),
      m_guard(runUnguarded),
      m_outputWatch(
          m_guard, [this] { return m_engine->renderedBlocks(); }, [this] { return anyDevicePlays(); },
          [this] { outputLost(); }, [this] { m_engine->stopOutput(); })
{
    m_outputDeadline.setSingleShot(true);
    m_outputDeadline.setInterval(PlayPatience);
    QObject::connect(&m_outputDeadline, &QTimer::timeout, &m_outputNotices, [this] {
        m_guard([this] {
            if (settleOutput(0ms) == OutputState::Making)
                failPlaysWithoutOutput();
        });
    });
}

FluidSynthService::~FluidSynthService() = default;

void FluidSynthService::setHandlerGuard(HandlerGuard guard)
{
    m_guard = guard ? std::move(guard) : runUnguarded;
}

void FluidSynthService::prepare()
{
    if (m_engine || m_preparation.valid())
        return;
    // The thread gets copies of all it uses: the service may go before it
    // ends. It only begins the output: an output that fails is reported by
    // the open that needs it.
    m_preparation = std::async(std::launch::async, [output = m_output, makeDriver = m_makeDriver,
                                                    soundFonts = m_soundFonts, settled = outputSettledNotice()] {
        auto engine = std::make_unique<SynthEngine>(soundFonts);
        if (output == AudioOutput::Speakers)
            engine->beginOutput(makeDriver, settled);
        return engine;
    });
}

ErrorCode FluidSynthService::open(const std::string &fileName, DeviceId &device)
{
    try {
        const midi::MidiFile midi = readRequestedMidiFile(fileName);
        SynthEngine &synth = engine();
        requireOutput();
        const DeviceId id = nextDeviceId();
        m_devices.emplace(id, std::make_unique<SequencerDevice>(id, fileName, synth, midi, m_guard));
        device = id;
        return NoError;
    } catch (const RequestRefused &refused) {
        return fail(refused.code(), {fileName, refused.reason()});
    }
}

ErrorCode FluidSynthService::capability(DeviceId device, Capability item, std::uint32_t &answer)
{
    return onDevice(device, [&](SequencerDevice &) {
        switch (item) {
        case Capability::CanPlay:
            answer = 1;
            break;
        case Capability::CanRecord:
        case Capability::CanEject:
        case Capability::HasVideo:
            answer = 0;
            break;
        case Capability::DeviceType:
            answer = SequencerDeviceType;
            break;
        }
        return NoError;
    });
}

ErrorCode FluidSynthService::whereSource(DeviceId device)
{
    return onDevice(device, [](SequencerDevice &) { return ErrorUnsupportedFunction; });
}

ErrorCode FluidSynthService::mode(DeviceId device, DeviceMode &mode)
{
    return onDevice(device, [&](SequencerDevice &open) {
        mode = open.mode();
        return NoError;
    });
}

ErrorCode FluidSynthService::position(DeviceId device, std::uint32_t &position)
{
    return onDevice(device, [&](SequencerDevice &open) {
        position = open.position();
        return NoError;
    });
}

ErrorCode FluidSynthService::length(DeviceId device, std::uint32_t &length)
{
    return onDevice(device, [&](SequencerDevice &open) {
        length = open.length();
        return NoError;
    });
}

ErrorCode FluidSynthService::seekToStart(DeviceId device)
{
    return onDevice(device, [](SequencerDevice &open) { return open.seekToStart(); });
}

ErrorCode FluidSynthService::play(DeviceId device, QObject *notifyTarget)
{
    return onDevice(device, [&](SequencerDevice &open) {
        const OutputState output = requireOutput();
        const ErrorCode result = open.play(notifyTarget);
        if (output == OutputState::Making && !m_outputDeadline.isActive())
            m_outputDeadline.start();
        return result;
    });
}

ErrorCode FluidSynthService::close(DeviceId device)
{
    return onDevice(device, [&](SequencerDevice &) {
        m_devices.erase(device);
        return NoError;
    });
}

std::optional<std::string> FluidSynthService::errorText(ErrorCode code) const
{
    return serviceErrorText(code, m_lastFailure);
}

void FluidSynthService::renderFrames(int frames, std::vector<float> &interleavedStereo)
{
    Q_ASSERT_X(m_output == AudioOutput::Offline, "renderFrames",
               "the speakers' audio thread renders on its own");
    if (m_engine && m_output == AudioOutput::Offline)
        m_engine->render(frames, interleavedStereo);
    else
        interleavedStereo.assign(2 * static_cast<std::size_t>(std::max(frames, 0)), 0.0f);
}

// What prepare() made, as soon as it is done, or else a synthesizer made
// here. A preparation that failed may have met what is mended since (a
// SoundFont installed meanwhile): the open tries again, and reports what it
// meets itself, as if nothing had been prepared.
SynthEngine &FluidSynthService::engine()
{
    if (!m_engine && m_preparation.valid()) {
        try {
            m_engine = m_preparation.get();
        } catch (const RequestRefused &) {
        }
    }
    if (!m_engine)
        m_engine = std::make_unique<SynthEngine>(m_soundFonts);
    return *m_engine;
}

// The speakers need an output for every open and play; one that went away
// or was closed is made anew on the sound server that is there now. Throws
// when making it failed; one still being made is left to come.
OutputState FluidSynthService::requireOutput()
{
    if (m_output != AudioOutput::Speakers)
        return OutputState::Running;
    m_engine->beginOutput(m_makeDriver, outputSettledNotice());
    const OutputState state = settleOutput(QuickAnswer);
    if (state == OutputState::None)
        throw RequestRefused(ErrorNoAudioOutput);
    return state;
}

OutputState FluidSynthService::settleOutput(std::chrono::milliseconds patience)
{
    const OutputState state = m_engine->settleOutput(patience);
    if (state == OutputState::Running) {
        m_outputDeadline.stop();
        m_outputWatch.start();
    } else if (state == OutputState::None) {
        failPlaysWithoutOutput();
    }
    return state;
}

// Called on the thread that made or failed to make an output: the service
// hears of it on the UI thread, as soon as it is done.
std::function<void()> FluidSynthService::outputSettledNotice()
{
    return [this] {
        QMetaObject::invokeMethod(
            &m_outputNotices,
            [this] {
                m_guard([this] {
                    // The engine may still lie in the preparation that began the output.
                    engine();
                    settleOutput(0ms);
                });
            },
            Qt::QueuedConnection);
    };
}

void FluidSynthService::outputLost()
{
    m_engine->stopOutput();
    for (const auto &[id, device] : m_devices)
        device->outputLost(NoError);
}

// The plays that waited for an output end as a play refused for want of one
// does, each notice naming its own file.
void FluidSynthService::failPlaysWithoutOutput()
{
    m_outputDeadline.stop();
    for (const auto &[id, device] : m_devices)
        device->outputLost(ErrorNoAudioOutput);
}

bool FluidSynthService::anyDevicePlays()
{
    return std::ranges::any_of(m_devices, [](const auto &entry) { return entry.second->mode() == DeviceMode::Playing; });
}

// A request on an open device; a failure is remembered with the device's file.
template <typename Request>
ErrorCode FluidSynthService::onDevice(DeviceId device, Request request)
{
    const auto found = m_devices.find(device);
    if (found == m_devices.end())
        return fail(ErrorInvalidDevice, {});
    const std::string fileName = found->second->fileName();
    ErrorCode result = NoError;
    try {
        result = request(*found->second);
    } catch (const RequestRefused &refused) {
        result = refused.code();
    }
    return result == NoError ? NoError : fail(result, {fileName, {}});
}

// Remembers the failure, so that errorText can name its file.
ErrorCode FluidSynthService::fail(ErrorCode code, FailedRequest request)
{
    m_lastFailure = std::move(request);
    return code;
}

// Ids are not reused at once, so that a late question about a closed device
// cannot reach its successor.
DeviceId FluidSynthService::nextDeviceId()
{
    do {
        ++m_lastDeviceId;
    } while (m_lastDeviceId == 0 || m_devices.contains(m_lastDeviceId));
    return m_lastDeviceId;
}

} // namespace quiralto::playback
