#include "tools/binaryfile.h"

#include <cerrno>
#include <cstring>
#include <fstream>
#include <system_error>
#include <vector>

namespace quiralto::tools {

bool writeFile(const std::filesystem::path &path, std::span<const std::uint8_t> bytes, std::string &error)
{
    std::filesystem::path temporary = path;
    temporary += ".tmp";
    {
        std::ofstream out(temporary, std::ios::binary | std::ios::trunc);
        if (!out) {
            error = std::strerror(errno);
            return false;
        }
        out.write(reinterpret_cast<const char *>(bytes.data()), std::streamsize(bytes.size()));
        out.close();
        if (!out) {
            error = std::strerror(errno);
            std::filesystem::remove(temporary);
            return false;
        }
    }
    std::error_code renameError;
    std::filesystem::rename(temporary, path, renameError);
    if (renameError) {
        error = renameError.message();
        std::filesystem::remove(temporary);
        return false;
    }
    return true;
}

bool readFile(const std::filesystem::path &path, std::vector<std::uint8_t> &bytes, std::string &error)
{
    std::ifstream in(path, std::ios::binary);
    std::error_code sizeError;
    const auto size = std::filesystem::file_size(path, sizeError);
    if (!in || sizeError) {
        error = sizeError ? sizeError.message() : std::strerror(errno);
        return false;
    }
    bytes.resize(size);
    in.read(reinterpret_cast<char *>(bytes.data()), std::streamsize(size));
    if (!in) {
        error = std::strerror(errno);
        return false;
    }
    return true;
}

} // namespace quiralto::tools
