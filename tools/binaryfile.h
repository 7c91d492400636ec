#pragma once

#include <cstdint>
#include <filesystem>
#include <span>
#include <string>
#include <vector>

namespace quiralto::tools {

// Writes \a bytes to \a path under a temporary name beside it and renames,
// so a failure never leaves a half-written file where a program would open
// it. On failure, returns false with the reason in \a error.
bool writeFile(const std::filesystem::path &path, std::span<const std::uint8_t> bytes, std::string &error);

// The whole of the file at \a path; false, with the reason in \a error, when
// it cannot be read.
bool readFile(const std::filesystem::path &path, std::vector<std::uint8_t> &bytes, std::string &error);

} // namespace quiralto::tools
