#pragma once

#include <QRect>

namespace quiralto::ui {

/// The screen resolution and text height the window's layout was made for.
inline constexpr int DesignDotsPerInch = 96;
inline constexpr int DesignTextHeight = 13;
/// The window font's height at the design resolution, in pixels; negative
/// as a character height (without internal leading).
inline constexpr int DesignFontHeight = -11;

/// value * numerator / denominator, rounded to the nearest integer with
/// halves away from zero.
constexpr int scaleValue(int value, int numerator, int denominator)
{
    const long long product = static_cast<long long>(value) * numerator;
    long long quotient = product / denominator;
    const long long remainder = product % denominator;
    const long long magnitude = remainder < 0 ? -remainder : remainder;
    const long long divisor = denominator < 0 ? -static_cast<long long>(denominator) : denominator;
    if (2 * magnitude >= divisor)
        quotient += (product < 0) != (denominator < 0) ? -1 : 1;
    return static_cast<int>(quotient);
}

/// A control's designed geometry scaled for a measured text height: its
/// edges move with the text, so neighbouring controls keep meeting where
/// they met.
constexpr QRect scaledGeometry(const QRect &designed, int textHeight)
{
    const int left = scaleValue(designed.left(), textHeight, DesignTextHeight);
    const int top = scaleValue(designed.top(), textHeight, DesignTextHeight);
    const int right = scaleValue(designed.left() + designed.width(), textHeight, DesignTextHeight);
    const int bottom = scaleValue(designed.top() + designed.height(), textHeight, DesignTextHeight);
    return QRect(left, top, right - left, bottom - top);
}

} // namespace quiralto::ui
