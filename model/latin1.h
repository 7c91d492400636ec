#pragma once

#include <string>
#include <string_view>

namespace quiralto::model {

/// Converts UTF-8 text whose characters all lie below U+0100 to single-byte
/// Latin-1. The program keeps its texts in Latin-1, and its sources are UTF-8,
/// so every constant text passes through here once, when its table is filled.
/// A character outside Latin-1 (or broken UTF-8) becomes '?'.
std::string latin1(std::string_view utf8);

} // namespace quiralto::model
