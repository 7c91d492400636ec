#include "playback/service/fluidsynthservice.h"

#include "midi/midifile.h"
#include "playback/service/requestrefused.h"
#include "playback/service/sequencerdevice.h"
#include "playback/service/synthengine.h"

#include <QFile>
#include <QFileInfo>
#include <QString>

#include <algorithm>

namespace quiralto::playback {
namespace {

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
    return {"/usr/share/sounds/sf2/default-GM.sf2", "/usr/share/sounds/sf2/FluidR3_GM.sf2"};
}

FluidSynthService::FluidSynthService(AudioOutput output, std::vector<std::string> soundFonts)
    : m_output(output), m_soundFonts(std::move(soundFonts))
{
}

FluidSynthService::~FluidSynthService() = default;

ErrorCode FluidSynthService::open(const std::string &fileName, DeviceId &device)
{
    try {
        const midi::MidiFile midi = readRequestedMidiFile(fileName);
        if (!m_engine)
            m_engine = std::make_unique<SynthEngine>(m_soundFonts, m_output);
        const DeviceId id = nextDeviceId();
        m_devices.emplace(id, std::make_unique<SequencerDevice>(id, fileName, *m_engine, midi));
        device = id;
        return NoError;
    } catch (const RequestRefused &refused) {
        return fail(refused.code(), {fileName, refused.reason()});
    }
}

ErrorCode FluidSynthService::capability(DeviceId device, Capability item, std::uint32_t &answer)
{
    if (!find(device))
        return fail(ErrorInvalidDevice, {});
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
}

ErrorCode FluidSynthService::whereSource(DeviceId device)
{
    if (!find(device))
        return fail(ErrorInvalidDevice, {});
    return failOn(device, ErrorUnsupportedFunction);
}

ErrorCode FluidSynthService::mode(DeviceId device, DeviceMode &mode)
{
    auto *open = find(device);
    if (!open)
        return fail(ErrorInvalidDevice, {});
    mode = open->mode();
    return NoError;
}

ErrorCode FluidSynthService::position(DeviceId device, std::uint32_t &position)
{
    auto *open = find(device);
    if (!open)
        return fail(ErrorInvalidDevice, {});
    position = open->position();
    return NoError;
}

ErrorCode FluidSynthService::length(DeviceId device, std::uint32_t &length)
{
    auto *open = find(device);
    if (!open)
        return fail(ErrorInvalidDevice, {});
    length = open->length();
    return NoError;
}

ErrorCode FluidSynthService::seekToStart(DeviceId device)
{
    auto *open = find(device);
    if (!open)
        return fail(ErrorInvalidDevice, {});
    return failOn(device, open->seekToStart());
}

ErrorCode FluidSynthService::play(DeviceId device, QObject *notifyTarget)
{
    auto *open = find(device);
    if (!open)
        return fail(ErrorInvalidDevice, {});
    return failOn(device, open->play(notifyTarget));
}

ErrorCode FluidSynthService::close(DeviceId device)
{
    if (m_devices.erase(device) == 0)
        return fail(ErrorInvalidDevice, {});
    return NoError;
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

SequencerDevice *FluidSynthService::find(DeviceId device) const
{
    const auto found = m_devices.find(device);
    return found == m_devices.end() ? nullptr : found->second.get();
}

// Remembers the failure, so that errorText can name its file.
ErrorCode FluidSynthService::fail(ErrorCode code, FailedRequest request)
{
    m_lastFailure = std::move(request);
    return code;
}

// For a request on an open device: remembers a failure with the device's file.
ErrorCode FluidSynthService::failOn(DeviceId device, ErrorCode code)
{
    if (code == NoError)
        return NoError;
    return fail(code, {find(device)->fileName(), {}});
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
