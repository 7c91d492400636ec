#include "model/latin1.h"

namespace quiralto::model {

std::string latin1(std::string_view utf8)
{
    std::string out;
    out.reserve(utf8.size());
    for (std::size_t i = 0; i < utf8.size(); ++i) {
        const auto lead = static_cast<unsigned char>(utf8[i]);
        if (lead < 0x80) {
            out += static_cast<char>(lead);
            continue;
        }
        // Two-byte sequences C2/C3 xx cover U+0080..U+00FF, all of Latin-1.
        const bool twoByteLatin1 = (lead == 0xC2 || lead == 0xC3) && i + 1 < utf8.size()
            && (static_cast<unsigned char>(utf8[i + 1]) & 0xC0) == 0x80;
        if (twoByteLatin1) {
            const auto trail = static_cast<unsigned char>(utf8[++i]);
            out += static_cast<char>(((lead & 0x1F) << 6) | (trail & 0x3F));
            continue;
        }
        out += '?';
        while (i + 1 < utf8.size() && (static_cast<unsigned char>(utf8[i + 1]) & 0xC0) == 0x80)
            ++i;
    }
    return out;
}

} // namespace quiralto::model
