// Speed of the media catalogue, KivPictureFetchValidMediaFile, on a folder of 1000 pictures, beside the
// floor under its warm case and two thumbnailers doing the same job as its cold case.
//
// The folder is written once per run, into the scratch folder (removed at the end), the first time one of
// these benchmarks runs: 1000 pictures of deterministic photo-like content, each a different crop of one
// large picture, in six formats taken in turn (BMP, TGA, JPEG and PCX through our own writers, 32-bit,
// 32-bit, quality 30 and 24-bit; GIF of 256 colours in LZW and RGB PSD in PackBits generated here), each
// format in six sizes from 320x240 to 1024x768 (all 4:3). The folder is catalogued once before any timing,
// which checks that every picture loads and leaves every file in the system's page cache, so "cold" below
// means that the catalogue's cache file is missing, not that the disk is read.
//
// The cases, all on that folder, all in the same run:
//   cold      the cache file "VudEvovi.pmf" is deleted before each iteration: every picture is read and
//             thumbnailed and a new cache written. pictures/second.
//   warm      the cache describes the folder and is taken (asserted through the report: cacheTrusted).
//             Each iteration is followed, untimed, by one of the floor's; "paired" is warm over those.
//   floor     the least a warm catalogue must do: list the folder and stat every file (readdir and stat)
//             and read the cache file's bytes in full.
//   touched   before each iteration one picture's modification time is set to a new second, so the cache is
//             not trusted; the library re-reads only that picture and writes a new cache.
//   one read  that picture alone read by KivPictureLoadPicFile (and freed): with warm, what touched should
//             cost. The gate: touched <= 1.5 x (warm + one read).
//   ImageMagick  MagickReadImage and MagickThumbnailImage(80, 60) of each of the 1000 files.
//   libvips      vips_thumbnail(file, 80, height 60) of each file, the result made into memory with
//             vips_image_write_to_memory. This Debian libvips reads JPEG itself (shrinking on load), GIF
//             with libnsgif, and BMP, TGA, PCX and PSD through its ImageMagick loader; whatever it cannot
//             read is counted as "unread" and left out of its rate. Its ImageMagick path costs several
//             times what ImageMagick alone does, so libvips is also timed on the JPEG and GIF files alone
//             (libvips-jpg-gif, a third of the files), the formats it reads itself; that figure is a
//             different mix of files and is printed for context, not in a ratio.
//   ImageMagick reads every file at full size (a plain MagickReadImage, no size hint for JPEG).
//
// JPEG pictures, whose record thumbnails come from the library's reduced decode, are also timed apart, cold,
// beside libvips and ImageMagick on the same files and threads (the "jpeg" cases):
//   photos    a folder of 24 copies of one 4000 x 3000 photo-like JPEG (libjpeg, quality 90, 4:2:0), as a
//             camera card holds them, written at the first use.
//   jpg       the JPEG files of the folder above (one sixth of it), listed alone ("jpg") with a cache file of
//             their own, so that the mixed folder's cache is left alone.
//
// The catalogue reads pictures on several threads (one per core, at most 8), so unlike the other
// benchmarks of this program these are timed by the wall clock (UseRealTime: the Time column and the
// rates), with the CPU column the whole process's CPU time. The thumbnailers are run on the same number of
// threads, one file per thread at a time, each held to one thread inside (ImageMagick's thread resource
// 1, libvips' concurrency 1), so that the rates compare the same use of the machine. libvips' operation
// cache is off, so that no iteration is answered from the previous one's results.
//
// The summary after the tables gives warm/floor (and the paired ratio), touched/(warm + one read), and the
// cold rate divided by each thumbnailer's rate, all from the medians of the same run.

#include <benchmark/benchmark.h>
#include <dirent.h>
#include <fcntl.h>
#include <strings.h>
#include <sys/stat.h>
#include <unistd.h>
#include <vips/vips.h>
#include <wand/MagickWand.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <functional>
#include <iterator>
#include <string>
#include <thread>
#include <vector>

#include "BenchSupport.h"
#include "KivPicture.h"

