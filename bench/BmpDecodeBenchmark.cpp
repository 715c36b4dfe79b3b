// Decode speed of our bitmap reader beside two independent decoders, stb_image and FreeImage.
//
// At start the program writes a few large bitmaps (photo-like 24-bit, 32-bit and 8-bit paletted pictures
// and a run-length 8-bit picture with the runs a drawing or a screenshot has) into a fresh temporary
// folder, checks that the three libraries read the same colours from them, and then times each library
// decoding each file from its path into 32-bit pixels. After the runs it prints, per file, the median CPU
// time of each library and our time divided by the fastest other library's. CPU time (the decoding thread's
// user and system time) rather than wall time, because the decodes are single-threaded and a busy machine
// stretches wall time without telling the libraries apart.
//
// Every library ends with one 32-bit pixel per picture pixel: ours by design, stb_image asked for four
// channels, FreeImage through FreeImage_ConvertTo32Bits. stb_image does not read run-length bitmaps; its
// column stays empty for that file.

#include <FreeImage.h>
#include <benchmark/benchmark.h>
#include <stb/stb_image.h>
#include <unistd.h>

#include <algorithm>
#include <array>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <map>
#include <string>
#include <string_view>
#include <vector>

#include "KivPicture.h"

namespace {

constexpr int kWidth = 4000;
constexpr int kHeight = 3000;
constexpr int kDefaultRepetitions = 5;

// ---- Writing bitmaps ------------------------------------------------------------------------------------

void PutLE16(std::vector<unsigned char>& out, unsigned value) {
    out.push_back(static_cast<unsigned char>(value));
    out.push_back(static_cast<unsigned char>(value >> 8));
}

void PutLE32(std::vector<unsigned char>& out, unsigned value) {
    for (int shift = 0; shift < 32; shift += 8) out.push_back(static_cast<unsigned char>(value >> shift));
}

struct BitmapFile {
    int width = 0;
    int height = 0;  // positive: rows stored bottom-up
    unsigned bitsPerPixel = 0;
    unsigned compression = 0;                           // 0 = none, 1 = run-length 8 bits
    std::vector<std::array<unsigned char, 3>> palette;  // red, green, blue
    std::vector<unsigned char> pixelData;               // the rows as stored, padding included
};

// A file header, a 40-byte information header, the palette and the rows.
void WriteBitmapFile(const std::filesystem::path& path, const BitmapFile& bitmap) {
    constexpr unsigned kHeadersBytes = 14 + 40;
    const auto paletteBytes = static_cast<unsigned>(bitmap.palette.size() * 4);
    const unsigned dataOffset = kHeadersBytes + paletteBytes;
    const auto dataBytes = static_cast<unsigned>(bitmap.pixelData.size());
    std::vector<unsigned char> out;
    out.reserve(dataOffset);
    out.push_back('B');
    out.push_back('M');
    PutLE32(out, dataOffset + dataBytes);
    PutLE32(out, 0);
    PutLE32(out, dataOffset);
    PutLE32(out, 40);
    PutLE32(out, static_cast<unsigned>(bitmap.width));
    PutLE32(out, static_cast<unsigned>(bitmap.height));
    PutLE16(out, 1);
    PutLE16(out, bitmap.bitsPerPixel);
    PutLE32(out, bitmap.compression);
    PutLE32(out, dataBytes);
    PutLE32(out, 2835);  // 72 dots per inch
    PutLE32(out, 2835);
    PutLE32(out, static_cast<unsigned>(bitmap.palette.size()));
    PutLE32(out, 0);
    for (const auto& [red, green, blue] : bitmap.palette) {
        out.push_back(blue);
        out.push_back(green);
        out.push_back(red);
        out.push_back(0);
    }
    std::ofstream file(path, std::ios::binary);
    file.write(reinterpret_cast<const char*>(out.data()), static_cast<std::streamsize>(out.size()));
    file.write(reinterpret_cast<const char*>(bitmap.pixelData.data()),
               static_cast<std::streamsize>(dataBytes));
    if (!file) {
        std::fprintf(stderr, "cannot write %s\n", path.c_str());
        std::exit(1);
    }
}

// ---- Picture content --------------------------------------------------------------------------------------

// A small deterministic noise source, so every run times the same files.
class Noise {
  public:
    int Next(int spread) {  // uniform in [-spread, spread]
        state_ ^= state_ << 13;
        state_ ^= state_ >> 17;
        state_ ^= state_ << 5;
        return static_cast<int>(state_ % static_cast<unsigned>(2 * spread + 1)) - spread;
    }

