#pragma once

#include <cstdint>
#include <optional>
#include <string>

class QObject;

namespace quiralto::playback {

/// Identifies an open device; 0 is never a valid device.
using DeviceId = std::uint16_t;
/// Result of a service request; 0 is success.
using ErrorCode = std::uint32_t;

inline constexpr ErrorCode NoError = 0;

/// Error codes the services share, so that every implementation (and the
/// player's error texts) agree on their meaning.
enum ServiceError : ErrorCode {
    ErrorNoFileName = 1,        ///< open with an empty name
    ErrorFileNotFound,          ///< no such file
    ErrorFileUnreadable,        ///< exists but cannot be read (a folder, no permission)
    ErrorNotMidiFile,           ///< not a well-formed Standard MIDI File
    ErrorNoSoundFont,           ///< no General MIDI SoundFont installed
    ErrorNoAudioOutput,         ///< no audio output could be started
    ErrorInvalidDevice,         ///< the device id is not open
    ErrorUnsupportedFunction,   ///< the device does not do that
    ErrorSynthesizer,           ///< the synthesizer refused the request
    ErrorNoSynthesizerLibrary,  ///< FluidSynth's library is missing or not the one expected
};

enum class DeviceMode { Stopped, Playing };

/// Items of the capability query.
enum class Capability { CanPlay, CanRecord, CanEject, HasVideo, DeviceType };

/// Plays MIDI files for the scale players. Every request runs on the UI
/// thread and returns when done, except play, which returns at once.
class MediaService
{
public:
    virtual ~MediaService() = default;

    /// The user is about to choose what to open: readies, off the UI thread,
    /// what the first open needs, so that it waits less. Reports nothing; a
    /// failure shows at the open that needs what failed. Nothing to do for a
    /// service that is always ready.
    virtual void prepare() {}

    /// Opens \a fileName, resolved against the working directory, as a new
    /// device of its own. On success stores the device in \a device.
    virtual ErrorCode open(const std::string &fileName, DeviceId &device) = 0;

    /// Answers a capability query; for CanPlay a non-zero answer means yes.
    virtual ErrorCode capability(DeviceId device, Capability item, std::uint32_t &answer) = 0;

    /// The source rectangle of a video device; MIDI devices have none.
    virtual ErrorCode whereSource(DeviceId device) = 0;

    virtual ErrorCode mode(DeviceId device, DeviceMode &mode) = 0;

    /// Position and length share one unit; the position equals the length
    /// once the file has played to its end.
    virtual ErrorCode position(DeviceId device, std::uint32_t &position) = 0;
    virtual ErrorCode length(DeviceId device, std::uint32_t &length) = 0;

    virtual ErrorCode seekToStart(DeviceId device) = 0;

    /// Starts playing from the current position, or goes on playing if the
    /// device already plays, and returns at once. When this request ends (the
    /// file played to its end, a newer play request superseded it, or the
    /// device was closed) one MediaNotifyEvent is posted to \a notifyTarget,
    /// so it arrives on the UI thread through the event loop.
    virtual ErrorCode play(DeviceId device, QObject *notifyTarget) = 0;

    /// Closes the device, silencing it at once.
    virtual ErrorCode close(DeviceId device) = 0;

    /// A Portuguese text for \a code, naming the file of the request that
    /// failed with it; nothing when the service has no text for the code.
    virtual std::optional<std::string> errorText(ErrorCode code) const = 0;
};

} // namespace quiralto::playback
