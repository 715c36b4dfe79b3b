// The PSD reader on files built byte by byte, for what the corpus (ReaderCorpusTest) does not show: the
// channel rules of the colour modes, PackBits edges, floats, the large-document format, the resource walk,
// and the refusals.

#include <bit>
#include <cmath>
#include <string>

#include "TestFiles.h"
#include "readers/Readers.h"

namespace {

using S = KivLoadStatus;
enum Mode : unsigned { kBitmap = 0, kGrey = 1, kIndexed = 2, kRgb = 3, kCmyk = 4, kMulti = 7, kLab = 9 };

void PutBE(Bytes& out, std::uint64_t value, int bytes) {
    for (int i = bytes - 1; i >= 0; --i) out.push_back(static_cast<std::uint8_t>(value >> (8 * i)));
}
Bytes operator+(Bytes a, const Bytes& b) {
    a.insert(a.end(), b.begin(), b.end());
    return a;
}

// One PSD file: the header, the three length-prefixed sections (the layers' length 8 bytes in version 2),
// the compression code and the image data.
struct PsdFile {
    unsigned mode = kRgb, width = 1, height = 1, channels = 3, depth = 8, compression = 0;
    Bytes imageData = {}, colorModeData = {}, resources = {}, layers = {};
    std::string signature = "8BPS";
    unsigned version = 1, reserved = 0;  // reserved: the last of the six reserved bytes

