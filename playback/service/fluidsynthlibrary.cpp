#include "playback/service/fluidsynthlibrary.h"

#include "playback/service/mediaservice.h"
#include "playback/service/requestrefused.h"

#include <QCoreApplication>
#include <QLoggingCategory>

#include <cstdio>
#include <mutex>
#include <optional>

namespace quiralto::playback {
namespace {

Q_LOGGING_CATEGORY(fluidSynthLog, "quiralto.fluidsynth", QtWarningMsg)

// Qt's logging, the category above included, is torn down as the program
// ends, while a thread stranded in a sound server (one that dies at logout)
// may still log: from the application's end on, messages go to the standard
// error stream as they are. The lock keeps that end from coming while a
// message is on its way through Qt.
std::mutex qtLoggingLock;
bool applicationGone = false;

// Any thread: the audio thread and the threads that make outputs log too.
// FluidSynth's own output would go to the standard error stream as it is,
// with whatever bytes a file name holds.
void logThroughQt(int level, const char *message, void *) noexcept
{
    const std::lock_guard lock(qtLoggingLock);
    if (applicationGone) {
        std::fprintf(stderr, "quiralto.fluidsynth: %s\n", message);
        return;
    }
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
            qAddPostRoutine([] {
                const std::lock_guard lock(qtLoggingLock);
                applicationGone = true;
            });
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
