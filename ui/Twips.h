#pragma once

#include "shell/Numbers.h"

#include <QRect>

// The window's places are given in twips (1/1440 inch): 15 twips to a pixel at 96 dpi.
namespace Twips {

inline constexpr double kPerPixel = 15.0;

inline int ToPixels(double twips) {
    return static_cast<int>(Numbers::RoundHalfEven(twips / kPerPixel));
}
inline int FromPixels(int pixels) {
    return static_cast<int>(pixels * kPerPixel);
}
inline QRect ToRect(int left, int top, int width, int height) {
    return QRect(ToPixels(left), ToPixels(top), ToPixels(width), ToPixels(height));
}

} // namespace Twips
