#include "windowing/handlerboundary.h"

#include "model/exception.h"
#include "model/latin1.h"

#include <QString>

#include <cstdio>
#include <exception>

namespace quiralto::windowing {
namespace {

// The program's messages are Latin-1; the standard error stream, which gets
// them before the frame has taken over, is read as UTF-8.
void writeToStandardError(const std::string &message)
{
    const QByteArray text = QString::fromLatin1(message.data(), static_cast<qsizetype>(message.size())).toUtf8();
    std::fprintf(stderr, "%s\n", text.constData());
}

FailureSink &currentSink()
{
    static FailureSink sink = writeToStandardError;
    return sink;
}

} // namespace

std::string currentFailureMessage()
{
    try {
        throw;
    } catch (const Exception &error) {
        return error.message();
    } catch (const std::exception &error) {
        return error.what();
    } catch (...) {
        return model::latin1("Erro desconhecido");
    }
}

FailureSink setFailureSink(FailureSink sink)
{
    return std::exchange(currentSink(), sink ? std::move(sink) : writeToStandardError);
}

void reportCurrentFailure() noexcept
{
    try {
        const std::string message = currentFailureMessage();
        // A copy, so that a sink replaced while it runs (a test's recorder
        // going out of scope inside the error box's loop) lives to its end.
        const FailureSink sink = currentSink();
        sink(message);
    } catch (...) {
        // Showing the failure failed in turn (no memory for its text, a
        // failing sink); nothing is left that could show it.
    }
}

} // namespace quiralto::windowing
