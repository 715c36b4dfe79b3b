#include "BenchSupport.h"

#include <benchmark/benchmark.h>
#include <unistd.h>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <deque>
#include <filesystem>
#include <fstream>
#include <map>
#include <string_view>
#include <utility>

#include <jpeglib.h>  // after <cstdio>, which it needs

#include "platform/window/WindowSystem.h"

namespace bench {

// ---- Picture content ------------------------------------------------------------------------------------

unsigned char Clamp(double v) {
    return static_cast<unsigned char>(std::clamp(v, 0.0, 255.0));
}

Rgb PhotoColour(int x, int y, Noise& noise) {
    const double sky = 0.5 + 0.5 * std::sin(x * 0.0021 + 0.8 * std::sin(y * 0.0037));
    const double light = 0.5 + 0.5 * std::cos(y * 0.0017 - x * 0.0009);
    return {Clamp(40 + 170 * sky * light + noise.Next(9)), Clamp(60 + 120 * light + noise.Next(9)),
            Clamp(30 + 190 * sky + noise.Next(9))};
}

const std::vector<std::uint32_t>& Photo(int width, int height) {
    static std::map<std::pair<int, int>, std::vector<std::uint32_t>> made;
    auto& pixels = made[{width, height}];
    if (!pixels.empty()) return pixels;
    pixels.resize(static_cast<size_t>(width) * static_cast<size_t>(height));
    Noise noise;
    for (int y = 0; y < height; ++y)
        for (int x = 0; x < width; ++x) {
            const Rgb c = PhotoColour(x, y, noise);
            pixels[static_cast<size_t>(y) * static_cast<size_t>(width) + static_cast<size_t>(x)] =
                0xFF000000u | static_cast<std::uint32_t>(c.red) << 16 |
                static_cast<std::uint32_t>(c.green) << 8 | c.blue;
        }
    return pixels;
}

const IndexedPicture& IndexedPhoto(int width, int height) {
    static std::map<std::pair<int, int>, IndexedPicture> made;
    IndexedPicture& picture = made[{width, height}];
    if (!picture.indices.empty()) return picture;
    picture.width = width;
    picture.height = height;
    for (unsigned i = 0; i < 256; ++i) {
        // The middle of each bin, so the palette colour is the nearest to every colour the bin takes in.
        const unsigned red = i >> 5, green = (i >> 2) & 7, blue = i & 3;
        picture.palette.push_back({static_cast<unsigned char>(red * 32 + 16),
                                   static_cast<unsigned char>(green * 32 + 16),
                                   static_cast<unsigned char>(blue * 64 + 32)});
    }
    const auto& photo = Photo(width, height);
    picture.indices.resize(photo.size());
    for (size_t i = 0; i < photo.size(); ++i) {
        const std::uint32_t word = photo[i];
        picture.indices[i] =
            static_cast<unsigned char>((word >> 16 & 0xE0) | (word >> 11 & 0x1C) | (word >> 6 & 0x03));
    }
    return picture;
}

// ---- Files ----------------------------------------------------------------------------------------------

void PutLE16(Bytes& out, unsigned value) {
    out.push_back(static_cast<unsigned char>(value));
    out.push_back(static_cast<unsigned char>(value >> 8));
}

void PutLE32(Bytes& out, unsigned value) {
    for (int shift = 0; shift < 32; shift += 8) out.push_back(static_cast<unsigned char>(value >> shift));
}

void PutBE16(Bytes& out, unsigned value) {
    out.push_back(static_cast<unsigned char>(value >> 8));
    out.push_back(static_cast<unsigned char>(value));
}

void PutBE32(Bytes& out, unsigned value) {
    for (int shift = 24; shift >= 0; shift -= 8) out.push_back(static_cast<unsigned char>(value >> shift));
}

void Fail(const std::string& message) {
    std::fflush(stdout);
    std::fprintf(stderr, "kivpicture_bench: %s\n", message.c_str());
    std::exit(1);
}

void EnsureWindowSystem() {
    ::setenv("QT_QPA_PLATFORM", "offscreen", 0);  // unless the caller names a platform
    if (!AfxEnsureWindowSystem()) Fail("no window system");
}

namespace {

// Codes packed least significant bit first, as GIF stores them.
class CodePacker {
  public:
    void Put(unsigned code, unsigned bits) {
        held_ |= code << count_;
        count_ += bits;
        for (; count_ >= 8; count_ -= 8, held_ >>= 8) bytes_.push_back(static_cast<unsigned char>(held_));
    }
    Bytes Finish() {
        if (count_ > 0) bytes_.push_back(static_cast<unsigned char>(held_));
        return std::move(bytes_);
    }

