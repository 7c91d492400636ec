#pragma once

#include "playback/service/medianotifyevent.h"
#include "playback/service/mediaservice.h"

#include <QPointer>
#include <QStringList>

#include <cstdint>
#include <map>
#include <optional>
#include <set>
#include <string>

namespace quiralto::testsupport {

/// What a file opens as, in a FakeMediaService.
struct FakeFile
{
    /// Non-zero: the open of this file fails with this code.
    playback::ErrorCode openError = playback::NoError;
    bool canPlay = true;
    playback::DeviceMode mode = playback::DeviceMode::Stopped;
    std::uint32_t length = 1000;
};

/// A media service that plays nothing: files, answers and failures are
/// scripted by the test, every request is logged, and the end of a play
/// request happens when the test says so. Notices are posted, so they arrive
/// through the event loop as the real ones do.
class FakeMediaService : public playback::MediaService
{
public:
    /// The requests of the interface, to script their failure.
    enum class Request { Open, Capability, WhereSource, Mode, Position, Length, SeekToStart, Play, Close };

    /// Makes \a name known; names never added fail to open with the
    /// missing-file error.
    void addFile(const std::string &name, const FakeFile &file = {});
    /// The code with which unknown names fail to open; ErrorFileNotFound
    /// unless changed.
    void setMissingFileError(playback::ErrorCode code);
    /// Every later request of kind \a request fails with \a code, or works
    /// again when \a code is NoError.
    void setFailure(Request request, playback::ErrorCode code);

    /// The requests made so far, one line each ("open Mi Prim.MID",
    /// "capability 1 CanPlay", "play 1", ...).
    const QStringList &requests() const { return m_requests; }
    void clearRequests() { m_requests.clear(); }

    std::set<playback::DeviceId> openDevices() const;
    playback::DeviceMode deviceMode(playback::DeviceId device) const;
    std::uint32_t devicePosition(playback::DeviceId device) const;
    void setDevicePosition(playback::DeviceId device, std::uint32_t position);

    /// The file plays to its end: the device stops at its length and the
    /// pending play request ends with a successful notice.
    void finishPlaying(playback::DeviceId device);
    /// Posts a superseded notice for the pending play request, leaving the
    /// device playing, as a service does when a newer request replaces it.
    void postSuperseded(playback::DeviceId device);

    playback::ErrorCode open(const std::string &fileName, playback::DeviceId &device) override;
    playback::ErrorCode capability(playback::DeviceId device, playback::Capability item,
                                   std::uint32_t &answer) override;
    playback::ErrorCode whereSource(playback::DeviceId device) override;
    playback::ErrorCode mode(playback::DeviceId device, playback::DeviceMode &mode) override;
    playback::ErrorCode position(playback::DeviceId device, std::uint32_t &position) override;
    playback::ErrorCode length(playback::DeviceId device, std::uint32_t &length) override;
    playback::ErrorCode seekToStart(playback::DeviceId device) override;
    playback::ErrorCode play(playback::DeviceId device, QObject *notifyTarget) override;
    playback::ErrorCode close(playback::DeviceId device) override;
    std::optional<std::string> errorText(playback::ErrorCode code) const override;

private:
    struct Device
    {
        std::string fileName;
        bool canPlay = true;
        playback::DeviceMode mode = playback::DeviceMode::Stopped;
        std::uint32_t position = 0;
        std::uint32_t length = 0;
        /// Where the notice of the play request still running goes.
        QPointer<QObject> pendingNotice;
    };

    /// Logs a request for \a id and answers whether it fails: because \a id
    /// names no open device, or by script.
    playback::ErrorCode check(Request request, playback::DeviceId id, const QString &detail = {});
    playback::ErrorCode fail(playback::ErrorCode code, const std::string &fileName);
    std::optional<playback::ErrorCode> scriptedFailure(Request request) const;
    static void postNotice(const QPointer<QObject> &target, playback::DeviceId id,
                           playback::MediaNotifyEvent::Reason reason);

    std::map<std::string, FakeFile> m_files;
    std::map<playback::DeviceId, Device> m_devices;
    std::map<Request, playback::ErrorCode> m_failures;
    playback::ErrorCode m_missingFileError = playback::ErrorFileNotFound;
    playback::DeviceId m_lastDevice = 0;
    std::string m_failedFileName;
    QStringList m_requests;
};

} // namespace quiralto::testsupport
