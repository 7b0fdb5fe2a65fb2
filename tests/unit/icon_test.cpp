#include <gtest/gtest.h>

#include <algorithm>
#include <cstdint>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

#include "resources/icon.h"

namespace tovi::icon {
namespace {

std::uint32_t read32(const std::vector<std::uint8_t>& bytes, std::size_t at) {
    return bytes[at] | bytes[at + 1] << 8 | bytes[at + 2] << 16 | static_cast<std::uint32_t>(bytes[at + 3]) << 24;
}

// The source tree, handed over by the build: a path taken from __FILE__ is
// relative when a compiler cache rewrites it.
std::string sourceRoot() { return TOVI_SOURCE_DIR; }

TEST(Icon, CheckedInFileIsWhatTheGeneratorWrites) {
    const std::string path = sourceRoot() + "/resources/tovi.ico";
    std::ifstream in(path, std::ios::binary);
    ASSERT_TRUE(in) << "cannot open " << path;
    const std::vector<std::uint8_t> file{std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
    EXPECT_TRUE(file == iconFile()) << path << " is stale: regenerate it with the make_icon tool";
}

TEST(Icon, FileHeadsTheImageWithItsDirectoryEntry) {
    const std::vector<std::uint8_t> file = iconFile();
    const std::vector<std::uint8_t> image = iconImage();
    ASSERT_EQ(file.size(), 22 + image.size());
    EXPECT_EQ(read32(file, 14), image.size());  // bytes in the image
    EXPECT_EQ(read32(file, 18), 22u);           // where it starts
    EXPECT_TRUE(std::equal(image.begin(), image.end(), file.begin() + 22));
}

// Decoding the image the way the system does gives back the picture: rows
// bottom-up, the left pixel in the high nibble, the mask's first pixel in the
// high bit, colour 0 under every mask bit.
TEST(Icon, ImageDecodesBackToThePicture) {
    const std::vector<std::uint8_t> image = iconImage();
    ASSERT_EQ(image.size(), 40u + 16 * 4 + 32 * 16 + 32 * 4);
    EXPECT_EQ(read32(image, 4), 32u);
    EXPECT_EQ(read32(image, 8), 64u);  // colour and mask rows
    const std::size_t colours = 40 + 16 * 4;
    const std::size_t mask = colours + 32 * 16;
    for (int row = 0; row < kSize; ++row) {
        const int stored = kSize - 1 - row;
        for (int col = 0; col < kSize; ++col) {
            const std::uint8_t byte = image[colours + stored * 16 + col / 2];
            const int entry = col % 2 == 0 ? byte >> 4 : byte & 0x0F;
            const bool clear = (image[mask + stored * 4 + col / 8] >> (7 - col % 8)) & 1;
            const std::uint8_t want = pixels()[row][col];
            if (want == kTransparent) {
                EXPECT_TRUE(clear && entry == 0) << row << "," << col;
            } else {
                EXPECT_TRUE(!clear && entry == want) << row << "," << col;
            }
        }
    }
    // Palette entry 9 is pure red, as BGR0 in the file.
    EXPECT_EQ(read32(image, 40 + 9 * 4), 0x00FF0000u);
    EXPECT_EQ(read32(image, 40), 0u);
}

}  // namespace
}  // namespace tovi::icon