    Bytes Build() const {
        Bytes out(signature.begin(), signature.end());
        PutBE(out, version, 2), PutBE(out, reserved, 6), PutBE(out, channels, 2), PutBE(out, height, 4);
        PutBE(out, width, 4), PutBE(out, depth, 2), PutBE(out, mode, 2);
        for (const Bytes* section : {&colorModeData, &resources, &layers})
            PutBE(out, section->size(), section == &layers && version == 2 ? 8 : 4), out = out + *section;
        PutBE(out, compression, 2);
        return out + imageData;
    }
};
using Edit = void (*)(PsdFile&);

// A picture of one row, raw samples given channel after channel.
Bytes Psd(unsigned mode, unsigned width, const std::vector<Bytes>& channels) {
    PsdFile file{mode, width, 1, static_cast<unsigned>(channels.size())};
    for (const Bytes& channel : channels) file.imageData = file.imageData + channel;
    return file.Build();
}
// A 1 x 1 RGB picture changed by edit.
Bytes Edited(Edit edit) {
    PsdFile file{kRgb, 1, 1, 3, 8, 0, {1, 2, 3}};
    edit(file);
    return file.Build();
}
// A picture of one row in PackBits: a row-length table of nonsense (the reader skips it), then the data.
Bytes Packed(unsigned mode, unsigned width, unsigned channels, const Bytes& data, unsigned depth = 8) {
    return PsdFile{mode, width, 1, channels, depth, 1, Bytes(2 * channels, 0x77) + data}.Build();
}
// Floats as 32-bit samples.
Bytes Floats(const std::vector<float>& values) {
    Bytes out;
    for (const float value : values) PutBE(out, std::bit_cast<std::uint32_t>(value), 4);
    return out;
}
// A large-document picture of one column in PackBits (a row-length table of 4-byte nonsense entries)
// with a 3-byte layer section, and the data that follows the table.
Bytes Large(unsigned height, const Bytes& data, unsigned width = 1) {
    PsdFile file{kGrey, width, height, 1, 8, 1, Bytes(4 * height, 0x77) + data, {}, {}, Bytes(3)};
    file.version = 2;
    return file.Build();
}
// An image resource block: the name padded so that its length byte and it are even, the data to even.
Bytes Resource(unsigned id, const std::string& name, const Bytes& data) {
    Bytes out{'8', 'B', 'I', 'M'};
    PutBE(out, id, 2), PutU8(out, static_cast<unsigned>(name.size()));
    out.insert(out.end(), name.begin(), name.end());
    out.resize(out.size() + (name.size() % 2 == 0));
    PutBE(out, static_cast<std::uint32_t>(data.size()), 4);
    return out + data + Bytes(data.size() % 2);
}
Bytes Count(unsigned count) {
    return Resource(1046, "", {static_cast<std::uint8_t>(count >> 8), static_cast<std::uint8_t>(count)});
}
// An indexed picture of three pixels, 0, 2 and 255, with a table whose entry i is red i, green 255 - i,
// blue i ^ 0x55 (or the table given), and the resources given.
const std::vector<DWORD> kIndexed3 = {0xFF00FF55, 0xFF02FD57, 0xFFFF00AA}, kZero = {0, 0, 0};
Bytes Indexed(const Bytes& resources, Bytes table = Bytes(768)) {
    for (unsigned i = 0; i < 256 && table.size() == 768; ++i)
        table[i] = static_cast<std::uint8_t>(i), table[256 + i] = static_cast<std::uint8_t>(255 - i),
        table[512 + i] = static_cast<std::uint8_t>(i ^ 0x55);
    return PsdFile{kIndexed, 3, 1, 1, 8, 0, {0, 2, 255}, table, resources}.Build();
}
// Bitmap pixels: '1' black, '0' white.
std::vector<DWORD> Bits(const std::string& bits) {
    std::vector<DWORD> pixels;
    for (const char bit : bits) pixels.push_back(bit == '1' ? 0xFF000000u : 0xFFFFFFFFu);
    return pixels;
}
// The file with the section length at `at` made 4096, longer than the file.
Bytes Longer(Bytes bytes, size_t at) {
    bytes[at + 2] = 0x10;
    return bytes;
}

TEST(PsdReader, FilesBuiltByteByByte) {
    const Bytes rgb = Psd(kRgb, 2, {{1, 2}, {3, 4}, {5, 6}});
    const std::vector<FileCase> cases = {
        // clang-format off
        {"RGB's fourth channel is alpha; the fifth is unread", Psd(kRgb, 1, {{1}, {2}, {3}, {0x40}, {0x99}}),
         S::ok, 1, 1, {0x40010203}},
        {"RGB with two channels stays all zero", Psd(kRgb, 1, {{1}, {2}}), S::ok, 1, 1, {0}},
        {"bitmap: rows of whole bytes, the most significant bit first, 1 black and 0 white",
         PsdFile{kBitmap, 10, 2, 1, 1, 0, {0xA5, 0x40, 0x0F, 0xC0}}.Build(), S::ok, 10, 2,
         Bits("1010010101" "0000111111")},
        {"bitmap of 8 bits stays all zero", Psd(kBitmap, 1, {{1}}), S::ok, 1, 1, {0}},
        {"1 bit in another mode", PsdFile{kGrey, 1, 1, 1, 1, 0, {0x80}}.Build(), S::unsupportedVariant},
        {"multichannel of five channels: no key", Psd(kMulti, 1, {{255}, {128}, {0}, {0}, {0}}), S::ok, 1, 1,
         {0xFFFE7F00}},
        {"indexed: the table's thirds; count 1 limits no index", Indexed(Count(1)), S::ok, 3, 1, kIndexed3},
        {"indexed without resource 1046 stays all zero", Indexed({}), S::ok, 3, 1, kZero},
        {"indexed with a negative count stays all zero", Indexed(Count(0x8000)), S::ok, 3, 1, kZero},
        {"indexed with a 767-byte table stays all zero", Indexed(Count(3), Bytes(767)), S::ok, 3, 1, kZero},
        {"PackBits: a header of 128 does nothing; a literal of two and a run of two",
         Packed(kGrey, 4, 1, {0x80, 0x01, 0x0A, 0x0B, 0xFF, 0x0C}), S::ok, 4, 1,
         {0xFF0A0A0A, 0xFF0B0B0B, 0xFF0C0C0C, 0xFF0C0C0C}},
        {"PackBits: a run crossing a channel's end is clipped; the next channel starts at the next header",
         Packed(kRgb, 2, 3, {0xFD, 0x11, 0x01, 0x22, 0x33, 0x01, 0x44, 0x55}), S::ok, 2, 1,
         {0xFF112244, 0xFF113355}},
        {"PackBits: a literal crossing a channel's end is clipped and its bytes passed over",
         Packed(kRgb, 1, 3, {0x02, 0x11, 0xEE, 0xEE, 0x00, 0x22, 0x00, 0x33}), S::ok, 1, 1, {0xFF112233}},
        {"PackBits: a run of 128 past the picture is clipped", Packed(kGrey, 2, 1, {0x81, 0x77}), S::ok, 2, 1,
         {0xFF777777, 0xFF777777}},
        {"PackBits: 16-bit runs repeat a byte into high and low halves",
         Packed(kRgb, 1, 3, {0xFF, 0xAA, 0xFF, 0xBB, 0xFF, 0xCC}, 16), S::ok, 1, 1, {0xFFAABBCC}},
        {"PackBits: channels past the converted ones are not decoded",
         Packed(kRgb, 1, 5, {0, 1, 0, 2, 0, 3, 0, 4, 0xFF}), S::ok, 1, 1, {0x04010203}},
        {"resources: an odd data size and an even name length both take their pad byte",
         Indexed(Resource(1005, "ab", {1, 2, 3}) + Count(3)), S::ok, 3, 1, kIndexed3},
        {"resources: an odd name length takes no pad byte", Indexed(Resource(1033, "a", Bytes(5)) + Count(3)),
         S::ok, 3, 1, kIndexed3},
        {"resources: four bytes that are not a signature are passed over",
         Indexed(Bytes{'M', 'e', 'S', 'a'} + Count(3)), S::ok, 3, 1, kIndexed3},
        {"resources: a tail too short for a signature is passed over", Indexed(Count(3) + Bytes(3)), S::ok, 3,
         1, kIndexed3},
        {"32-bit floats: trunc(f x 255), clamped to 0-1, NaN 0",
         PsdFile{kGrey, 6, 1, 1, 32, 0, Floats({0.5f, 0.999f, 1, 2, -1, NAN})}.Build(), S::ok, 6, 1,
         {0xFF7F7F7F, 0xFFFEFEFE, 0xFFFFFFFF, 0xFFFFFFFF, 0xFF000000, 0xFF000000}},
        {"PackBits: a float gathers its bytes across runs",
         Packed(kGrey, 2, 1, {0x00, 0x3F, 0xFE, 0x00, 0x00, 0x3F, 0xFE, 0x00}, 32), S::ok, 2, 1,
         {0xFF7F7F7F, 0xFF7F7F7F}},
        {"large document: an 8-byte layer length, 4-byte row lengths", Large(2, {0xFF, 0x5A}), S::ok, 1, 2,
         {0xFF5A5A5A, 0xFF5A5A5A}},
        {"large document: a side above 300,000", Large(1, {0x00, 0x5A}, 300001), S::corrupt},
        {"large document: 300,000 x 1000 pixels, past the pixel limit; 4-byte row lengths leave too little",
         Head(Large(1000, Bytes(300000 * 1000 / 64, 0x81), 300000), -1001), S::truncated},
        {"raw floats a byte short", Head(PsdFile{kGrey, 1, 1, 1, 32, 0, Floats({0.5f})}.Build(), -1),
         S::truncated},
        {"resources: a one-byte count: the count is unknown", Indexed(Resource(1046, "", {5})), S::ok, 3, 1,
         kZero},
        {"another signature", Edited([](PsdFile& f) { f.signature = "8BPX"; }), S::notThisFormat},
        {"an unknown version", Edited([](PsdFile& f) { f.version = 3; }), S::corrupt},
        {"a reserved byte not zero", Edited([](PsdFile& f) { f.reserved = 1; }), S::corrupt},
        {"a header cut short", Bytes{'8', 'B', 'P', 'S', 0, 1, 0, 0, 0, 0}, S::truncated},
        {"zip compression", Edited([](PsdFile& f) { f.compression = 2; }), S::unsupportedVariant},
        {"no channel", Psd(kRgb, 1, {}), S::corrupt},
        {"a negative channel count", Edited([](PsdFile& f) { f.channels = 0x8000; }), S::corrupt},
        {"no column", Psd(kRgb, 0, {{1}}), S::corrupt},
        {"raw samples a byte short", Head(rgb, -1), S::truncated},
        {"PackBits data ending inside a literal", Packed(kRgb, 2, 3, {0x01, 1, 2, 0x01, 3}), S::truncated},
        {"PackBits data ending after a whole run", Packed(kRgb, 2, 3, {0x01, 1, 2}), S::truncated},
        {"layers longer than the file", Longer(rgb, 34), S::truncated},
        {"a resource running past its section", Indexed(Head(Resource(1005, "", Bytes(8)), -2)), S::corrupt},
        {"a section ending inside a block header", Indexed({'8', 'B', 'I', 'M', 0, 0}), S::corrupt},
        {"32768 x 32768 pixels need 2^32 bytes; 16 MiB of PackBits could hold their samples",
         PsdFile{kGrey, 32768, 32768, 1, 8, 1, Bytes(32768 * 2 + (16 << 20), 0x81)}.Build(), S::tooLarge},
// clang-format on
};
ExpectCases(cases, {ReadPsdFile, KivPictureLoadPSDFile});
}

// Another process may cut a file short while it is read: the size seen at opening promised the samples,
// so only the read itself can tell that they are gone.
TEST(PsdReader, AFileCutShortAfterItWasOpenedIsTruncated) {
    ScratchFolder folder;
    const Bytes whole = Psd(kRgb, 64, {Bytes(64, 1), Bytes(64, 2), Bytes(64, 3)});
    const CString path = folder.Write("cut.psd", whole);
    ByteSource source;
    ASSERT_EQ(source.Open(path), S::ok);
    std::filesystem::resize_file(folder.File("cut.psd"), whole.size() - 100);
    EXPECT_EQ(DecodePsd(source).status, S::truncated);
}

}  // namespace
