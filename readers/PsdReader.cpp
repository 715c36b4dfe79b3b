// PSD reader: the composite (flattened) picture of a version-1 file or of the large-document format
// (version 2), raw or PackBits, converted from grey, duotone, indexed, RGB, CMYK, multichannel or Lab
// samples of 8 or 16 bits or 32-bit floating point, or from bitmap pictures of one bit per pixel. Layers
// are passed over.

#include <algorithm>
#include <array>
#include <bit>
#include <climits>
#include <cmath>
#include <cstdint>
#include <cstring>
#include <new>
#include <utility>
#include <vector>

#include "readers/PsdLayout.h"
#include "readers/Readers.h"

namespace {

constexpr BYTE kOpaque = 255;
constexpr UINT kPixelBytes = 4;  // blue, green, red, alpha

KivLoadStatus ReadHeaderFields(ByteSource& source, PsdFileHeader& header) {
    BYTE raw[psd::kHeaderBytes];
    const size_t got = source.Read(raw, sizeof raw);
    if (got < psd::kSignatureBytes ||
        std::memcmp(raw + psd::kSignatureOffset, psd::kSignature, psd::kSignatureBytes) != 0)
        return KivLoadStatus::notThisFormat;
    if (got < sizeof raw) return KivLoadStatus::truncated;
    const WORD version = psd::ReadBE16(raw + psd::kVersionOffset);
    if (version != psd::kVersion && version != psd::kLargeDocumentVersion) return KivLoadStatus::corrupt;
    const BYTE* reserved = raw + psd::kReservedOffset;
    if (std::any_of(reserved, reserved + psd::kReservedBytes, [](BYTE b) { return b != 0; }))
        return KivLoadStatus::corrupt;
    // Version 1 sides are held only to the pixel limit, as they always were; the large-document format
    // states its own.
    const DWORD height = psd::ReadBE32(raw + psd::kHeightOffset),
                width = psd::ReadBE32(raw + psd::kWidthOffset);
    if (version == psd::kLargeDocumentVersion &&
        (height > psd::kLargeDocumentMaxSide || width > psd::kLargeDocumentMaxSide))
        return KivLoadStatus::corrupt;
    header.version = version;
    header.channels = static_cast<short>(psd::ReadBE16(raw + psd::kChannelsOffset));
    header.height = height;
    header.width = width;
    header.depth = psd::ReadBE16(raw + psd::kDepthOffset);
    header.colorMode = psd::ReadBE16(raw + psd::kColorModeOffset);
    return KivLoadStatus::ok;
}

// A 4-byte length, or the 8-byte one of the large-document format's layer and mask section.
KivLoadStatus ReadSectionLength(ByteSource& in, ULONGLONG& length, UINT bytes = psd::kSectionLengthBytes) {
    BYTE raw[psd::kLargeSectionLengthBytes];
    if (!in.ReadExact(raw, bytes)) return KivLoadStatus::truncated;
    length = 0;
    for (UINT i = 0; i < bytes; ++i) length = length << 8 | raw[i];
    return KivLoadStatus::ok;
}

// Only the colour table of an indexed picture is ever used, so other colour-mode data is passed over.
// Data longer than the rest of the file fails the load here: the sections after it could not be read.
KivLoadStatus ReadColorModeData(ByteSource& in, WORD colorMode,
                                std::array<BYTE, psd::kColorTableBytes>& table, bool& hasTable) {
    ULONGLONG length = 0;
    if (const KivLoadStatus status = ReadSectionLength(in, length); status != KivLoadStatus::ok)
        return status;
    if (length > in.Remaining()) return KivLoadStatus::truncated;
    if (colorMode == psd::kIndexed && length == psd::kColorTableBytes) {
        hasTable = in.ReadExact(table.data(), table.size());
        return hasTable ? KivLoadStatus::ok : KivLoadStatus::truncated;
    }
    return in.Skip(length) ? KivLoadStatus::ok : KivLoadStatus::truncated;
}

// Walks the image resource blocks, which must fill their section, and keeps the indexed colour count of
// resource 1046. The other resources are passed over by their declared size: their values are not used.
// A section longer than the rest of the file, or a block running past its section, fails the load. A
// tail of fewer bytes than a signature holds no block and is passed over: the next section starts at
// the stated length, which the walk never passed.
KivLoadStatus WalkImageResources(ByteSource& in, short& indexedColorCount) {
    ULONGLONG sectionLength = 0;
    if (const KivLoadStatus status = ReadSectionLength(in, sectionLength); status != KivLoadStatus::ok)
        return status;
    if (sectionLength > in.Remaining()) return KivLoadStatus::truncated;
    ULONGLONG consumed = 0;
    const auto fits = [&](ULONGLONG count) { return count <= sectionLength - consumed; };
    const auto read = [&](BYTE* out, size_t count) {
        if (!fits(count)) return KivLoadStatus::corrupt;
        if (!in.ReadExact(out, count)) return KivLoadStatus::truncated;
        consumed += count;
        return KivLoadStatus::ok;
    };
    const auto skip = [&](ULONGLONG count) {
        if (!fits(count)) return KivLoadStatus::corrupt;
        if (!in.Skip(count)) return KivLoadStatus::truncated;
        consumed += count;
        return KivLoadStatus::ok;
    };
    KivLoadStatus status = KivLoadStatus::ok;
    while (consumed < sectionLength) {
        if (!fits(psd::kResourceSignatureBytes)) return skip(sectionLength - consumed);
        BYTE signature[psd::kResourceSignatureBytes];
        if ((status = read(signature, sizeof signature)) != KivLoadStatus::ok) return status;
        // Nothing but the signature is searched for: other bytes are passed over four at a time.
        if (std::memcmp(signature, psd::kResourceSignature, sizeof signature) != 0) continue;
        BYTE idAndName[psd::kResourceIdBytes + psd::kResourceNameLengthBytes];
        if ((status = read(idAndName, sizeof idAndName)) != KivLoadStatus::ok) return status;
        const WORD id = psd::ReadBE16(idAndName);
        const UINT nameLength = idAndName[psd::kResourceIdBytes];
        // A pad byte follows a name of even length, so that length byte and name together are even.
        if ((status = skip(nameLength + (nameLength % 2 == 0 ? 1 : 0))) != KivLoadStatus::ok) return status;
        BYTE size[psd::kResourceSizeBytes];
        if ((status = read(size, sizeof size)) != KivLoadStatus::ok) return status;
        const ULONGLONG dataSize = psd::ReadBE32(size);
        ULONGLONG dataLeft = dataSize + (dataSize & 1);  // odd sizes are padded to even
        if (!fits(dataLeft)) return KivLoadStatus::corrupt;
        // A count resource too small to hold its count leaves the count unknown.
        if (id == psd::kIndexedColorCountId && dataSize >= psd::kIndexedColorCountBytes) {
            BYTE count[psd::kIndexedColorCountBytes];
            if ((status = read(count, sizeof count)) != KivLoadStatus::ok) return status;
            indexedColorCount = static_cast<short>(psd::ReadBE16(count));
            dataLeft -= sizeof count;
        }
        if ((status = skip(dataLeft)) != KivLoadStatus::ok) return status;
    }
    return KivLoadStatus::ok;
}

// A length past the end of the file fails the load: the image data cannot follow it.
KivLoadStatus SkipLayerAndMaskSection(ByteSource& in, const PsdFileHeader& header) {
    ULONGLONG length = 0;
    const UINT bytes = header.version == psd::kLargeDocumentVersion ? psd::kLargeSectionLengthBytes
                                                                    : psd::kSectionLengthBytes;
    if (const KivLoadStatus status = ReadSectionLength(in, length, bytes); status != KivLoadStatus::ok)
        return status;
    return in.Skip(length) ? KivLoadStatus::ok : KivLoadStatus::truncated;
}

// Raw samples are converted like PackBits samples, rather than refused.
KivLoadStatus ReadCompression(ByteSource& in, WORD& compression) {
    BYTE raw[psd::kCompressionBytes];
    if (!in.ReadExact(raw, sizeof raw)) return KivLoadStatus::truncated;
    compression = psd::ReadBE16(raw);
    if (compression == psd::kRaw || compression == psd::kPackBits) return KivLoadStatus::ok;
    if (compression == psd::kZip || compression == psd::kZipWithPrediction)
        return KivLoadStatus::unsupportedVariant;
    return KivLoadStatus::corrupt;
}

// The samples of one channel: a pixel's each, or for one bit per pixel the bytes of the packed rows, each
// row whole bytes.
ULONGLONG ChannelSamples(const PsdFileHeader& header) {
    const ULONGLONG width = header.width;
    const ULONGLONG columns = header.depth == psd::kBitmapDepth ? (width + 7) / 8 : width;
    return columns * header.height;  // below 2^64
}

// The PackBits row-length table: an entry per row of each channel, 2 bytes (4 in the large-document
// format). Below 2^51 bytes.
ULONGLONG RowTableBytes(const PsdFileHeader& header) {
    const UINT entry =
        header.version == psd::kLargeDocumentVersion ? psd::kLargeRowLengthBytes : psd::kRowLengthBytes;
    return static_cast<ULONGLONG>(header.height) * static_cast<ULONGLONG>(header.channels) * entry;
}

// The least image data (after the compression code) that can hold the samples of every channel, so that
// a few bytes claiming a huge picture cannot size a huge buffer. Raw: exactly the samples' bytes, a
// sample taking depth / 8 bytes (2 at 16 bits, 4 for a float) and a bitmap's sample being a byte of
// eight pixels. PackBits, in either version: the whole row-length table, then at best a byte for 64
// sample bytes (a two-byte run of 128). A count past 64 bits stands as the largest: no file holds it.
ULONGLONG LeastImageDataBytes(const PsdFileHeader& header, WORD compression) {
    const ULONGLONG samples = ChannelSamples(header);
    const ULONGLONG bytesPerPixel = static_cast<ULONGLONG>(header.channels) * std::max(header.depth / 8u, 1u);
    if (samples > ULLONG_MAX / bytesPerPixel) return ULLONG_MAX;
    const ULONGLONG sampleBytes = samples * bytesPerPixel;
    if (compression != psd::kPackBits) return sampleBytes;
    constexpr ULONGLONG kSampleBytesPerRunByte = psd::kPackBitsMaxRun / 2;
    return RowTableBytes(header) + (sampleBytes + kSampleBytesPerRunByte - 1) / kSampleBytesPerRunByte;
}

// A floating-point sample as a byte: trunc(f x 255), f clamped to 0-1 and NaN taken as 0, as ImageMagick
// makes of it in 8-bit output. The product is exact in double precision.
BYTE FloatSampleByte(DWORD bits) {
    const double f = std::bit_cast<float>(bits);
    if (!(f > 0)) return 0;
    if (f >= 1) return 255;
    return static_cast<BYTE>(f * 255);
}

// Receives the bytes of one channel in file order and keeps one byte of each sample in byte `channel` of
// its pixel: 16-bit samples keep their high byte in every colour mode and floats FloatSampleByte, so the
// conversion always works on one byte per sample. Bytes past the end of the channel are dropped, which
// clips a PackBits run that would cross into the next channel or past the picture. The decoders hold it
// by value: pixel stores may alias anything reached through a pointer, not a local.
template <UINT kBytesPerSample>
class ChannelSink {
    static_assert(kBytesPerSample == 1 || kBytesPerSample == 2 || kBytesPerSample == 4);

