#include "windowing/tooltipdesktop.h"

#include <QImage>

#include <algorithm>

namespace quiralto::windowing {

std::optional<int> rowsBelowHotSpot(const QImage &image, int hotSpotY)
{
    for (int y = image.height() - 1; y >= 0; --y) {
        for (int x = 0; x < image.width(); ++x) {
            if (qAlpha(image.pixel(x, y)) != 0)
                return std::max(0, y - hotSpotY);
        }
    }
    return std::nullopt;
}

} // namespace quiralto::windowing
