// stb_image, the independent decoder the corpus tests compare with. It is built once, here, without warnings
// and kept out of the undefined-behaviour checks (see CMakeLists.txt): some hostile files make it convert
// out-of-range values, which is its business, not a fault of ours.
#define STB_IMAGE_IMPLEMENTATION
#include <stb/stb_image.h>

#include "TestFiles.h"

ReadResult DecodeWithStb(const Bytes& file) {
    int width = 0, height = 0, channels = 0;
    stbi_uc* rgba =
        stbi_load_from_memory(file.data(), static_cast<int>(file.size()), &width, &height, &channels, 4);
    if (!rgba) return {KivLoadStatus::corrupt, {}, {}};
    ReadResult result{KivLoadStatus::ok, CRect(0, 0, width, height), {}};
    for (size_t i = 0; i < static_cast<size_t>(width) * height; ++i)
        result.pixels.push_back(DWORD{rgba[4 * i + 3]} << 24 | DWORD{rgba[4 * i]} << 16 |
                                DWORD{rgba[4 * i + 1]} << 8 | rgba[4 * i + 2]);
    stbi_image_free(rgba);
    return result;
}
