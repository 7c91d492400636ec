#pragma once

#include "windowing/handlerboundary.h"

#include <string>
#include <vector>

// Stands in for the application frame while it lives: every failure that
// ends a handler is kept here, in order, instead of being shown.
class FailureRecorder
{
public:
    FailureRecorder()
        : m_previous(quiralto::windowing::setFailureSink(
              [this](const std::string &message) { m_messages.push_back(message); }))
    {
    }
    ~FailureRecorder() { quiralto::windowing::setFailureSink(std::move(m_previous)); }

    FailureRecorder(const FailureRecorder &) = delete;
    FailureRecorder &operator=(const FailureRecorder &) = delete;

    const std::vector<std::string> &messages() const { return m_messages; }

private:
    std::vector<std::string> m_messages;
    quiralto::windowing::FailureSink m_previous;
};