  private:
    Bytes bytes_;
    std::uint32_t held_ = 0;
    unsigned count_ = 0;
};

}  // namespace

Bytes GifFile(int width, int height, const std::vector<Rgb>& palette, const Bytes& indices, bool interlaced) {
    const Bytes codes = LzwEncode(indices.data(), indices.size(), 8);
    Bytes out{'G', 'I', 'F', '8', '9', 'a'};
    PutLE16(out, static_cast<unsigned>(width));
    PutLE16(out, static_cast<unsigned>(height));
    out.push_back(0xF7);  // global table of 256 entries, 8 bits of colour resolution
    out.push_back(0);     // background
    out.push_back(0);     // aspect ratio
    for (size_t i = 0; i < 256; ++i) {
        const Rgb c = i < palette.size() ? palette[i] : Rgb{0, 0, 0};
        out.insert(out.end(), {c.red, c.green, c.blue});
    }
    out.push_back(0x2C);
    PutLE16(out, 0);
    PutLE16(out, 0);
    PutLE16(out, static_cast<unsigned>(width));
    PutLE16(out, static_cast<unsigned>(height));
    out.push_back(interlaced ? 0x40 : 0x00);  // no local table
    out.push_back(8);                         // LZW minimum code size
    for (size_t at = 0; at < codes.size(); at += 255) {
        const size_t n = std::min<size_t>(255, codes.size() - at);
        out.push_back(static_cast<unsigned char>(n));
        out.insert(out.end(), codes.begin() + static_cast<std::ptrdiff_t>(at),
                   codes.begin() + static_cast<std::ptrdiff_t>(at + n));
    }
    out.push_back(0);
    out.push_back(0x3B);
    return out;
}

// A plain LZW encoder of up to 12 bits that sends a clear code whenever its table is full, as common
// writers do. The code width follows the decoder's table, which makes its entry one code later than the
// encoder: it grows when the decoder's next free slot reaches 2^width.
Bytes LzwEncode(const unsigned char* indices, size_t count, unsigned minCodeSize) {
    constexpr unsigned kMaxCodes = 4096;
    constexpr unsigned kMaxBits = 12;
    const unsigned clearCode = 1u << minCodeSize;
    const unsigned endCode = clearCode + 1;
    const unsigned firstFree = clearCode + 2;
    // The entry for (prefix code, next index) sits at prefix x 256 + index; a stamp per table generation
    // saves clearing a megabyte of entries at every clear code.
    std::vector<std::uint16_t> entry(kMaxCodes * 256);
    std::vector<std::uint32_t> stamp(kMaxCodes * 256, 0);
    std::uint32_t generation = 0;
    CodePacker out;
    unsigned width = 0, next = 0, decoderNext = 0;
    bool afterClear = true;
    const auto clear = [&] {
        if (width) out.Put(clearCode, width);
        width = minCodeSize + 1;
        next = decoderNext = firstFree;
        afterClear = true;
        ++generation;
    };
    const auto emit = [&](unsigned code) {
        out.Put(code, width);
        if (afterClear)
            afterClear = false;  // the decoder makes no entry for the first code after a clear
        else if (decoderNext < kMaxCodes)
            ++decoderNext;
        if (decoderNext >= (1u << width) && width < kMaxBits) ++width;
    };
    clear();
    out.Put(clearCode, width);  // streams start with a clear code
    unsigned prefix = indices[0];
    for (size_t i = 1; i < count; ++i) {
        const unsigned index = indices[i];
        const size_t key = static_cast<size_t>(prefix) * 256 + index;
        if (stamp[key] == generation) {
            prefix = entry[key];
            continue;
        }
        emit(prefix);
        if (next < kMaxCodes) {
            stamp[key] = generation;
            entry[key] = static_cast<std::uint16_t>(next++);
        } else {
            clear();
        }
        prefix = index;
    }
    emit(prefix);
    out.Put(endCode, width);
    return out.Finish();
}

// One row in PackBits, as the format's writers code it: runs of three or more as repeat packets, the rest
// as literal packets, none longer than 128 bytes.
void WritePhotoJpeg(const std::string& path, int width, int height, bool grey) {
    constexpr int kCameraQuality = 90;
    std::FILE* file = std::fopen(path.c_str(), "wb");
    if (!file) Fail("cannot write " + path);
    jpeg_compress_struct info{};
    jpeg_error_mgr errors{};
    info.err = jpeg_std_error(&errors);  // the standard error exit ends the program
    jpeg_create_compress(&info);
    jpeg_stdio_dest(&info, file);
    info.image_width = static_cast<JDIMENSION>(width);
    info.image_height = static_cast<JDIMENSION>(height);
    info.input_components = grey ? 1 : 3;
    info.in_color_space = grey ? JCS_GRAYSCALE : JCS_RGB;
    jpeg_set_defaults(&info);
    jpeg_set_quality(&info, kCameraQuality, TRUE);
    jpeg_start_compress(&info, TRUE);
    const auto& photo = Photo(width, height);
    std::vector<JSAMPLE> row(static_cast<size_t>(width) * 3);
    while (info.next_scanline < info.image_height) {
        const std::uint32_t* in = photo.data() + static_cast<size_t>(info.next_scanline) * width;
        for (size_t x = 0; x < static_cast<size_t>(width); ++x) {
            const unsigned red = in[x] >> 16 & 0xFF, green = in[x] >> 8 & 0xFF, blue = in[x] & 0xFF;
            if (grey) {
                row[x] = static_cast<JSAMPLE>((77 * red + 150 * green + 29 * blue) >> 8);
            } else {
                row[3 * x] = static_cast<JSAMPLE>(red);
                row[3 * x + 1] = static_cast<JSAMPLE>(green);
                row[3 * x + 2] = static_cast<JSAMPLE>(blue);
            }
        }
        JSAMPROW rows[1] = {row.data()};
        jpeg_write_scanlines(&info, rows, 1);
    }
    jpeg_finish_compress(&info);
    jpeg_destroy_compress(&info);
    if (std::fclose(file) != 0) Fail("cannot write " + path);
}

void PackBitsRow(const unsigned char* row, size_t count, Bytes& out) {
    for (size_t i = 0; i < count;) {
        size_t run = 1;
        while (i + run < count && run < 128 && row[i + run] == row[i]) ++run;
        if (run >= 3) {
            out.push_back(static_cast<unsigned char>(257 - run));
            out.push_back(row[i]);
            i += run;
            continue;
        }
        size_t end = i;
        while (end < count && end - i < 128 &&
               !(end + 2 < count && row[end] == row[end + 1] && row[end] == row[end + 2]))
            ++end;
        out.push_back(static_cast<unsigned char>(end - i - 1));
        out.insert(out.end(), row + i, row + end);
        i = end;
    }
}

namespace {

// The generated files live in a folder of their own, removed when the program ends (also through Fail,
// whose exit runs this destructor).
class ScratchFolder {
  public:
    ScratchFolder() {
        std::string pattern = (std::filesystem::temp_directory_path() / "kivpicture-bench-XXXXXX").string();
        if (!mkdtemp(pattern.data())) Fail("cannot make a temporary folder");
        path_ = pattern;
        std::printf("Writing the test files to %s\n", path_.c_str());
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

}  // namespace

std::string ScratchPath(const std::string& name) {
    static ScratchFolder folder;
    return (folder.path() / name).string();
}

void WriteBytes(const std::string& path, const Bytes& bytes) {
    std::ofstream file(path, std::ios::binary);
    file.write(reinterpret_cast<const char*>(bytes.data()), static_cast<std::streamsize>(bytes.size()));
    if (!file) Fail("cannot write " + path);
}

unsigned long long FileBytes(const std::string& path) {
    std::error_code error;
    const auto size = std::filesystem::file_size(path, error);
    return error ? 0 : static_cast<unsigned long long>(size);
}

// ---- Comparison tables ----------------------------------------------------------------------------------

namespace {

std::deque<ComparisonTable>& Tables() {
    static std::deque<ComparisonTable> tables;  // a deque keeps the tables where they are as more join
    return tables;
}

}  // namespace

ComparisonTable& AddTable(const std::string& key, const std::string& title) {
    return Tables().emplace_back(key, title);
}

ComparisonRow& ComparisonTable::Row(const std::string& name, std::function<void(ComparisonRow&)> prepare) {
    rows_.push_back(std::make_unique<ComparisonRow>(*this, name, std::move(prepare)));
    return *rows_.back();
}

void ComparisonTable::AddColumn(const std::string& name, Role role) {
    const bool known = std::any_of(columns_.begin(), columns_.end(),
                                   [&](const Column& column) { return column.name == name; });
    if (!known) columns_.push_back({name, role});
}

ComparisonRow::ComparisonRow(ComparisonTable& table, std::string name,
                             std::function<void(ComparisonRow&)> prepare)
    : table_(table), name_(std::move(name)), prepare_(std::move(prepare)) {}

void ComparisonRow::PrepareOnce() {
    if (prepared_) return;
    prepared_ = true;
    if (prepare_) prepare_(*this);
}

void ComparisonRow::Time(const std::string& column, Role role, std::function<bool()> once) {
    table_.AddColumn(column, role);
    const std::string name = table_.Key() + "/" + name_ + "/" + column;
    benchmark::RegisterBenchmark(name.c_str(), [this, once = std::move(once)](benchmark::State& state) {
        PrepareOnce();  // before the timed loop
        for (auto _ : state) {
            if (!once()) {
                state.SkipWithError("the operation failed");
                break;
            }
        }
    })->Unit(benchmark::kMillisecond);
}

namespace {

constexpr int kDefaultRepetitions = 5;

std::vector<std::function<void(const RunMedians&)>>& Summaries() {
    static std::vector<std::function<void(const RunMedians&)>> summaries;
    return summaries;
}

// The console report, also keeping each benchmark's medians for the tables and summaries at the end.
class MedianCollector : public benchmark::ConsoleReporter {
  public:
    // Colours only for a terminal, so a saved report stays plain text.
    MedianCollector() : ConsoleReporter(isatty(STDOUT_FILENO) ? OO_ColorTabular : OO_Tabular) {}