  private:
    unsigned state_ = 2463534242u;
};

unsigned char Clamp(double v) {
    return static_cast<unsigned char>(std::clamp(v, 0.0, 255.0));
}

// Smooth shading with grain: neighbouring pixels are close but rarely equal, as in a photograph.
std::array<unsigned char, 3> PhotoColour(int x, int y, Noise& noise) {
    const double sky = 0.5 + 0.5 * std::sin(x * 0.0021 + 0.8 * std::sin(y * 0.0037));
    const double light = 0.5 + 0.5 * std::cos(y * 0.0017 - x * 0.0009);
    return {Clamp(40 + 170 * sky * light + noise.Next(9)), Clamp(60 + 120 * light + noise.Next(9)),
            Clamp(30 + 190 * sky + noise.Next(9))};
}

size_t StoredRowBytes(int width, unsigned bitsPerPixel) {
    return (static_cast<size_t>(width) * bitsPerPixel + 31) / 32 * 4;
}

BitmapFile MakeTrueColour(unsigned bitsPerPixel) {
    BitmapFile bitmap{kWidth, kHeight, bitsPerPixel, 0, {}, {}};
    const size_t rowBytes = StoredRowBytes(kWidth, bitsPerPixel);
    bitmap.pixelData.assign(rowBytes * kHeight, 0);
    Noise noise;
    for (int stored = 0; stored < kHeight; ++stored) {
        unsigned char* row = bitmap.pixelData.data() + rowBytes * stored;
        const int y = kHeight - 1 - stored;
        for (int x = 0; x < kWidth; ++x) {
            const auto [red, green, blue] = PhotoColour(x, y, noise);
            unsigned char* p = row + x * (bitsPerPixel / 8);
            p[0] = blue;
            p[1] = green;
            p[2] = red;  // a fourth byte, when there is one, stays 0 as most writers leave it
        }
    }
    return bitmap;
}

// A 256-entry palette of smooth ramps, indexed by shading with grain.
BitmapFile MakePaletted() {
    BitmapFile bitmap{kWidth, kHeight, 8, 0, {}, {}};
    for (int i = 0; i < 256; ++i)
        bitmap.palette.push_back({Clamp(i), Clamp(255 - i * 0.7), Clamp(128 + 120 * std::sin(i * 0.05))});
    const size_t rowBytes = StoredRowBytes(kWidth, 8);
    bitmap.pixelData.assign(rowBytes * kHeight, 0);
    Noise noise;
    for (int stored = 0; stored < kHeight; ++stored) {
        const int y = kHeight - 1 - stored;
        for (int x = 0; x < kWidth; ++x) {
            const double shade = 0.5 + 0.25 * std::sin(x * 0.0023 + 0.6 * std::sin(y * 0.0031)) +
                                 0.25 * std::cos(y * 0.0019 - x * 0.0007);
            bitmap.pixelData[rowBytes * stored + x] = Clamp(255 * shade + noise.Next(6));
        }
    }
    return bitmap;
}

// Flat bands of colour (long runs) with boxes of fine detail (literal stretches) and thin stripes (short
// runs), the mix a drawing or a screenshot gives a run-length coder.
unsigned char DrawingIndex(int x, int y, Noise& noise) {
    if ((x / 200 + y / 150) % 7 == 0) return static_cast<unsigned char>(noise.Next(127) + 128);
    if ((x / 400 + y / 300) % 5 == 1 && x % 37 < 3) return 250;
    const double field = std::sin(x * 0.002) * std::cos(y * 0.003) + std::sin((x + y) * 0.0011);
    return static_cast<unsigned char>(static_cast<int>((field + 2) * 6) * 8);
}

// Codes one row, without its end code, the usual way: repeats of three or more as coded runs, other stretches
// of three or more as literal runs, anything shorter as coded runs of one or two.
void EncodeRunLengthRow(const unsigned char* row, int width, std::vector<unsigned char>& out) {
    const auto repeatAt = [&](int i) {
        int n = 1;
        while (i + n < width && n < 255 && row[i + n] == row[i]) ++n;
        return n;
    };
    for (int i = 0; i < width;) {
        if (const int run = repeatAt(i); run >= 3) {
            out.push_back(static_cast<unsigned char>(run));
            out.push_back(row[i]);
            i += run;
            continue;
        }
        int end = i;
        while (end < width && end - i < 255 && (end == i || repeatAt(end) < 3)) ++end;
        const int count = end - i;
        if (count >= 3) {
            out.push_back(0);
            out.push_back(static_cast<unsigned char>(count));
            out.insert(out.end(), row + i, row + end);
            if (count % 2) out.push_back(0);
        } else {
            for (int k = i; k < end; ++k) {
                out.push_back(1);
                out.push_back(row[k]);
            }
        }
        i = end;
    }
}

BitmapFile MakeRunLength() {
    BitmapFile bitmap{kWidth, kHeight, 8, 1, {}, {}};
    for (int i = 0; i < 256; ++i)
        bitmap.palette.push_back({Clamp(255 - i), Clamp(i * 0.9), Clamp(64 + 96 * std::cos(i * 0.04))});
    Noise noise;
    std::vector<unsigned char> row(kWidth);
    for (int stored = 0; stored < kHeight; ++stored) {
        const int y = kHeight - 1 - stored;
        for (int x = 0; x < kWidth; ++x) row[x] = DrawingIndex(x, y, noise);
        EncodeRunLengthRow(row.data(), kWidth, bitmap.pixelData);
        // The last row ends with the end-of-bitmap code alone, as FreeImage needs.
        bitmap.pixelData.push_back(0);
        bitmap.pixelData.push_back(stored == kHeight - 1 ? 1 : 0);
    }
    return bitmap;
}

// ---- The libraries, each from a path to 32-bit pixels ----------------------------------------------------

// Top-down rows of 0x00RRGGBB, alpha left out: the three libraries disagree about the alpha of files
// that store none, and that is not what is compared.
using Colours = std::vector<unsigned>;

bool DecodeOurs(const std::string& path, Colours* colours) {
    CRect rect;
    DWORD* pixels = KivPictureLoadBMPFile(CString::FromUtf8(path), rect);
    if (!pixels) return false;
    if (colours) {
        const size_t count = static_cast<size_t>(rect.Width()) * static_cast<size_t>(rect.Height());
        colours->resize(count);
        for (size_t i = 0; i < count; ++i) (*colours)[i] = pixels[i] & 0x00FFFFFFu;
    }
    benchmark::DoNotOptimize(pixels);
    GlobalFree(pixels);
    return true;
}

bool DecodeStb(const std::string& path, Colours* colours) {
    int width = 0, height = 0, channels = 0;
    stbi_uc* pixels = stbi_load(path.c_str(), &width, &height, &channels, 4);
    if (!pixels) return false;
    if (colours) {
        colours->resize(static_cast<size_t>(width) * static_cast<size_t>(height));
        for (size_t i = 0; i < colours->size(); ++i) {
            const stbi_uc* p = pixels + 4 * i;
            (*colours)[i] = static_cast<unsigned>(p[0]) << 16 | static_cast<unsigned>(p[1]) << 8 | p[2];
        }
    }
    benchmark::DoNotOptimize(pixels);
    stbi_image_free(pixels);
    return true;
}

bool DecodeFreeImage(const std::string& path, Colours* colours) {
    FIBITMAP* loaded = FreeImage_Load(FIF_BMP, path.c_str(), BMP_DEFAULT);
    if (!loaded) return false;
    FIBITMAP* converted = FreeImage_ConvertTo32Bits(loaded);
    FreeImage_Unload(loaded);
    if (!converted) return false;
    if (colours) {
        const unsigned width = FreeImage_GetWidth(converted);
        const unsigned height = FreeImage_GetHeight(converted);
        colours->resize(static_cast<size_t>(width) * height);
        for (unsigned y = 0; y < height; ++y) {
            const BYTE* row =
                FreeImage_GetScanLine(converted, static_cast<int>(height - 1 - y));  // bottom-up
            for (unsigned x = 0; x < width; ++x) {
                const BYTE* p = row + 4 * x;
                (*colours)[static_cast<size_t>(y) * width + x] =
                    static_cast<unsigned>(p[FI_RGBA_RED]) << 16 |
                    static_cast<unsigned>(p[FI_RGBA_GREEN]) << 8 | p[FI_RGBA_BLUE];
            }
        }
    }
    benchmark::DoNotOptimize(converted);
    FreeImage_Unload(converted);
    return true;
}

struct Library {
    const char* name;
    bool (*decode)(const std::string& path, Colours* colours);
};
constexpr std::array<Library, 3> kLibraries{
    {{"ours", DecodeOurs}, {"stb_image", DecodeStb}, {"FreeImage", DecodeFreeImage}}};

struct Case {
    const char* name;
    std::string path;
};

// Decodes each file once with every library and says whether the others agree with ours.
void CheckAgreement(const std::vector<Case>& cases) {
    for (const Case& c : cases) {
        Colours ours;
        if (!DecodeOurs(c.path, &ours)) {
            std::fprintf(stderr, "%s: our reader refused the file\n", c.name);
            std::exit(1);
        }
        std::printf("%-8s", c.name);
        for (size_t i = 1; i < kLibraries.size(); ++i) {
            Colours theirs;
            const char* verdict = !kLibraries[i].decode(c.path, &theirs) ? "cannot read"
                                  : theirs == ours                       ? "same colours"
                                                                         : "DIFFERENT colours";
            std::printf("  %s: %s", kLibraries[i].name, verdict);
        }
        std::printf("\n");
    }
}

// ---- Timing and the summary ---------------------------------------------------------------------------

void RegisterBenchmarks(const std::vector<Case>& cases) {
    for (const Case& c : cases) {
        for (const Library& library : kLibraries) {
            const std::string name = std::string(c.name) + "/" + library.name;
            benchmark::RegisterBenchmark(name.c_str(), [path = c.path,
                                                        decode = library.decode](benchmark::State& state) {
                for (auto _ : state) {
                    if (!decode(path, nullptr)) {
                        state.SkipWithError("cannot read the file");
                        break;
                    }
                }
                state.SetItemsProcessed(state.iterations() * kWidth * kHeight);
            })->Unit(benchmark::kMillisecond);
        }
    }
}

// The console report, also keeping each benchmark's median for the table at the end.
class MedianCollector : public benchmark::ConsoleReporter {
  public:
    // Colours only for a terminal, so a saved report stays plain text.
    MedianCollector() : ConsoleReporter(isatty(STDOUT_FILENO) ? OO_ColorTabular : OO_Tabular) {}