  public:
    ChannelSink(BYTE* pixels, int channel, ULONGLONG samples)
        : out_(pixels + channel), left_(samples * kBytesPerSample) {}

    bool Full() const { return left_ == 0; }
    ULONGLONG Room() const { return left_; }

    void Copy(const BYTE* bytes, size_t count) {
        count = Clip(count);
        if constexpr (kBytesPerSample == 1) {
            for (size_t i = 0; i < count; ++i) out_[i * kPixelBytes] = bytes[i];
            out_ += count * kPixelBytes;
        } else if constexpr (kBytesPerSample == 2) {
            size_t i = 0;
            if (count > 0 && lowByte_) Pass(i);
            for (; i + 1 < count; i += 2, out_ += kPixelBytes) *out_ = bytes[i];
            if (i < count) Keep(bytes[i]);
        } else {
            for (size_t i = 0; i < count; ++i) Gather(bytes[i]);
        }
    }

    void Fill(BYTE value, size_t count) {
        count = Clip(count);
        if constexpr (kBytesPerSample == 1) {
            for (size_t i = 0; i < count; ++i) out_[i * kPixelBytes] = value;
            out_ += count * kPixelBytes;
        } else if constexpr (kBytesPerSample == 2) {
            size_t i = 0;
            if (count > 0 && lowByte_) Pass(i);
            for (; i + 1 < count; i += 2, out_ += kPixelBytes) *out_ = value;
            if (i < count) Keep(value);
        } else {
            for (size_t i = 0; i < count; ++i) Gather(value);
        }
    }

