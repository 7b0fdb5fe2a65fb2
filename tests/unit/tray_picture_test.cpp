// The tray icon's lamps, checked pixel by pixel for what a user needs: four
// states that differ, lamps that read at 16 pixels on a light and on a dark
// panel, and received and sent told apart without their colours.
#include <gtest/gtest.h>

#include <cmath>
#include <cstdint>
#include <functional>
#include <map>
#include <set>
#include <utility>
#include <vector>

#include "resources/icon.h"
#include "window/tray_picture.h"

namespace tovi {
namespace {

using platform::IconPicture;
using tray::Lamps;

std::uint32_t at(const IconPicture& p, int col, int row) {
    return p.argb[static_cast<std::size_t>(row * p.size + col)];
}

// Contrast ratio of two opaque colours, from their relative luminance.
double contrast(std::uint32_t a, std::uint32_t b) {
    const auto luminance = [](std::uint32_t argb) {
        const auto channel = [](std::uint32_t value) {
            const double c = static_cast<double>(value & 0xFF) / 255.0;
            return c <= 0.03928 ? c / 12.92 : std::pow((c + 0.055) / 1.055, 2.4);
        };
        return 0.2126 * channel(argb >> 16) + 0.7152 * channel(argb >> 8) + 0.0722 * channel(argb);
    };
    const double la = luminance(a), lb = luminance(b);
    return (std::max(la, lb) + 0.05) / (std::min(la, lb) + 0.05);
}

using Pixels = std::set<std::pair<int, int>>;  // (col, row)

Pixels where(int size, const std::function<bool(int, int)>& test) {
    Pixels found;
    for (int row = 0; row < size; ++row)
        for (int col = 0; col < size; ++col)
            if (test(col, row)) found.insert({col, row});
    return found;
}

Pixels ofColour(const IconPicture& p, std::uint32_t colour) {
    return where(p.size, [&](int col, int row) { return at(p, col, row) == colour; });
}

Pixels changed(const IconPicture& a, const IconPicture& b) {
    return where(a.size, [&](int col, int row) { return at(a, col, row) != at(b, col, row); });
}

// Width of the lamp's lit area in each of its rows, top to bottom.
std::vector<int> rowWidths(const Pixels& lit) {
    std::map<int, int> perRow;
    for (const auto& pixel : lit) ++perRow[pixel.second];
    std::vector<int> widths;
    for (const auto& row : perRow) widths.push_back(row.second);
    return widths;
}

TEST(TrayPicture, TheSixteenPixelPictureIsTheHalvedIconWithBothStrokesWhole) {
    const IconPicture plain = tray::plainPicture(16);
    ASSERT_EQ(plain.argb.size(), 256u);
    for (int row = 0; row < 16; ++row) {
        for (int col = 0; col < 16; ++col) {
            const std::uint8_t entry = icon::pixels()[static_cast<std::size_t>(row * 2)][static_cast<std::size_t>(col * 2)];
            EXPECT_EQ(at(plain, col, row) >> 24, entry == icon::kTransparent ? 0u : 0xFFu) << col << "," << row;
        }
    }
    // Rows 12 to 15 hold the letter's two strokes, each 2 pixels wide.
    for (int row = 12; row < 16; ++row) {
        EXPECT_EQ(at(plain, 4, row), 0xFFFF0000u);
        EXPECT_EQ(at(plain, 10, row), 0xFFFF0000u);
    }
    // Larger sizes: a whole-number enlargement, centred.
    const IconPicture big = tray::plainPicture(64);
    for (int row = 0; row < 64; ++row)
        for (int col = 0; col < 64; ++col) ASSERT_EQ(at(big, col, row), at(tray::plainPicture(32), col / 2, row / 2));
    const IconPicture slot = tray::plainPicture(22);
    EXPECT_EQ(at(slot, 3 + 4, 3 + 12), 0xFFFF0000u) << "the 16-pixel picture, 3-pixel margin";
    EXPECT_EQ(at(slot, 0, 21), 0u);
}

TEST(TrayPicture, FourDistinctStatesEachLegibleOnLightAndDarkPanels) {
    // A light panel meets the lamps' dark outline, a dark panel their colour.
    for (const std::uint32_t lamp : {tray::kReceivedLamp, tray::kSentLamp})
        EXPECT_GE(contrast(lamp, 0xFF202020), 4.5) << "a lamp fades into a dark panel";
    EXPECT_GE(contrast(tray::kOutline, 0xFFF0F0F0), 4.5) << "the outline fades into a light panel";

    for (const int size : {16, 20, 22, 24, 32, 48}) {
        SCOPED_TRACE("size " + std::to_string(size));
        const IconPicture none = tray::lampPicture(size, {});
        const IconPicture received = tray::lampPicture(size, {true, false});
        const IconPicture sent = tray::lampPicture(size, {false, true});
        const IconPicture both = tray::lampPicture(size, {true, true});
        EXPECT_EQ(none.argb, tray::plainPicture(size).argb) << "no lamp lit: the plain picture";
        EXPECT_EQ((std::set{none.argb, received.argb, sent.argb, both.argb}.size()), 4u) << "two states look alike";

        Pixels eitherArea;
        for (const bool isReceived : {true, false}) {
            SCOPED_TRACE(isReceived ? "received" : "sent");
            const IconPicture& picture = isReceived ? received : sent;
            // Each lamp changes only its own top corner: received left, sent right.
            for (const auto& [col, row] : changed(none, picture)) {
                EXPECT_TRUE(row < size / 2 && (col < size / 2) == isReceived) << col << "," << row;
                eitherArea.insert({col, row});
            }
            const Pixels lit = ofColour(picture, isReceived ? tray::kReceivedLamp : tray::kSentLamp);
            // Enough lit pixels to be seen: 12 at 16 pixels, more with the area.
            EXPECT_GE(lit.size(), static_cast<std::size_t>(12 * size * size / 256)) << "lamp too small";
            // Framed: no lit pixel touches a see-through one.
            for (const auto& [col, row] : lit) {
                for (const auto& [dc, dr] : {std::pair{-1, 0}, {1, 0}, {0, -1}, {0, 1}}) {
                    const int c = col + dc, r = row + dr;
                    if (c < 0 || r < 0 || c >= size || r >= size) continue;
                    EXPECT_NE(at(picture, c, r) >> 24, 0u) << "lit pixel " << col << "," << row << " is unframed";
                }
            }
            // Told apart without colour: received points down (widest at the
            // top), sent points up (widest at the bottom).
            const std::vector<int> widths = rowWidths(lit);
            ASSERT_GE(widths.size(), 2u);
            EXPECT_TRUE(isReceived ? widths.front() > widths.back() : widths.front() < widths.back());
        }
        EXPECT_EQ(changed(none, both), eitherArea) << "both lit: the two lamps together";
    }
}

}  // namespace
}  // namespace tovi