    void ReportRuns(const std::vector<Run>& runs) override {
        for (const Run& run : runs) {
            if (run.run_type == Run::RT_Aggregate && run.aggregate_name == "median" && !run.error_occurred)
                medians_[run.run_name.function_name] = run.GetAdjustedCPUTime();
            // Without repetitions there are no aggregates; the single run is its own median.
            if (run.run_type == Run::RT_Iteration && run.repetitions <= 1 && !run.error_occurred)
                medians_[run.run_name.function_name] = run.GetAdjustedCPUTime();
        }
        ConsoleReporter::ReportRuns(runs);
    }

    // Milliseconds, or a negative number when the benchmark did not run.
    double Median(const std::string& name) const {
        const auto found = medians_.find(name);
        return found == medians_.end() ? -1.0 : found->second;
    }

  private:
    std::map<std::string, double> medians_;
};

void PrintSummary(const std::vector<Case>& cases, const MedianCollector& medians) {
    std::printf("\nMedian CPU time per decode, ms (%dx%d, file path to 32-bit pixels)\n", kWidth, kHeight);
    std::printf("%-8s %10s %10s %10s   %s\n", "case", "ours", "stb_image", "FreeImage",
                "ours / fastest peer");
    for (const Case& c : cases) {
        std::printf("%-8s", c.name);
        double fastestPeer = -1.0;
        for (const Library& library : kLibraries) {
            const double ms = medians.Median(std::string(c.name) + "/" + library.name);
            if (ms < 0) {
                std::printf(" %10s", "n/a");
                continue;
            }
            std::printf(" %10.2f", ms);
            if (library.decode != DecodeOurs && (fastestPeer < 0 || ms < fastestPeer)) fastestPeer = ms;
        }
        const double ours = medians.Median(std::string(c.name) + "/ours");
        if (ours >= 0 && fastestPeer > 0)
            std::printf("   %.2f\n", ours / fastestPeer);
        else
            std::printf("   n/a\n");
    }
}

// The generated files live in a folder of their own, removed when the program ends.
class ScratchFolder {
  public:
    ScratchFolder() {
        std::string pattern = (std::filesystem::temp_directory_path() / "kivpicture-bench-XXXXXX").string();
        if (!mkdtemp(pattern.data())) {
            std::perror("mkdtemp");
            std::exit(1);
        }
        path_ = pattern;
    }
    ~ScratchFolder() {
        std::error_code ignored;
        std::filesystem::remove_all(path_, ignored);
    }
    ScratchFolder(const ScratchFolder&) = delete;
    ScratchFolder& operator=(const ScratchFolder&) = delete;
    const std::filesystem::path& path() const { return path_; }

