// What the benchmarks of kivpicture_bench share: the generated picture content, byte building for the
// files they write, the scratch folder those files live in, and the comparison tables.
//
// Every speed figure is the median CPU time of one operation (the running thread's user and system time,
// as Google Benchmark measures it by default) over the repetitions of one run. CPU time rather than wall
// time, because the operations are single-threaded and a busy machine stretches wall time without telling
// the libraries apart. After the runs each table prints, per row, the medians of our code and of its
// peers from that same run, and our time divided by the fastest peer's. The media catalogue, which reads
// on several threads, is the exception: its benchmarks are timed by the wall clock and end in a summary
// line of their own (CatalogBenchmark.cpp).
#pragma once

#include <cstdint>
#include <functional>
#include <map>
#include <memory>
#include <string>
#include <utility>
#include <vector>

namespace bench {

// The large pictures the readers and writers are timed on.
constexpr int kLargeWidth = 4000;
constexpr int kLargeHeight = 3000;

using Bytes = std::vector<unsigned char>;

// ---- Picture content ------------------------------------------------------------------------------------

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

unsigned char Clamp(double v);

struct Rgb {
    unsigned char red, green, blue;
};

// Smooth shading with grain: neighbouring pixels are close but rarely equal, as in a photograph.
Rgb PhotoColour(int x, int y, Noise& noise);

// A photo-like picture as pixel words 0xAARRGGBB (alpha 255), top row first. Built once per size.
const std::vector<std::uint32_t>& Photo(int width, int height);

// A picture of 256 colours: the photo reduced to a 3-3-2 palette without dithering, as a quick
// conversion to a paletted format gives. Built once per size.
struct IndexedPicture {
    int width = 0;
    int height = 0;
    std::vector<Rgb> palette;  // 256 entries
    Bytes indices;             // top row first
};
const IndexedPicture& IndexedPhoto(int width, int height);

// ---- Files ----------------------------------------------------------------------------------------------

void PutLE16(Bytes& out, unsigned value);
void PutLE32(Bytes& out, unsigned value);
void PutBE16(Bytes& out, unsigned value);
void PutBE32(Bytes& out, unsigned value);

// GIF's LZW code stream for indices of minCodeSize bits (clear code first, end code last), packed least
// significant bit first; the caller cuts it into sub-blocks.
Bytes LzwEncode(const unsigned char* indices, size_t count, unsigned minCodeSize);
// A GIF file of one 8-bit image with a global table of 256 entries (palette, padded with black); indices are
// in stored order (for an interlaced image, the rows already in pass order).
Bytes GifFile(int width, int height, const std::vector<Rgb>& palette, const Bytes& indices, bool interlaced);
// The photo of width x height, or its grey levels, through libjpeg's compressor with its defaults (4:2:0
// for colour) at quality 90, a camera's usual setting.
void WritePhotoJpeg(const std::string& path, int width, int height, bool grey);
// One row in PackBits (PSD's and TIFF's run-length coding), appended to out.
void PackBitsRow(const unsigned char* row, size_t count, Bytes& out);

// The window benchmarks' application object, on Qt's offscreen platform unless QT_QPA_PLATFORM names
// another; made on first use and kept until the process ends.
void EnsureWindowSystem();

// Prints the message and ends the program: a benchmark that cannot set itself up has nothing to time.
[[noreturn]] void Fail(const std::string& message);

// A path in the program's own temporary folder, made on first use and removed when the program ends.
std::string ScratchPath(const std::string& name);
void WriteBytes(const std::string& path, const Bytes& bytes);
// The size of a file in bytes, for the notes.
unsigned long long FileBytes(const std::string& path);

// ---- Shared folders -------------------------------------------------------------------------------------

// The catalogue benchmarks' folder of pictures in six formats (CatalogBenchmark.cpp), written and checked
// on first use: its path, its cache file, the extension list that lists every picture in it, and how many.
struct PictureFolder {
    std::string folder;
    std::string cacheFile;
    std::string extensions;
    int pictures = 0;
};
const PictureFolder& MixedPictureFolder();

// ---- Comparison tables ----------------------------------------------------------------------------------

// What a column of a table stands for.
enum class Role {
    ours,    // the code under test
    peer,    // an independent library doing the same job; our ratio is to the fastest of them
    floor,   // a lower bound on our time, such as the library call we wrap; a second ratio is to it
    shared,  // work ours and every peer do alike (the load before a scale); a third ratio leaves it out
};

class ComparisonTable;

class ComparisonRow {
  public:
    ComparisonRow(ComparisonTable& table, std::string name, std::function<void(ComparisonRow&)> prepare);

