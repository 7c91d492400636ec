#pragma once

#include "playback/service/mediaservice.h"

#include <exception>
#include <string>

namespace quiralto::playback {

// Ends a service request early; the service answers with its code. It never
// leaves the service.
class RequestRefused : public std::exception
{
public:
    explicit RequestRefused(ErrorCode code, std::string reason = {})
        : m_code(code), m_reason(std::move(reason)) {}

    ErrorCode code() const noexcept { return m_code; }
    /// Why, in Latin-1, when the code alone does not say it.
    const std::string &reason() const noexcept { return m_reason; }
    const char *what() const noexcept override { return "service request refused"; }

private:
    ErrorCode m_code;
    std::string m_reason;
};

} // namespace quiralto::playback