  private:
    std::filesystem::path path_;
};

bool HasFlag(const std::vector<char*>& args, std::string_view flag) {
    return std::any_of(args.begin(), args.end(),
                       [&](const char* arg) { return std::string_view(arg).starts_with(flag); });
}

}  // namespace

int main(int argc, char** argv) {
    // Repetitions give the medians; only the aggregates are shown unless asked otherwise.
    std::vector<char*> args(argv, argv + argc);
    std::string repetitions = "--benchmark_repetitions=" + std::to_string(kDefaultRepetitions);
    std::string aggregatesOnly = "--benchmark_display_aggregates_only=true";
    if (!HasFlag(args, "--benchmark_repetitions")) args.push_back(repetitions.data());
    if (!HasFlag(args, "--benchmark_display_aggregates_only") &&
        !HasFlag(args, "--benchmark_report_aggregates_only"))
        args.push_back(aggregatesOnly.data());
    int count = static_cast<int>(args.size());
    benchmark::Initialize(&count, args.data());
    if (benchmark::ReportUnrecognizedArguments(count, args.data())) return 1;

    ScratchFolder folder;
    std::printf("Writing the test pictures to %s\n", folder.path().c_str());
    const struct {
        const char* name;
        BitmapFile (*make)();
    } kPictures[] = {
        {"rgb24", [] { return MakeTrueColour(24); }},
        {"rgb32", [] { return MakeTrueColour(32); }},
        {"pal8", MakePaletted},
        {"rle8", MakeRunLength},
    };
    std::vector<Case> cases;
    for (const auto& picture : kPictures) {
        const std::filesystem::path path = folder.path() / (std::string(picture.name) + ".bmp");
        WriteBitmapFile(path, picture.make());
        cases.push_back({picture.name, path.string()});
        std::printf("  %-6s %10ju bytes\n", picture.name,
                    static_cast<uintmax_t>(std::filesystem::file_size(path)));
    }
    CheckAgreement(cases);

    RegisterBenchmarks(cases);
    MedianCollector reporter;
    benchmark::RunSpecifiedBenchmarks(&reporter);
    benchmark::Shutdown();
    PrintSummary(cases, reporter);
    return 0;
}