  private:
    size_t Clip(size_t count) {
        count = static_cast<size_t>(std::min<ULONGLONG>(count, left_));
        left_ -= count;
        return count;
    }
    // A 16-bit sample split between two runs: its high byte ends one, its low byte starts the next.
    void Keep(BYTE high) {
        *out_ = high;
        lowByte_ = true;
    }
    void Pass(size_t& i) {
        out_ += kPixelBytes;
        lowByte_ = false;
        ++i;
    }
    // A float's bytes gather across runs, most significant first; the sample is stored once whole.
    void Gather(BYTE byte) {
        floatBits_ = floatBits_ << 8 | byte;
        if (++gathered_ < kBytesPerSample) return;
        *out_ = FloatSampleByte(floatBits_);
        out_ += kPixelBytes;
        gathered_ = 0;
    }

    BYTE* out_;
    ULONGLONG left_;
    bool lowByte_ = false;
    DWORD floatBits_ = 0;
    UINT gathered_ = 0;
};

// Raw samples of a file that ends early fail the load, as PackBits data does.
template <UINT kBytesPerSample>
KivLoadStatus ReadRawChannel(ByteSource& in, ChannelSink<kBytesPerSample> sink) {
    while (!sink.Full()) {
        const BYTE* bytes = nullptr;
        const size_t taken = in.Take(bytes, static_cast<size_t>(std::min<ULONGLONG>(sink.Room(), SIZE_MAX)));
        if (taken == 0) return KivLoadStatus::truncated;
        sink.Copy(bytes, taken);
    }
    return KivLoadStatus::ok;
}

// One PackBits run read byte by byte: the slow way, for a run that crosses the end of the buffered bytes.
template <UINT kBytesPerSample>
KivLoadStatus DecodeRunAcrossBuffers(ByteSource& in, ChannelSink<kBytesPerSample>& sink) {
    const int header = in.NextByte();
    if (header < 0) return KivLoadStatus::truncated;
    if (header < psd::kPackBitsNoOp) {
        for (size_t left = static_cast<size_t>(header) + 1; left > 0;) {
            const BYTE* bytes = nullptr;
            const size_t taken = in.Take(bytes, left);
            if (taken == 0) return KivLoadStatus::truncated;
            sink.Copy(bytes, taken);
            left -= taken;
        }
    } else if (header > psd::kPackBitsNoOp) {
        const int value = in.NextByte();
        if (value < 0) return KivLoadStatus::truncated;
        sink.Fill(static_cast<BYTE>(value), static_cast<size_t>(psd::kPackBitsRepeatBase - header));
    }
    return KivLoadStatus::ok;
}

// The channel's rows follow one another without regard to the row-length table; a channel ends when its
// samples are complete. Data that ends before then fails the load: the channels are planar, so what was
// decoded would not make a partial picture.
template <UINT kBytesPerSample>
KivLoadStatus DecodePackBitsChannel(ByteSource& in, ChannelSink<kBytesPerSample> sink) {
    const BYTE* p = nullptr;
    const BYTE* end = nullptr;
    while (!sink.Full()) {
        const size_t buffered = in.Peek(p);
        if (buffered == 0) return KivLoadStatus::truncated;
        const BYTE* const start = p;
        end = p + buffered;
        // Whole runs inside the buffered bytes.
        while (!sink.Full() && end - p >= 2) {
            const int header = p[0];
            if (header < psd::kPackBitsNoOp) {
                const size_t count = static_cast<size_t>(header) + 1;
                if (static_cast<size_t>(end - p) - 1 < count) break;
                sink.Copy(p + 1, count);
                p += 1 + count;
            } else if (header > psd::kPackBitsNoOp) {
                sink.Fill(p[1], static_cast<size_t>(psd::kPackBitsRepeatBase - header));
                p += 2;
            } else {
                ++p;
            }
        }
        in.Advance(static_cast<size_t>(p - start));
        if (sink.Full()) break;
        if (const KivLoadStatus status = DecodeRunAcrossBuffers(in, sink); status != KivLoadStatus::ok)
            return status;
    }
    return KivLoadStatus::ok;
}

// Decodes the leading channelsUsed channels into the pixel bytes, interleaved: the sample of channel c of
// pixel i lands at byte i x 4 + c. Channels after them are never read.
template <UINT kBytesPerSample>
KivLoadStatus DecodeChannels(ByteSource& in, const PsdFileHeader& header, WORD compression, int channelsUsed,
                             BYTE* pixels) {
    const ULONGLONG samples = ChannelSamples(header);
    if (compression == psd::kPackBits && channelsUsed > 0 && !in.Skip(RowTableBytes(header)))
        return KivLoadStatus::truncated;
    for (int channel = 0; channel < channelsUsed; ++channel) {
        ChannelSink<kBytesPerSample> sink(pixels, channel, samples);
        const KivLoadStatus status =
            compression == psd::kPackBits ? DecodePackBitsChannel(in, sink) : ReadRawChannel(in, sink);
        if (status != KivLoadStatus::ok) return status;
    }
    return KivLoadStatus::ok;
}

// ---- Conversion ------------------------------------------------------------------------------------------
// Samples are one byte here (a 16-bit sample has kept its high byte, a float its scaled byte), so the
// sample range M is 256 for every depth.

// A pixel as a word: byte 0 (blue, or the sample of channel 0) is its low byte on the little-endian hosts
// that the pixel buffer's word layout assumes.
static_assert(std::endian::native == std::endian::little);

DWORD LoadPixel(const BYTE* p) {
    DWORD word;
    std::memcpy(&word, p, sizeof word);
    return word;
}
void StorePixel(BYTE* p, DWORD word) {
    std::memcpy(p, &word, sizeof word);
}

void ConvertGrey(BYTE* p, BYTE* end) {
    for (; p != end; p += kPixelBytes) StorePixel(p, PackBgra(p[0], p[0], p[0]));
}

void ConvertIndexed(BYTE* p, BYTE* end, const BYTE* table) {
    for (; p != end; p += kPixelBytes) {
        const BYTE index = p[0];
        p[0] = table[psd::kColorTableBlueOffset + index];
        p[1] = table[psd::kColorTableGreenOffset + index];
        p[2] = table[psd::kColorTableRedOffset + index];
        p[3] = kOpaque;
    }
}

// Bitmap pictures: bit 0 white, bit 1 black, the most significant bit first. Pixel (x, y) reads packed byte
// y x rowBytes + x / 8, never one past its own place, so expanding from the last pixel back overwrites only
// packed bytes already read.
void ConvertBitmap(BYTE* pixels, size_t count, size_t width) {
    constexpr DWORD kOpaqueWhite = 0xFFFFFFFFu;
    const size_t rowBytes = (width + 7) / 8;
    for (size_t y = count / width; y-- > 0;) {
        const BYTE* row = pixels + y * rowBytes * kPixelBytes;
        BYTE* out = pixels + y * width * kPixelBytes;
        for (size_t x = width; x-- > 0;) {
            const BYTE packed = row[x / 8 * kPixelBytes];
            StorePixel(out + x * kPixelBytes, (packed >> (7 - x % 8) & 1) ? kOpaqueBlack : kOpaqueWhite);
        }
    }
}

// Swaps the samples of channels 0 and 2 into red and blue. Without an alpha channel byte 3 is still 0.
void ConvertRgb(BYTE* p, BYTE* end, bool alpha) {
    const DWORD opaque = alpha ? 0 : kOpaqueAlpha;
    for (; p != end; p += kPixelBytes) {
        const DWORD word = LoadPixel(p);
        StorePixel(p, (word & 0xFF00FF00u) | (word >> 16 & 0xFFu) | (word & 0xFFu) << 16 | opaque);
    }
}

// Ink samples store 255 for no ink. With c = 1 - s / 256 and k = 1 - key / 256, the colour
// (1 - (c (1 - k) + k)) x 255 is s x key x 255 / 65536 exactly; no value of it that is not a whole number
// lies within 1/65536 of one, far beyond the rounding of the floating-point form, so truncating either
// form gives the same byte. The divisor is 256, not 255: no ink gives 253. A key of 256 stands for k = 0.
void ConvertInk(BYTE* p, BYTE* end, bool keyChannel) {
    constexpr UINT kNoKey = 256;
    for (; p != end; p += kPixelBytes) {
        const UINT key = keyChannel ? p[3] : kNoKey;
        const UINT scale = key * 255;
        const BYTE red = static_cast<BYTE>(p[0] * scale >> 16);
        const BYTE green = static_cast<BYTE>(p[1] * scale >> 16);
        const BYTE blue = static_cast<BYTE>(p[2] * scale >> 16);
        p[0] = blue;
        p[1] = green;
        p[2] = red;
        p[3] = kOpaque;
    }
}

// CIE L*a*b* (D65 white) through XYZ to sRGB, in double precision, in the order of the formulas.
void LabToRgb(BYTE s0, BYTE s1, BYTE s2, BYTE rgb[3]) {
    constexpr double kRange = 256.0;
    const int lightness = static_cast<int>(s0 / (kRange / 100));
    const int a = static_cast<int>(s1 / (kRange / 256) - 128);
    const int b = static_cast<int>(s2 / (kRange / 256) - 128);
    const double fy = (lightness + 16) / 116.0;
    const double fx = a / 500.0 + fy;
    const double fz = fy - b / 200.0;
    const auto linear = [](double f) {
        const double cube = f * f * f;
        return cube > 0.008856 ? cube : (f - 16.0 / 116.0) / 7.787;
    };
    const double x = 95.047 * linear(fx) / 100;
    const double y = 100.0 * linear(fy) / 100;
    const double z = 108.883 * linear(fz) / 100;
    const double components[3] = {
        3.2406 * x - 1.5372 * y - 0.4986 * z,
        -0.9689 * x + 1.8758 * y + 0.0415 * z,
        0.0557 * x - 0.2040 * y + 1.0570 * z,
    };
    for (int i = 0; i < 3; ++i) {
        const double u = components[i];
        const double encoded = u > 0.0031308 ? 1.055 * std::pow(u, 1 / 2.4) - 0.055 : 12.92 * u;
        const double scaled = encoded * 256;
        rgb[i] = scaled <= 0 ? 0 : scaled >= 255 ? 255 : static_cast<BYTE>(scaled);
    }
}

void ConvertLab(BYTE* p, BYTE* end) {
    // Flat areas repeat their samples, so the last conversion is kept.
    DWORD lastSamples = 0xFFFFFFFFu;
    BYTE rgb[3] = {};
    for (; p != end; p += kPixelBytes) {
        const DWORD samples =
            static_cast<DWORD>(p[0]) | static_cast<DWORD>(p[1]) << 8 | static_cast<DWORD>(p[2]) << 16;
        if (samples != lastSamples) {
            LabToRgb(p[0], p[1], p[2], rgb);
            lastSamples = samples;
        }
        p[0] = rgb[2];
        p[1] = rgb[1];
        p[2] = rgb[0];
        p[3] = kOpaque;
    }
}

}  // namespace