    // Registers the benchmark "<table>/<row>/<column>", which calls once() per iteration; once() returns
    // false when the operation failed, which stops the benchmark with an error.
    void Time(const std::string& column, Role role, std::function<bool()> once);
    // A line printed under the table, such as what a peer could not read.
    void Note(const std::string& text) { notes_.push_back(text); }

    const std::string& Name() const { return name_; }
    const std::vector<std::string>& Notes() const { return notes_; }

    // Runs prepare the first time a benchmark of the row is about to run, outside the timing, so that a
    // filtered run makes only the files it times. Benchmarks that time the row call it themselves.
    void PrepareOnce();

  private:
    ComparisonTable& table_;
    std::string name_;
    std::function<void(ComparisonRow&)> prepare_;
    bool prepared_ = false;
    std::vector<std::string> notes_;
};

class ComparisonTable {
  public:
    struct Column {
        std::string name;
        Role role;
    };

    ComparisonTable(std::string key, std::string title) : key_(std::move(key)), title_(std::move(title)) {}

    // A row; prepare (which may be empty) writes the row's files and checks them, once, untimed.
    ComparisonRow& Row(const std::string& name, std::function<void(ComparisonRow&)> prepare = {});
    // Called by the rows: a column joins the table when it is first timed.
    void AddColumn(const std::string& name, Role role);

    const std::string& Key() const { return key_; }
    const std::string& Title() const { return title_; }
    const std::vector<Column>& Columns() const { return columns_; }
    const std::vector<std::unique_ptr<ComparisonRow>>& Rows() const { return rows_; }

  private:
    std::string key_;
    std::string title_;
    std::vector<Column> columns_;  // in the order first timed
    std::vector<std::unique_ptr<ComparisonRow>> rows_;
};

// A table printed after the runs, in the order the tables were added; key prefixes its benchmarks' names.
ComparisonTable& AddTable(const std::string& key, const std::string& title);

// ---- Summaries ------------------------------------------------------------------------------------------

// The medians of one run, by full benchmark name, for summaries that do not fit a table: benchmarks that
// time several threads, or whose figures are rates.
class RunMedians {
  public:
    // Median CPU time in milliseconds, or a negative number when the benchmark did not run.
    double CpuMs(const std::string& name) const;
    // Median wall-clock time in milliseconds, or a negative number when the benchmark did not run.
    double RealMs(const std::string& name) const;
    // The median of a counter (rates per second), or a negative number when there is none.
    double Counter(const std::string& name, const std::string& counter) const;

    void Record(const std::string& name, double cpuMs, double realMs,
                std::vector<std::pair<std::string, double>> counters);

  private:
    struct Figures {
        double cpuMs = -1;
        double realMs = -1;
        std::vector<std::pair<std::string, double>> counters;
    };
    std::map<std::string, Figures> figures_;
};

// A summary printed after the tables, in the order added.
void AddSummary(std::function<void(const RunMedians&)> print);

// Runs the benchmarks registered so far with the command line's options (five repetitions and aggregates
// only unless the command line says otherwise), then prints the tables and the summaries. Returns the exit
// status.
int RunAndReport(int argc, char** argv);

}  // namespace bench