namespace bench {
namespace {

constexpr int kPictures = 1000;
constexpr int kThumbWidth = 80;
constexpr int kThumbHeight = 60;
// The large picture every file is a crop of.
constexpr int kBaseWidth = 1400;
constexpr int kBaseHeight = 1000;
constexpr const char* kExtensions = "bmp,tga,jpg,gif,pcx,psd";
constexpr const char* kCacheName = "VudEvovi.pmf";
constexpr int kPhotos = 24;

struct Format {
    const char* extension;
    int (*save)(CString, DWORD*, CSize, CRect);  // our writer, or null for the ones generated here
};
const Format kFormats[] = {{"bmp", KivPictureSaveBMPFile}, {"tga", KivPictureSaveTGAFile},
                           {"jpg", KivPictureSaveJPGFile}, {"gif", nullptr},
                           {"pcx", KivPictureSavePCXFile}, {"psd", nullptr}};
constexpr int kFormatCount = static_cast<int>(std::size(kFormats));

const CSize kSizes[] = {{320, 240}, {400, 300}, {480, 360}, {640, 480}, {800, 600}, {1024, 768}};
constexpr int kSizeCount = static_cast<int>(std::size(kSizes));

// File i has format i mod 6 and size (i / 6) mod 6, so every format comes in every size.
const Format& FormatOf(int i) {
    return kFormats[i % kFormatCount];
}
CSize SizeOf(int i) {
    return kSizes[(i / kFormatCount) % kSizeCount];
}

// Where in the large picture file i is cut from: a different place for nearly every file.
CRect CropOf(int i) {
    const CSize size = SizeOf(i);
    const int left = (i * 37) % (kBaseWidth - size.cx + 1);
    const int top = (i * 53) % (kBaseHeight - size.cy + 1);
    return CRect(CPoint(left, top), size);
}

// The number of threads the catalogue reads with: one per core, at most 8.
unsigned ReadingThreads() {
    return std::min(8u, std::max(1u, std::thread::hardware_concurrency()));
}

// ---- The folder ---------------------------------------------------------------------------------------

// The crop as 256 colours of a 3-3-2 palette in a GIF89a file, its LZW data in sub-blocks.
Bytes GifFile(const std::vector<DWORD>& base, CRect crop) {
    const int width = crop.Width(), height = crop.Height();
    Bytes indices;
    indices.reserve(static_cast<size_t>(width) * static_cast<size_t>(height));
    for (int y = crop.top; y < crop.bottom; ++y)
        for (int x = crop.left; x < crop.right; ++x) {
            const DWORD word = base[static_cast<size_t>(y) * kBaseWidth + static_cast<size_t>(x)];
            indices.push_back(
                static_cast<unsigned char>((word >> 16 & 0xE0) | (word >> 11 & 0x1C) | (word >> 6 & 0x03)));
        }
    std::vector<Rgb> palette;
    for (unsigned i = 0; i < 256; ++i)  // the middle of each bin
        palette.push_back({static_cast<unsigned char>((i >> 5) * 32 + 16),
                           static_cast<unsigned char>(((i >> 2) & 7) * 32 + 16),
                           static_cast<unsigned char>((i & 3) * 64 + 32)});
    return ::bench::GifFile(width, height, palette, indices, false);
}

// The crop as an 8-bit RGB PSD, composite image in PackBits, no resources and no layers.
Bytes PsdFile(const std::vector<DWORD>& base, CRect crop) {
    const int width = crop.Width(), height = crop.Height();
    Bytes out{'8', 'B', 'P', 'S'};
    PutBE16(out, 1);
    out.insert(out.end(), 6, 0);
    PutBE16(out, 3);
    PutBE32(out, static_cast<unsigned>(height));
    PutBE32(out, static_cast<unsigned>(width));
    PutBE16(out, 8);
    PutBE16(out, 3);  // RGB
    PutBE32(out, 0);  // colour-mode data
    PutBE32(out, 0);  // image resources
    PutBE32(out, 0);  // layers and masks
    PutBE16(out, 1);  // PackBits
    Bytes data, lengths, row(static_cast<size_t>(width));
    for (int shift : {16, 8, 0})
        for (int y = crop.top; y < crop.bottom; ++y) {
            for (int x = 0; x < width; ++x)
                row[static_cast<size_t>(x)] = static_cast<unsigned char>(
                    base[static_cast<size_t>(y) * kBaseWidth + static_cast<size_t>(crop.left + x)] >> shift);
            const size_t before = data.size();
            PackBitsRow(row.data(), row.size(), data);
            PutBE16(lengths, static_cast<unsigned>(data.size() - before));
        }
    out.insert(out.end(), lengths.begin(), lengths.end());
    out.insert(out.end(), data.begin(), data.end());
    return out;
}

struct Catalog {
    std::string folder;
    std::string cacheFile;
    std::vector<std::string> files;    // all 1000, in the order written
    std::vector<std::string> vipsOwn;  // the JPEG and GIF files, which libvips reads with its own loaders
    std::string touched;               // the picture "touched" changes and "one read" reads
    unsigned long long bytes = 0;      // of all the pictures
};

std::string NameOf(int i) {
    char name[32];
    std::snprintf(name, sizeof name, "pic%04d.%s", i, FormatOf(i).extension);
    return name;
}

// A catalogue of the folder into a list that is thrown away; fails the program when the folder does not
// come out as 1000 records.
void CatalogueOnce(const Catalog& catalog, KivMediaFetchReport& report) {
    CKivObList list;
    if (!KivPictureFetchValidMediaFile(&list, CString::FromUtf8(catalog.folder),
                                       CString::FromUtf8(catalog.cacheFile), CString::FromUtf8(kExtensions),
                                       {}, &report))
        Fail("KivPictureFetchValidMediaFile failed on " + catalog.folder);
    if (list.GetCount() != kPictures || report.picturesDropped != 0)
        Fail("the catalogue of " + catalog.folder + " has " + std::to_string(list.GetCount()) + " records, " +
             std::to_string(report.picturesDropped) + " pictures dropped; expected " +
             std::to_string(kPictures) + " and none");
}

const Catalog& TheCatalog() {
    static const Catalog catalog = [] {
        Catalog made;
        made.folder = ScratchPath("catalog");
        made.cacheFile = made.folder + "/" + kCacheName;
        std::filesystem::create_directories(made.folder);
        std::printf("Writing %d pictures to %s\n", kPictures, made.folder.c_str());
        std::fflush(stdout);
        const auto& photo = Photo(kBaseWidth, kBaseHeight);
        std::vector<DWORD> base(photo.begin(), photo.end());  // our writers take pixels they may not change
        for (int i = 0; i < kPictures; ++i) {
            const std::string path = made.folder + "/" + NameOf(i);
            const Format& format = FormatOf(i);
            const CRect crop = CropOf(i);
            if (format.save) {
                if (!format.save(CString::FromUtf8(path), base.data(), CSize(kBaseWidth, kBaseHeight), crop))
                    Fail("our writer failed on " + path);
            } else if (std::string(format.extension) == "gif") {
                WriteBytes(path, GifFile(base, crop));
            } else {
                WriteBytes(path, PsdFile(base, crop));
            }
            made.files.push_back(path);
            if (std::string(format.extension) == "jpg" || std::string(format.extension) == "gif")
                made.vipsOwn.push_back(path);
            made.bytes += FileBytes(path);
        }
        // The picture "touched" changes: a JPEG (the commonest format in a real folder) of 640 x 480, the
        // middle size.
        for (int i = 0; i < kPictures && made.touched.empty(); ++i)
            if (std::string(FormatOf(i).extension) == "jpg" && SizeOf(i) == CSize(640, 480))
                made.touched = made.files[static_cast<size_t>(i)];
        KivMediaFetchReport report;
        CatalogueOnce(made, report);  // checks every picture and fills the page cache
        return made;
    }();
    return catalog;
}

// ---- The catalogue ------------------------------------------------------------------------------------

enum class Start { noCache, cacheTrusted };

// Brings the folder to the state an iteration starts from, outside the timing.
void Ready(const Catalog& catalog, Start start) {
    if (start == Start::noCache) {
        if (::unlink(catalog.cacheFile.c_str()) != 0 && errno != ENOENT) Fail("cannot delete the cache file");
        return;
    }
    KivMediaFetchReport report;
    CatalogueOnce(catalog, report);  // writes the cache when it is not trusted
    CatalogueOnce(catalog, report);
    if (!report.cacheTrusted) Fail("the catalogue does not trust the cache it has just written");
}

bool Fetch(const Catalog& catalog, CKivObList& list, KivMediaFetchReport& report) {
    return KivPictureFetchValidMediaFile(&list, CString::FromUtf8(catalog.folder),
                                         CString::FromUtf8(catalog.cacheFile), CString::FromUtf8(kExtensions),
                                         {}, &report) == 1 &&
           list.GetCount() == kPictures;
}

void Cold(benchmark::State& state) {
    const Catalog& catalog = TheCatalog();
    CKivObList list;
    KivMediaFetchReport report;
    for (auto _ : state) {
        state.PauseTiming();
        list.DeleteAll();
        Ready(catalog, Start::noCache);
        state.ResumeTiming();
        if (!Fetch(catalog, list, report) || report.cacheTrusted || report.picturesRead != kPictures) {
            state.SkipWithError("the cold catalogue did not read every picture");
            break;
        }
    }
    list.DeleteAll();  // after the loop: no longer timed
    state.SetItemsProcessed(state.iterations() * kPictures);
    state.counters["pictures"] = kPictures;
    state.counters["threads"] = ReadingThreads();
}

bool HasListedExtension(const char* name) {
    const char* dot = std::strrchr(name, '.');
    if (!dot) return false;
    for (const Format& format : kFormats)
        if (strcasecmp(dot + 1, format.extension) == 0) return true;
    return false;
}

// What a warm catalogue cannot do without: every file's status and the cache's bytes (read into cache,
// which keeps its memory from one call to the next). False when the folder or the cache is not what was
// written.
bool ReadFloor(const Catalog& catalog, std::vector<char>& cache) {
    int listed = 0;
    DIR* folder = ::opendir(catalog.folder.c_str());
    if (!folder) Fail("cannot list " + catalog.folder);
    while (const dirent* entry = ::readdir(folder)) {
        if (!HasListedExtension(entry->d_name)) continue;
        struct stat status {};
        if (::fstatat(::dirfd(folder), entry->d_name, &status, 0) == 0 && S_ISREG(status.st_mode)) ++listed;
    }
    ::closedir(folder);

    const int file = ::open(catalog.cacheFile.c_str(), O_RDONLY | O_CLOEXEC);
    struct stat status {};
    if (file < 0 || ::fstat(file, &status) != 0) Fail("cannot read " + catalog.cacheFile);
    cache.resize(static_cast<size_t>(status.st_size));
    size_t done = 0;
    while (done < cache.size()) {
        const ssize_t got = ::read(file, cache.data() + done, cache.size() - done);
        if (got <= 0) break;
        done += static_cast<size_t>(got);
    }
    ::close(file);
    benchmark::DoNotOptimize(cache.data());
    return listed == kPictures && done == cache.size();
}

// Each timed iteration is followed, untimed, by a listing of the warm case's floor; this machine's speed
// drifts between benchmarks run one after the other, so the gate's ratio is taken from pairs run side by
// side: "paired" is the repetition's warm wall-clock time over the floor reads beside it.
void Warm(benchmark::State& state) {
    const Catalog& catalog = TheCatalog();
    Ready(catalog, Start::cacheTrusted);
    CKivObList list;
    KivMediaFetchReport report;
    std::vector<char> cache;
    std::chrono::steady_clock::duration warm{}, floor{};
    for (auto _ : state) {
        const auto started = std::chrono::steady_clock::now();
        if (!Fetch(catalog, list, report) || !report.cacheTrusted) {
            state.SkipWithError("the warm catalogue did not take the cache");
            break;
        }
        const auto listed = std::chrono::steady_clock::now();
        state.PauseTiming();
        list.DeleteAll();
        const auto floorStarted = std::chrono::steady_clock::now();
        if (!ReadFloor(catalog, cache)) Fail("the folder or the cache is not what was written");
        floor += std::chrono::steady_clock::now() - floorStarted;
        warm += listed - started;
        state.ResumeTiming();
    }
    state.SetItemsProcessed(state.iterations() * kPictures);
    state.counters["trusted"] = report.cacheTrusted ? 1 : 0;
    state.counters["cache_MB"] = static_cast<double>(FileBytes(catalog.cacheFile)) / 1e6;
    if (floor.count() > 0)
        state.counters["paired"] = std::chrono::duration<double>(warm) / std::chrono::duration<double>(floor);
}

void Floor(benchmark::State& state) {
    const Catalog& catalog = TheCatalog();
    Ready(catalog, Start::cacheTrusted);
    std::vector<char> cache;
    for (auto _ : state) {
        if (!ReadFloor(catalog, cache)) {
            state.SkipWithError("the folder or the cache is not what was written");
            break;
        }
    }
    state.SetItemsProcessed(state.iterations() * kPictures);
    state.counters["cache_MB"] = static_cast<double>(cache.size()) / 1e6;
}

// A new modification time for the touched picture at every call, whole seconds apart (a file system or a
// cache that keeps seconds only still sees the change).
void Touch(const std::string& path) {
    static long long second = 1600000000;
    const timespec times[2] = {{0, UTIME_OMIT}, {static_cast<time_t>(++second), 0}};
    if (::utimensat(AT_FDCWD, path.c_str(), times, 0) != 0) Fail("cannot change the time of " + path);
}

void Touched(benchmark::State& state) {
    const Catalog& catalog = TheCatalog();
    Ready(catalog, Start::cacheTrusted);
    CKivObList list;
    KivMediaFetchReport report;
    for (auto _ : state) {
        state.PauseTiming();
        list.DeleteAll();
        Touch(catalog.touched);
        state.ResumeTiming();
        if (!Fetch(catalog, list, report) || report.cacheTrusted) {
            state.SkipWithError("the catalogue trusted a cache of a changed folder");
            break;
        }
    }
    list.DeleteAll();
    state.SetItemsProcessed(state.iterations() * kPictures);
    state.counters["read"] = report.picturesRead;  // 1 when only the changed picture is read again
    state.SetLabel(std::filesystem::path(catalog.touched).filename().string());
}

void OneRead(benchmark::State& state) {
    const Catalog& catalog = TheCatalog();
    const CString path = CString::FromUtf8(catalog.touched);
    for (auto _ : state) {
        CRect rect;
        DWORD* pixels = KivPictureLoadPicFile(path, rect);
        benchmark::DoNotOptimize(pixels);
        GlobalFree(pixels);
        if (!pixels) {
            state.SkipWithError("the picture did not load");
            break;
        }
    }
    state.SetItemsProcessed(state.iterations());
    state.SetLabel(std::filesystem::path(catalog.touched).filename().string());
}

// ---- The thumbnailers ---------------------------------------------------------------------------------

// Calls thumbnail(file) for every file on the given number of threads (the calling thread and helpers),
// each taking the next file; returns how many calls succeeded. atHelperExit runs on each helper thread
// before it ends.
int OverFiles(const std::vector<std::string>& files, unsigned threads,
              const std::function<bool(const std::string&)>& thumbnail,
              const std::function<void()>& atHelperExit = {}) {
    std::atomic<size_t> next{0};
    std::atomic<int> made{0};
    const auto work = [&] {
        for (size_t i = next++; i < files.size(); i = next++)
            if (thumbnail(files[i])) ++made;
    };
    {
        std::vector<std::jthread> helpers;
        for (unsigned t = 1; t < threads; ++t)
            helpers.emplace_back([&] {
                work();
                if (atHelperExit) atHelperExit();
            });
        work();
    }
    return made.load();
}

void StartImageMagick() {
    static const bool started = [] {
        // The writer benchmarks may have started it already; either way it stays up until the program ends.
        if (IsMagickWandInstantiated() == MagickFalse) MagickWandGenesis();
        MagickSetResourceLimit(ThreadResource, 1);
        return true;
    }();
    (void)started;
}

bool ImageMagickThumbnail(const std::string& path) {
    MagickWand* wand = NewMagickWand();
    const bool made = MagickReadImage(wand, path.c_str()) != MagickFalse &&
                      MagickThumbnailImage(wand, kThumbWidth, kThumbHeight) != MagickFalse;
    DestroyMagickWand(wand);
    return made;
}

// ImageMagick's thumbnails of files, on the catalogue's threads.
void ImageMagickOver(benchmark::State& state, const std::vector<std::string>& files) {
    StartImageMagick();
    const unsigned threads = ReadingThreads();
    int made = 0;
    for (auto _ : state) {
        made = OverFiles(files, threads, ImageMagickThumbnail);
        if (made == 0) {
            state.SkipWithError("ImageMagick made no thumbnail");
            break;
        }
    }
    state.SetItemsProcessed(state.iterations() * made);
    state.counters["unread"] = static_cast<double>(files.size()) - made;
    state.counters["threads"] = threads;
}

void ImageMagick(benchmark::State& state) {
    ImageMagickOver(state, TheCatalog().files);
}

void StartVips() {
    static const bool started = [] {
        if (VIPS_INIT("kivpicture_bench") != 0) Fail("libvips does not start");
        vips_concurrency_set(1);
        vips_cache_set_max(0);  // no result of one iteration answers the next
        return true;
    }();
    (void)started;
}

bool VipsThumbnail(const std::string& path) {
    VipsImage* thumbnail = nullptr;
    if (vips_thumbnail(path.c_str(), &thumbnail, kThumbWidth, "height", kThumbHeight, nullptr) != 0) {
        vips_error_clear();
        return false;
    }
    size_t bytes = 0;
    void* pixels = vips_image_write_to_memory(thumbnail, &bytes);  // the pipeline runs here
    g_object_unref(thumbnail);
    if (!pixels) {
        vips_error_clear();
        return false;
    }
    benchmark::DoNotOptimize(pixels);
    g_free(pixels);
    return bytes > 0;
}

// libvips' thumbnails of files, on the catalogue's threads.
void VipsOver(benchmark::State& state, const std::vector<std::string>& files) {
    StartVips();
    const unsigned threads = ReadingThreads();
    int made = 0;
    for (auto _ : state) {
        // A thread that used libvips frees its buffers before it ends.
        made = OverFiles(files, threads, VipsThumbnail, [] { vips_thread_shutdown(); });
        if (made == 0) {
            state.SkipWithError("libvips made no thumbnail");
            break;
        }
    }
    // The rate counts the thumbnails made; the files it could not read are counted apart.
    state.SetItemsProcessed(state.iterations() * made);
    state.counters["files"] = static_cast<double>(files.size());
    state.counters["unread"] = static_cast<double>(files.size()) - made;
    state.counters["threads"] = threads;
}

// libvips over all the files (own: false) or over the JPEG and GIF files only (own: true).
void Vips(benchmark::State& state, bool own) {
    const Catalog& catalog = TheCatalog();
    VipsOver(state, own ? catalog.vipsOwn : catalog.files);
}

void VipsAll(benchmark::State& state) {
    Vips(state, false);
}
void VipsOwnLoaders(benchmark::State& state) {
    Vips(state, true);
}

// ---- JPEG files alone ---------------------------------------------------------------------------------

// A folder listed for "jpg" only, with its own cache file, and its JPEG files.
struct JpegFolder {
    std::string folder;
    std::string cacheFile;
    std::vector<std::string> files;
};

// Checks that a listing of the folder makes a record of every file.
void CatalogueJpegsOnce(const JpegFolder& jpegs, CKivObList& list, KivMediaFetchReport& report) {
    if (!KivPictureFetchValidMediaFile(&list, CString::FromUtf8(jpegs.folder),
                                       CString::FromUtf8(jpegs.cacheFile), L"jpg", {}, &report) ||
        list.GetCount() != static_cast<int>(jpegs.files.size()) || report.picturesDropped != 0)
        Fail("the catalogue of the JPEG files of " + jpegs.folder + " is not one record per file");
}

const JpegFolder& Photos() {
    static const JpegFolder photos = [] {
        JpegFolder made;
        made.folder = ScratchPath("photos");
        made.cacheFile = made.folder + "/" + kCacheName;
        std::filesystem::create_directories(made.folder);
        std::printf("Writing %d JPEG photos of %dx%d to %s\n", kPhotos, kLargeWidth, kLargeHeight,
                    made.folder.c_str());
        std::fflush(stdout);
        for (int i = 0; i < kPhotos; ++i) {
            char name[32];
            std::snprintf(name, sizeof name, "photo%02d.jpg", i);
            made.files.push_back(made.folder + "/" + name);
            if (i == 0)
                WritePhotoJpeg(made.files[0], kLargeWidth, kLargeHeight, false);
            else
                std::filesystem::copy_file(made.files[0], made.files.back());
        }
        CKivObList list;
        KivMediaFetchReport report;
        CatalogueJpegsOnce(made, list, report);  // checks every photo and fills the page cache
        return made;
    }();
    return photos;
}

const JpegFolder& MixedJpegs() {
    static const JpegFolder jpegs = [] {
        const Catalog& catalog = TheCatalog();
        JpegFolder made;
        made.folder = catalog.folder;
        made.cacheFile = catalog.folder + "/jpg-only.pmf";
        for (const std::string& file : catalog.files)
            if (file.ends_with(".jpg")) made.files.push_back(file);
        return made;
    }();
    return jpegs;
}

// The catalogue of the folder's JPEG files with no cache: every picture read.
void ColdJpegs(benchmark::State& state, const JpegFolder& jpegs) {
    CKivObList list;
    KivMediaFetchReport report;
    for (auto _ : state) {
        state.PauseTiming();
        list.DeleteAll();
        if (::unlink(jpegs.cacheFile.c_str()) != 0 && errno != ENOENT) Fail("cannot delete the cache file");
        state.ResumeTiming();
        CatalogueJpegsOnce(jpegs, list, report);
        if (report.cacheTrusted || report.picturesRead != static_cast<int>(jpegs.files.size())) {
            state.SkipWithError("the cold catalogue did not read every picture");
            break;
        }
    }
    list.DeleteAll();
    state.SetItemsProcessed(state.iterations() * static_cast<long long>(jpegs.files.size()));
    state.counters["pictures"] = static_cast<double>(jpegs.files.size());
    state.counters["threads"] = ReadingThreads();
}

void PhotosCold(benchmark::State& state) { ColdJpegs(state, Photos()); }
void PhotosVips(benchmark::State& state) { VipsOver(state, Photos().files); }
void PhotosImageMagick(benchmark::State& state) { ImageMagickOver(state, Photos().files); }
void JpgCold(benchmark::State& state) { ColdJpegs(state, MixedJpegs()); }
void JpgVips(benchmark::State& state) { VipsOver(state, MixedJpegs().files); }
void JpgImageMagick(benchmark::State& state) { ImageMagickOver(state, MixedJpegs().files); }

// ---- The summary --------------------------------------------------------------------------------------

std::string Figure(double value, const char* format = "%.2f") {
    if (value < 0) return "n/a";
    char text[32];
    std::snprintf(text, sizeof text, format, value);
    return text;
}

double Divide(double a, double b) {
    return a < 0 || b <= 0 ? -1.0 : a / b;
}

void PrintSummary(const RunMedians& medians) {
    const auto real = [&](const char* name) { return medians.RealMs(std::string("catalog/") + name); };
    const auto rate = [&](const char* name) {
        return medians.Counter(std::string("catalog/") + name, "items_per_second");
    };
    for (const auto& [key, what] : {std::pair{"photos", "24 JPEG photos of 4000x3000"},
                                    std::pair{"jpg", "The mixed folder's JPEG files alone"}}) {
        const std::string name(key);
        const double cold = rate((name + "-cold").c_str());
        if (cold < 0) continue;
        std::printf("%s (wall-clock medians, %u reading threads): cold rate %s pictures/s, /libvips %s "
                    "(target >= 1), /ImageMagick %s (target >= 3)\n",
                    what, ReadingThreads(), Figure(cold, "%.1f").c_str(),
                    Figure(Divide(cold, rate((name + "-libvips").c_str()))).c_str(),
                    Figure(Divide(cold, rate((name + "-imagemagick").c_str()))).c_str());
    }
    bool ran = false;
    for (const char* name : {"cold", "warm", "floor", "touched", "one-read", "imagemagick", "libvips"})
        ran = ran || real(name) >= 0;
    if (!ran) return;
    const double warm = real("warm"), oneRead = real("one-read");
    const double touchedRatio = Divide(real("touched"), warm < 0 || oneRead < 0 ? -1.0 : warm + oneRead);
    const char* gate = touchedRatio < 0      ? ""
                       : touchedRatio <= 1.5 ? " (gate <= 1.5: met)"
                                             : " (gate <= 1.5: MISSED)";
    std::printf(
        "\nCatalogue of %d pictures (wall-clock medians, %u reading threads): warm/floor %s (paired %s); "
        "touched/(warm+one read) %s%s; cold rate %s pictures/s, /ImageMagick %s, /libvips %s\n",
        kPictures, ReadingThreads(), Figure(Divide(warm, real("floor"))).c_str(),
        Figure(medians.Counter("catalog/warm", "paired")).c_str(),
        Figure(touchedRatio).c_str(), gate, Figure(rate("cold"), "%.0f").c_str(),
        Figure(Divide(rate("cold"), rate("imagemagick"))).c_str(),
        Figure(Divide(rate("cold"), rate("libvips"))).c_str());
    const double vipsUnread = medians.Counter("catalog/libvips", "unread");
    if (vipsUnread > 0)
        std::printf("  libvips could not read %.0f of the %d files; its rate counts only what it read\n",
                    vipsUnread, kPictures);
    if (rate("libvips-jpg-gif") >= 0)
        std::printf(
            "  libvips reads BMP, TGA, PCX and PSD through ImageMagick; on the JPEG and GIF files alone, "
            "which it reads itself, it makes %s thumbnails/s\n",
            Figure(rate("libvips-jpg-gif"), "%.0f").c_str());
}

}  // namespace

const PictureFolder& MixedPictureFolder() {
    static const PictureFolder folder{TheCatalog().folder, TheCatalog().cacheFile, kExtensions, kPictures};
    return folder;
}

void RegisterCatalogBenchmarks() {
    // Iterations are fixed: a cold catalogue or a thumbnailer pass takes seconds, so one iteration per
    // repetition; the warm cases take milliseconds.
    const auto add = [](const char* name, void (*function)(benchmark::State&), int iterations) {
        benchmark::RegisterBenchmark((std::string("catalog/") + name).c_str(), function)
            ->Iterations(iterations)
            ->UseRealTime()
            ->MeasureProcessCPUTime()
            ->Unit(benchmark::kMillisecond);
    };
    add("cold", Cold, 1);
    add("warm", Warm, 10);
    add("floor", Floor, 20);
    add("touched", Touched, 5);
    add("one-read", OneRead, 20);
    add("imagemagick", ImageMagick, 1);
    add("libvips", VipsAll, 1);
    add("libvips-jpg-gif", VipsOwnLoaders, 1);
    add("photos-cold", PhotosCold, 1);
    add("photos-libvips", PhotosVips, 1);
    add("photos-imagemagick", PhotosImageMagick, 1);
    add("jpg-cold", JpgCold, 1);
    add("jpg-libvips", JpgVips, 1);
    add("jpg-imagemagick", JpgImageMagick, 1);
    AddSummary(PrintSummary);
}

}  // namespace bench
