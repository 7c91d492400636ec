#include "tests/support/fakemediaservice.h"

#include <QCoreApplication>

#include <utility>

namespace quiralto::testsupport {

using playback::Capability;
using playback::DeviceId;
using playback::DeviceMode;
using playback::ErrorCode;
using playback::MediaNotifyEvent;
using playback::NoError;

namespace {

QString requestName(FakeMediaService::Request request)
{
    using Request = FakeMediaService::Request;
    switch (request) {
    case Request::Open: return QStringLiteral("open");
    case Request::Capability: return QStringLiteral("capability");
    case Request::WhereSource: return QStringLiteral("whereSource");
    case Request::Mode: return QStringLiteral("mode");
    case Request::Position: return QStringLiteral("position");
    case Request::Length: return QStringLiteral("length");
    case Request::SeekToStart: return QStringLiteral("seekToStart");
    case Request::Play: return QStringLiteral("play");
    case Request::Close: return QStringLiteral("close");
    }
    return {};
}

QString capabilityName(Capability item)
{
    switch (item) {
    case Capability::CanPlay: return QStringLiteral("CanPlay");
    case Capability::CanRecord: return QStringLiteral("CanRecord");
    case Capability::CanEject: return QStringLiteral("CanEject");
    case Capability::HasVideo: return QStringLiteral("HasVideo");
    case Capability::DeviceType: return QStringLiteral("DeviceType");
    }
    return {};
}

} // namespace

void FakeMediaService::addFile(const std::string &name, const FakeFile &file)
{
    m_files[name] = file;
}

void FakeMediaService::setMissingFileError(ErrorCode code)
{
    m_missingFileError = code;
}

void FakeMediaService::setFailure(Request request, ErrorCode code)
{
    m_failures[request] = code;
}

std::set<DeviceId> FakeMediaService::openDevices() const
{
    std::set<DeviceId> ids;
    for (const auto &[id, device] : m_devices)
        ids.insert(id);
    return ids;
}

DeviceMode FakeMediaService::deviceMode(DeviceId device) const
{
    return m_devices.at(device).mode;
}

std::uint32_t FakeMediaService::devicePosition(DeviceId device) const
{
    return m_devices.at(device).position;
}

void FakeMediaService::setDevicePosition(DeviceId device, std::uint32_t position)
{
    m_devices.at(device).position = position;
}

void FakeMediaService::finishPlaying(DeviceId id)
{
    Device &device = m_devices.at(id);
    device.position = device.length;
    device.mode = DeviceMode::Stopped;
    postNotice(std::exchange(device.pendingNotice, nullptr), id, MediaNotifyEvent::Reason::Successful);
}

void FakeMediaService::postSuperseded(DeviceId id)
{
    postNotice(m_devices.at(id).pendingNotice, id, MediaNotifyEvent::Reason::Superseded);
}

ErrorCode FakeMediaService::open(const std::string &fileName, DeviceId &device)
{
    m_requests << QStringLiteral("open ") + QString::fromLatin1(fileName);
    if (const auto failure = scriptedFailure(Request::Open))
        return fail(*failure, fileName);
    const auto known = m_files.find(fileName);
    if (known == m_files.end())
        return fail(fileName.empty() ? playback::ErrorNoFileName : m_missingFileError, fileName);
    const FakeFile &file = known->second;
    if (file.openError != NoError)
        return fail(file.openError, fileName);

    device = ++m_lastDevice;
    m_devices[device] = Device{fileName, file.canPlay, file.mode, 0, file.length, nullptr};
    return NoError;
}

ErrorCode FakeMediaService::capability(DeviceId device, Capability item, std::uint32_t &answer)
{
    if (const ErrorCode failure = check(Request::Capability, device, capabilityName(item)))
        return failure;
    // A MIDI sequencer records nothing, ejects nothing and shows no video.
    answer = item == Capability::CanPlay && m_devices.at(device).canPlay ? 1 : 0;
    return NoError;
}

ErrorCode FakeMediaService::whereSource(DeviceId device)
{
    if (const ErrorCode failure = check(Request::WhereSource, device))
        return failure;
    return fail(playback::ErrorUnsupportedFunction, m_devices.at(device).fileName);
}

ErrorCode FakeMediaService::mode(DeviceId device, DeviceMode &mode)
{
    if (const ErrorCode failure = check(Request::Mode, device))
        return failure;
    mode = m_devices.at(device).mode;
    return NoError;
}

ErrorCode FakeMediaService::position(DeviceId device, std::uint32_t &position)
{
    if (const ErrorCode failure = check(Request::Position, device))
        return failure;
    position = m_devices.at(device).position;
    return NoError;
}

ErrorCode FakeMediaService::length(DeviceId device, std::uint32_t &length)
{
    if (const ErrorCode failure = check(Request::Length, device))
        return failure;
    length = m_devices.at(device).length;
    return NoError;
}

ErrorCode FakeMediaService::seekToStart(DeviceId device)
{
    if (const ErrorCode failure = check(Request::SeekToStart, device))
        return failure;
    m_devices.at(device).position = 0;
    return NoError;
}

ErrorCode FakeMediaService::play(DeviceId id, QObject *notifyTarget)
{
    if (const ErrorCode failure = check(Request::Play, id))
        return failure;
    Device &device = m_devices.at(id);
    postNotice(device.pendingNotice, id, MediaNotifyEvent::Reason::Superseded);
    device.mode = DeviceMode::Playing;
    device.pendingNotice = notifyTarget;
    return NoError;
}

ErrorCode FakeMediaService::close(DeviceId id)
{
    if (const ErrorCode failure = check(Request::Close, id))
        return failure;
    postNotice(m_devices.at(id).pendingNotice, id, MediaNotifyEvent::Reason::Aborted);
    m_devices.erase(id);
    return NoError;
}

std::optional<std::string> FakeMediaService::errorText(ErrorCode code) const
{
    const char *text = nullptr;
    switch (code) {
    case playback::ErrorNoFileName: text = "Nenhum arquivo foi indicado para abrir."; break;
    case playback::ErrorFileNotFound: text = "O arquivo \"%1\" não foi encontrado."; break;
    case playback::ErrorFileUnreadable: text = "O arquivo \"%1\" não pode ser lido."; break;
    case playback::ErrorNotMidiFile: text = "O arquivo \"%1\" não é um arquivo MIDI válido."; break;
    case playback::ErrorNoSoundFont: text = "Não há banco de sons para tocar \"%1\"."; break;
    case playback::ErrorNoAudioOutput: text = "Não há saída de áudio para tocar \"%1\"."; break;
    case playback::ErrorInvalidDevice: text = "O dispositivo pedido não está aberto."; break;
    case playback::ErrorUnsupportedFunction: text = "O dispositivo de \"%1\" não atende a esse pedido."; break;
    case playback::ErrorSynthesizer: text = "O sintetizador recusou tocar \"%1\"."; break;
    default: return std::nullopt;
    }
    QString message = QString::fromUtf8(text);
    if (message.contains(QLatin1String("%1")))
        message = message.arg(QString::fromLatin1(m_failedFileName));
    return message.toLatin1().toStdString();
}

ErrorCode FakeMediaService::check(Request request, DeviceId id, const QString &detail)
{
    QString line = requestName(request) + QLatin1Char(' ') + QString::number(id);
    if (!detail.isEmpty())
        line += QLatin1Char(' ') + detail;
    m_requests << line;

    const auto device = m_devices.find(id);
    if (device == m_devices.end())
        return fail(playback::ErrorInvalidDevice, {});
    if (const auto failure = scriptedFailure(request))
        return fail(*failure, device->second.fileName);
    return NoError;
}

ErrorCode FakeMediaService::fail(ErrorCode code, const std::string &fileName)
{
    m_failedFileName = fileName;
    return code;
}

std::optional<ErrorCode> FakeMediaService::scriptedFailure(Request request) const
{
    const auto failure = m_failures.find(request);
    if (failure == m_failures.end() || failure->second == NoError)
        return std::nullopt;
    return failure->second;
}

void FakeMediaService::postNotice(const QPointer<QObject> &target, DeviceId id,
                                  MediaNotifyEvent::Reason reason)
{
    if (target)
        QCoreApplication::postEvent(target, new MediaNotifyEvent(id, reason));
}

} // namespace quiralto::testsupport