DecodedPicture DecodePsd(ByteSource& in) {
    PsdFileHeader header;
    if (const KivLoadStatus status = ReadHeaderFields(in, header); status != KivLoadStatus::ok)
        return DecodedPicture::Failure(status);

    std::array<BYTE, psd::kColorTableBytes> colorTable{};
    bool hasColorTable = false;
    short indexedColorCount = -1;
    WORD compression = 0;
    KivLoadStatus status = ReadColorModeData(in, header.colorMode, colorTable, hasColorTable);
    if (status == KivLoadStatus::ok) status = WalkImageResources(in, indexedColorCount);
    if (status == KivLoadStatus::ok) status = SkipLayerAndMaskSection(in, header);
    if (status == KivLoadStatus::ok) status = ReadCompression(in, compression);
    if (status != KivLoadStatus::ok) return DecodedPicture::Failure(status);
    // One bit per pixel only in bitmap pictures (a bitmap picture of 8, 16 or 32 bits is a mode the
    // conversion leaves all zero, as any other); 32-bit samples are floats in every colour mode.
    const bool bitmap = header.depth == psd::kBitmapDepth && header.colorMode == psd::kBitmap;
    if (!bitmap && header.depth != 8 && header.depth != 16 && header.depth != psd::kFloatDepth)
        return DecodedPicture::Failure(KivLoadStatus::unsupportedVariant);
    // The channel count is signed: a file with none, or a negative count, has no picture to convert.
    if (header.channels < 1) return DecodedPicture::Failure(KivLoadStatus::corrupt);
    if (status = CheckDataCanHold(in, LeastImageDataBytes(header, compression)); status != KivLoadStatus::ok)
        return DecodedPicture::Failure(status);

    // Refuses a picture whose byte size, width x height x 4, does not fit in 32 bits.
    DecodedPicture picture;
    if (status = AllocatePixelBuffer(header.width, header.height, picture.pixels);
        status != KivLoadStatus::ok)
        return DecodedPicture::Failure(status);
    // The count of resource 1046 only tells whether the table is in use; indices past it still read it.
    const PsdConversion conversion{header.colorMode, header.channels,
                                   hasColorTable && indexedColorCount >= 1 ? colorTable.data() : nullptr,
                                   bitmap ? static_cast<size_t>(header.width) : 0};
    const int channelsUsed = PsdChannelsConverted(conversion);
    // The pixel buffer doubles as the interleaved sample buffer: no more than four channels are
    // converted, one byte each; a bitmap's packed rows take byte 0 of no more pixels than there are.
    BYTE* const pixels = reinterpret_cast<BYTE*>(picture.pixels.get());
    switch (header.depth) {
        case 16:
            status = DecodeChannels<2>(in, header, compression, channelsUsed, pixels);
            break;
        case psd::kFloatDepth:
            status = DecodeChannels<4>(in, header, compression, channelsUsed, pixels);
            break;
        default:
            status = DecodeChannels<1>(in, header, compression, channelsUsed, pixels);
            break;
    }
    if (status != KivLoadStatus::ok) return DecodedPicture::Failure(status);
    ConvertPsdPixels(pixels, static_cast<size_t>(header.width) * header.height, conversion);
    picture.rect = CRect(0, 0, static_cast<int>(header.width), static_cast<int>(header.height));
    return picture;
}

