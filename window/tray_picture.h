// The tray icon's pictures: the program's picture (resources/icon.h) drawn for
// a given size, with or without the two activity lamps.
//
// A size below the picture's 32 pixels gets the 16-pixel drawing (every
// other pixel of every other row, the phase that keeps both strokes of the
// letter whole); any size gets the largest whole-number enlargement that
// fits, centred, so no size is blurred by resampling. The theme icons of the
// Linux package come from the same drawing.
//
// The lamps sit in the two top corners beside the triangle, each outlined in
// black so that it reads on light and dark panels alike, and each told apart
// from the other without colour too: received is a green triangle pointing
// down in the top-left corner, sent an amber triangle pointing up in the
// top-right corner. An unlit lamp is not drawn at all.
//
// Pure functions; callable from any thread.
#pragma once

#include <cstdint>

#include "platform/notification_area.h"

namespace tovi::tray {

// The colours, 0xAARRGGBB.
inline constexpr std::uint32_t kReceivedLamp = 0xFF00E000;  // green
inline constexpr std::uint32_t kSentLamp = 0xFFFFB000;      // amber
inline constexpr std::uint32_t kOutline = 0xFF000000;

// Which lamps are lit. The four states, in the order of index().
struct Lamps {
    bool received = false;
    bool sent = false;

    bool operator==(const Lamps&) const = default;
    // 0 none, 1 received, 2 sent, 3 both.
    int index() const { return (received ? 1 : 0) + (sent ? 2 : 0); }
};

inline constexpr int kLampStates = 4;

// The program's picture at `size` pixels (1 or more), without lamps.
platform::IconPicture plainPicture(int size);

// The picture at `size` pixels with the lit lamps drawn over it.
platform::IconPicture lampPicture(int size, Lamps lamps);

}  // namespace tovi::tray
