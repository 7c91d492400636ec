#pragma once

#include <exception>
#include <string>

namespace quiralto {

/// The program's base error: one message, in Latin-1, shown to the user
/// by the application frame.
class Exception : public std::exception
{
public:
    explicit Exception(std::string message) : m_message(std::move(message)) {}

    const std::string &message() const noexcept { return m_message; }
    const char *what() const noexcept override { return m_message.c_str(); }

private:
    std::string m_message;
};

} // namespace quiralto