// The probe accepts the header the reader accepts first: signature, version 1 or 2 (its sides within
// 300,000) and zero reserved bytes.
bool ProbePsd(ByteSource& source, PictureHeader& result) {
    PsdFileHeader header;
    if (ReadHeaderFields(source, header) != KivLoadStatus::ok) return false;
    if (header.width > 0x7FFFFFFF || header.height > 0x7FFFFFFF) return false;
    result.bits = header.depth;
    result.rect = RECT{0, 0, static_cast<LONG>(header.width), static_cast<LONG>(header.height)};
    return true;
}

int PsdChannelsConverted(const PsdConversion& conversion) {
    int needed = 0;
    switch (conversion.colorMode) {
        // Grey and duotone pictures read channel 0 of each pixel; extra channels (alpha, spot colours)
        // are stepped over rather than misread as further pixels.
        case psd::kGrey:
        case psd::kDuotone:
            needed = 1;
            break;
        case psd::kIndexed:
            needed = conversion.colorTable ? 1 : 0;
            break;
        case psd::kRgb:
            needed = conversion.channels >= 4 ? 4 : 3;
            break;
        case psd::kCmyk:
            needed = 4;
            break;
        case psd::kMultichannel:
            needed = conversion.channels == 4 ? 4 : 3;
            break;
        case psd::kLab:
            needed = 3;
            break;
        case psd::kBitmap:
            needed = conversion.bitmapWidth ? 1 : 0;
            break;
        default:
            return 0;
    }
    // A picture with fewer channels than its mode reads stays all zero, as a multichannel picture of
    // fewer than three channels does.
    return conversion.channels >= needed ? needed : 0;
}

void ConvertPsdPixels(BYTE* pixels, size_t count, const PsdConversion& conversion) {
    const int channelsUsed = PsdChannelsConverted(conversion);
    if (channelsUsed == 0) return;
    BYTE* const end = pixels + count * kPixelBytes;
    switch (conversion.colorMode) {
        case psd::kGrey:
        case psd::kDuotone:
            ConvertGrey(pixels, end);
            break;
        case psd::kIndexed:
            ConvertIndexed(pixels, end, conversion.colorTable);
            break;
        case psd::kRgb:
            ConvertRgb(pixels, end, channelsUsed == 4);
            break;
        case psd::kCmyk:
        case psd::kMultichannel:
            ConvertInk(pixels, end, channelsUsed == 4);
            break;
        case psd::kLab:
            ConvertLab(pixels, end);
            break;
        case psd::kBitmap:
            ConvertBitmap(pixels, count, conversion.bitmapWidth);
            break;
        default:
            break;
    }
}
