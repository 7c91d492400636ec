#include "playback/service/fluidsynthlibrary.h"

#include "playback/service/mediaservice.h"
#include "playback/service/requestrefused.h"

#include <QLoggingCategory>

namespace quiralto::playback {
namespace {

Q_LOGGING_CATEGORY(fluidSynthLog, "quiralto.fluidsynth", QtWarningMsg)

// Any thread: the audio thread and the threads that make outputs log too.
// FluidSynth's own output would go to the standard error stream as it is,
// with whatever bytes a file name holds.
void logThroughQt(int level, const char *message, void *) noexcept
{
    const QString text = QString::fromLocal8Bit(message);
    switch (level) {
    case FLUID_PANIC:
    case FLUID_ERR:
        qCCritical(fluidSynthLog).noquote() << text;
        break;
    case FLUID_WARN:
        qCWarning(fluidSynthLog).noquote() << text;
        break;
    case FLUID_INFO:
        qCInfo(fluidSynthLog).noquote() << text;
        break;
    default:
        qCDebug(fluidSynthLog).noquote() << text;
        break;
    }
}

} // namespace

// Whichever thread makes the first synthesizer opens the library: the UI
// thread, or the one that prepares the synthesizer ahead of the first open.
const FluidSynthLibrary &FluidSynthLibrary::functions()
{
    static const std::optional<FluidSynthLibrary> library = [] {
        std::optional<FluidSynthLibrary> opened = open();
        if (opened) {
            for (const int level : {FLUID_PANIC, FLUID_ERR, FLUID_WARN, FLUID_INFO, FLUID_DBG})
                opened->fluid_set_log_function(level, &logThroughQt, nullptr);
        }
        return opened;
    }();
    if (!library)
        throw RequestRefused(ErrorNoSynthesizerLibrary);
    return *library;
}

} // namespace quiralto::playback
