// Arbitrary bytes probed as each of the picture formats. Every probe must answer without crashing, give
// the same answer with and without its outputs, and leave its outputs alone when it refuses the file.

#include <array>
#include <cstdint>
#include <memory>

#include "FuzzSupport.h"

namespace {

constexpr std::array<const char*, 7> kExtensions = {".bmp", ".dib", ".tga", ".gif", ".pcx", ".jpg", ".psd"};

void CheckProbe(const CString& path) {
    RECT rect{-7, -7, -7, -7};
    int bits = -7;
    const int answer = KivPictureGetPicInfo(path, &rect, &bits);
    if (answer != 0 && answer != 1) FuzzFail("the probe answers neither 0 nor 1");
    if (KivPictureGetPicInfo(path, nullptr, nullptr) != answer) FuzzFail("null outputs change the answer");
    RECT again{};
    int bitsAgain = 0;
    if (KivPictureGetPicInfo(path, &again, &bitsAgain) != answer) FuzzFail("two probes disagree");
    if (answer == 0 &&
        (rect.left != -7 || rect.top != -7 || rect.right != -7 || rect.bottom != -7 || bits != -7))
        FuzzFail("a refusing probe wrote its outputs");
    if (answer == 1 && (again.left != rect.left || again.top != rect.top || again.right != rect.right ||
                        again.bottom != rect.bottom || bitsAgain != bits))
        FuzzFail("two probes report different facts");
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    static std::array<std::unique_ptr<FuzzInputFile>, kExtensions.size()> inputs;
    for (std::size_t i = 0; i < kExtensions.size(); ++i) {
        if (!inputs[i]) inputs[i] = std::make_unique<FuzzInputFile>(kExtensions[i]);
        inputs[i]->Write(data, size);
        CheckProbe(inputs[i]->PathWithExtension());
    }
    // Without a known extension no probe runs.
    if (KivPictureGetPicInfo(inputs[0]->PathWithoutExtension(), nullptr, nullptr) != 0)
        FuzzFail("a file without a known extension was probed");
    return 0;
}
