// Speed of the bilinear scaled load, KivPictureZoomPicFile, beside stb_image_resize.
//
// A 1920 x 1080 photo-like picture (a 32-bit bitmap written by our own writer) is drawn into a 720 x 576
// block and into a 3840 x 2160 block. Our function cannot be split: it loads the file and scales in one
// call. So that both sides do the same work, each peer column loads the file with our own load
// (KivPictureLoadPicFile) and then resizes the pixels into the same block with stb_image_resize: once with
// stbir_resize_uint8 (its default filters, Catmull-Rom up and Mitchell down, more work per pixel than
// bilinear) and once with the triangle filter, which is bilinear interpolation when enlarging. The load
// alone is timed as well, as the shared column, and the table's last ratio takes it from both sides: the
// scaling alone, which the load would otherwise dilute. Ours draws with mode 2, which stores each sample
// as it is, since the peers only store too.

#include <benchmark/benchmark.h>
#include <stb/stb_image_resize.h>

#include <cstdint>
#include <cstdlib>
#include <filesystem>
#include <memory>
#include <string>
#include <vector>

#include "BenchSupport.h"
#include "KivPicture.h"

namespace bench {
namespace {

constexpr int kSourceWidth = 1920;
constexpr int kSourceHeight = 1080;
constexpr MIXMODE kReplace = 2;

// The module's product table, which the scaled load weighs with, is filled by KivPictureOpen. Its
// settings file is looked for in the scratch folder, so no setting of the user's is read.
void OpenModuleOnce() {
    static const bool opened = [] {
        const std::string config = ScratchPath("config");
        std::filesystem::create_directories(config);
        setenv("KIV_CONFIG_DIR", config.c_str(), 1);
        return KivPictureOpen() == 1;
    }();
    if (!opened) Fail("KivPictureOpen failed");
}

const std::string& SourceFile() {
    static const std::string path = [] {
        const std::string file = ScratchPath("zoom-source.bmp");
        std::vector<DWORD> pixels(Photo(kSourceWidth, kSourceHeight).begin(),
                                  Photo(kSourceWidth, kSourceHeight).end());
        if (!KivPictureSaveBMPFile(CString::FromUtf8(file), pixels.data(), CSize(kSourceWidth, kSourceHeight),
                                   CRect(0, 0, kSourceWidth, kSourceHeight)))
            Fail("our BMP writer failed on " + file);
        return file;
    }();
    return path;
}

// Our load followed by an stb_image_resize call into the block; filter is stbir's.
bool LoadAndResize(const CString& path, std::vector<tagCOLOR32>& block, CSize size, stbir_filter filter) {
    CRect rect;
    DWORD* pixels = KivPictureLoadPicFile(path, rect);
    if (!pixels) return false;
    const int done = stbir_resize_uint8_generic(
        reinterpret_cast<const unsigned char*>(pixels), rect.Width(), rect.Height(), 0,
        reinterpret_cast<unsigned char*>(block.data()), size.cx, size.cy, 0, 4, STBIR_ALPHA_CHANNEL_NONE, 0,
        STBIR_EDGE_CLAMP, filter, STBIR_COLORSPACE_LINEAR, nullptr);
    GlobalFree(pixels);
    benchmark::DoNotOptimize(block.data());
    return done != 0;
}

// The mean difference per colour channel between two blocks, for a note that the outputs are alike.
double MeanDifference(const std::vector<tagCOLOR32>& a, const std::vector<tagCOLOR32>& b) {
    unsigned long long sum = 0;
    for (size_t i = 0; i < a.size(); ++i)
        sum += static_cast<unsigned long long>(std::abs(a[i].red - b[i].red) +
                                               std::abs(a[i].green - b[i].green) +
                                               std::abs(a[i].blue - b[i].blue));
    return static_cast<double>(sum) / (3.0 * static_cast<double>(a.size()));
}

void AddZoomRow(ComparisonTable& table, CSize size) {
    const std::string name = std::to_string(kSourceWidth) + "x" + std::to_string(kSourceHeight) + " to " +
                             std::to_string(size.cx) + "x" + std::to_string(size.cy);
    // Each column draws into a block of its own, made once.
    const size_t pixels = static_cast<size_t>(size.cx) * static_cast<size_t>(size.cy);
    auto ours = std::make_shared<std::vector<tagCOLOR32>>(pixels);
    auto resized = std::make_shared<std::vector<tagCOLOR32>>(pixels);
    auto path = std::make_shared<CString>();
    ComparisonRow& row = table.Row(name, [=](ComparisonRow& r) {
        OpenModuleOnce();
        *path = CString::FromUtf8(SourceFile());
        if (!KivPictureZoomPicFile(*path, ours->data(), size, kReplace) ||
            !LoadAndResize(*path, *resized, size, STBIR_FILTER_TRIANGLE))
            Fail("cannot scale " + SourceFile());
        char note[96];
        std::snprintf(note, sizeof note, "mean difference to stbir's triangle filter %.2f per channel",
                      MeanDifference(*ours, *resized));
        r.Note(note);
    });
    row.Time("ours", Role::ours,
             [=] { return KivPictureZoomPicFile(*path, ours->data(), size, kReplace) == 1; });
    row.Time("our load", Role::shared, [=] {
        CRect rect;
        DWORD* loaded = KivPictureLoadPicFile(*path, rect);
        benchmark::DoNotOptimize(loaded);
        GlobalFree(loaded);
        return loaded != nullptr;
    });
    row.Time("load+stbir", Role::peer,
             [=] { return LoadAndResize(*path, *resized, size, STBIR_FILTER_DEFAULT); });
    row.Time("load+stbir tri", Role::peer,
             [=] { return LoadAndResize(*path, *resized, size, STBIR_FILTER_TRIANGLE); });
}

}  // namespace

void RegisterZoomBenchmarks() {
    ComparisonTable& table =
        AddTable("zoom", "Bilinear scaled load of a " + std::to_string(kSourceWidth) + "x" +
                             std::to_string(kSourceHeight) + " bitmap into a block");
    AddZoomRow(table, CSize(720, 576));
    AddZoomRow(table, CSize(3840, 2160));
}

}  // namespace bench