    void ReportRuns(const std::vector<Run>& runs) override {
        for (const Run& run : runs) {
            if (run.error_occurred) continue;
            // Without repetitions there are no aggregates; the single run is its own median.
            if ((run.run_type == Run::RT_Aggregate && run.aggregate_name == "median") ||
                (run.run_type == Run::RT_Iteration && run.repetitions <= 1)) {
                std::vector<std::pair<std::string, double>> counters;
                for (const auto& [name, counter] : run.counters) counters.emplace_back(name, counter.value);
                all_.Record(run.run_name.function_name, run.GetAdjustedCPUTime(), run.GetAdjustedRealTime(),
                            std::move(counters));
            }
        }
        ConsoleReporter::ReportRuns(runs);
    }

    // Milliseconds, or a negative number when the benchmark did not run.
    double Median(const std::string& name) const { return all_.CpuMs(name); }
    const RunMedians& All() const { return all_; }

  private:
    RunMedians all_;
};

}  // namespace

void RunMedians::Record(const std::string& name, double cpuMs, double realMs,
                        std::vector<std::pair<std::string, double>> counters) {
    figures_[name] = Figures{cpuMs, realMs, std::move(counters)};
}

double RunMedians::CpuMs(const std::string& name) const {
    const auto found = figures_.find(name);
    return found == figures_.end() ? -1.0 : found->second.cpuMs;
}

double RunMedians::RealMs(const std::string& name) const {
    const auto found = figures_.find(name);
    return found == figures_.end() ? -1.0 : found->second.realMs;
}

double RunMedians::Counter(const std::string& name, const std::string& counter) const {
    const auto found = figures_.find(name);
    if (found == figures_.end()) return -1.0;
    for (const auto& [counterName, value] : found->second.counters)
        if (counterName == counter) return value;
    return -1.0;
}

void AddSummary(std::function<void(const RunMedians&)> print) {
    Summaries().push_back(std::move(print));
}

namespace {

std::string Ratio(double numerator, double denominator) {
    if (numerator < 0 || denominator <= 0) return "n/a";
    char text[32];
    std::snprintf(text, sizeof text, "%.2f", numerator / denominator);
    return text;
}

void PrintTable(const ComparisonTable& table, const MedianCollector& medians) {
    const auto median = [&](const ComparisonRow& row, const std::string& column) {
        return medians.Median(table.Key() + "/" + row.Name() + "/" + column);
    };
    const auto& columns = table.Columns();
    const auto ran = [&](const ComparisonRow& row) {
        return std::any_of(columns.begin(), columns.end(),
                           [&](const auto& column) { return median(row, column.name) >= 0; });
    };
    const auto hasRole = [&](Role role) {
        return std::any_of(columns.begin(), columns.end(), [&](const auto& c) { return c.role == role; });
    };
    if (std::none_of(table.Rows().begin(), table.Rows().end(), [&](const auto& row) { return ran(*row); }))
        return;
    const bool hasFloor = hasRole(Role::floor);
    const bool hasShared = hasRole(Role::shared);
    size_t nameWidth = 4;
    for (const auto& row : table.Rows()) nameWidth = std::max(nameWidth, row->Name().size());
    size_t cellWidth = 9;
    for (const auto& column : columns) cellWidth = std::max(cellWidth, column.name.size());

    std::printf("\n%s\n", table.Title().c_str());
    std::printf("%-*s", static_cast<int>(nameWidth), "case");
    for (const auto& column : columns) std::printf("  %*s", static_cast<int>(cellWidth), column.name.c_str());
    std::printf("  %11s", "ours/peer");
    if (hasFloor) std::printf("  %11s", "ours/floor");
    if (hasShared) std::printf("  %11s", "less shared");
    std::printf("\n");

    for (const auto& row : table.Rows()) {
        if (!ran(*row)) continue;  // left out by a filter
        std::printf("%-*s", static_cast<int>(nameWidth), row->Name().c_str());
        double ours = -1, fastestPeer = -1, floor = -1, shared = -1;
        for (const auto& column : columns) {
            const double ms = median(*row, column.name);
            if (ms < 0) {
                std::printf("  %*s", static_cast<int>(cellWidth), "n/a");
                continue;
            }
            std::printf("  %*.2f", static_cast<int>(cellWidth), ms);
            switch (column.role) {
                case Role::ours:
                    ours = ms;
                    break;
                case Role::peer:
                    if (fastestPeer < 0 || ms < fastestPeer) fastestPeer = ms;
                    break;
                case Role::floor:
                    if (floor < 0 || ms < floor) floor = ms;
                    break;
                case Role::shared:
                    shared = ms;
                    break;
            }
        }
        std::printf("  %11s", Ratio(ours, fastestPeer).c_str());
        if (hasFloor) std::printf("  %11s", Ratio(ours, floor).c_str());
        if (hasShared)
            std::printf("  %11s", shared < 0 || ours < 0 || fastestPeer < 0
                                      ? "n/a"
                                      : Ratio(ours - shared, fastestPeer - shared).c_str());
        std::printf("\n");
    }
    for (const auto& row : table.Rows())
        for (const std::string& note : row->Notes())
            std::printf("  %s: %s\n", row->Name().c_str(), note.c_str());
}

bool HasFlag(const std::vector<char*>& args, std::string_view flag) {
    return std::any_of(args.begin(), args.end(),
                       [&](const char* arg) { return std::string_view(arg).starts_with(flag); });
}

}  // namespace

int RunAndReport(int argc, char** argv) {
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

    MedianCollector reporter;
    benchmark::RunSpecifiedBenchmarks(&reporter);
    benchmark::Shutdown();
    std::printf(
        "\nMedian CPU time in ms. ours/peer: ours divided by the fastest peer; ours/floor: ours divided by"
        "\nthe floor column; less shared: the same ratio after taking the shared column from both.\n");
    for (const ComparisonTable& table : Tables()) PrintTable(table, reporter);
    for (const auto& summary : Summaries()) summary(reporter.All());
    std::fflush(stdout);
    return 0;
}

}  // namespace bench
