// The parts of the TGA reader that the picture probe and the tests reach: the header read and
// check, the decode limits, the pixel conversion and the run-length packet reader.
#pragma once

#include <cstddef>
#include <cstdio>
#include <memory>

#include "PixelBuffer.h"
#include "StdioFile.h"
#include "TgaFileInfo.h"

namespace tga {

// Limits of the decode's data model, our decisions where the format leaves them open.
constexpr UINT kWorkPixelBytes = 4;       // every pixel is widened to B, G, R, A in the strip buffer
constexpr UINT kMaxSourcePixelBytes = 4;  // the run value and the conversion know 1 to 4 bytes
constexpr UINT kMaxBitsPerPixel = 32;
constexpr UINT kMaxWorkRowBytes = 32767;  // the work row and strip sizes are 16-bit quantities
constexpr UINT kMaxWidth = kMaxWorkRowBytes / kWorkPixelBytes;  // 8191
constexpr UINT kMaxHeight = 32767;                              // the row counter is a signed 16-bit value
constexpr UINT kStripBufferBytes = 32767;  // unencoded strips; halved while a row still fits
constexpr UINT kColorMapTableBytes = 2048;
constexpr UINT kColorMapTableEntries = kColorMapTableBytes / kWorkPixelBytes;  // 512
constexpr UINT kMappedPixelDepth = 8;                                          // indices are one byte
constexpr UINT kRleReadBufferBytes = 8192;  // halved while at least kRleMinReadBufferBytes can be had
constexpr UINT kRleMinReadBufferBytes = 128;

}  // namespace tga

// Reads the 18-byte header and the image ID of the file at path into info (zero it first), leaving file
// open and positioned at the colour map or the pixel data. Returns ok, fileNotFound, unreadable, or
// truncated when the file is shorter than the header. A short image ID is not a failure: like every
// short read after the header it leaves zeros behind.
KivLoadStatus ReadTgaHeader(const CString& path, StdioFile& file, TgaFileInfo& info);

// The header check: nonzero sides (else corrupt), colour-map type 0 or 1 and a known image
// type (else notThisFormat: TGA has no signature, so this is what turns away other files), and a
// colour map for the colour-mapped types (else corrupt).
KivLoadStatus CheckTgaHeader(const TgaFileInfo& info);

// The limits that the decode's data model imposes beyond the header check (our answers to the open
// points of the format): rows wider than 8191 pixels or more than 32767 rows (tooLarge), pixel depths of 0
// or over 32 bits (unsupportedVariant), and for a picture that is really colour-mapped: a pixel depth
// other than 8 or an entry size of 0 or over 32 bits (unsupportedVariant), and a first index plus length
// over the table's 512 entries (corrupt).
KivLoadStatus CheckTgaDecodeLimits(const TgaFileInfo& info);

// True when the picture's one-byte pixels are colour-map indices: a colour-mapped image type with a
// colour map of at least one entry. A colour-mapped file whose map is empty reads as grey.
bool IsTgaColorMapped(const TgaFileInfo& info);

// Widens count pixels of sourceBytes (1 to 4) each, stored from the start of pixels, to 4 bytes B, G, R, A
// in place, from the last pixel backwards; the buffer must hold count x 4 bytes. One byte is a grey
// level; two bytes a 5-5-5 word (or, when grey is true, a grey level and an attribute byte); three bytes
// B, G, R; four bytes are left as they are. The alpha written is 0; the decode makes it 255 for every
// picture whose pixel depth is not 32.
void ConvertTgaPixels(BYTE* pixels, size_t count, UINT sourceBytes, bool grey);

// The run-length packet reader of one decode. Packets may span rows, strips and read-buffer refills:
// what is still due from a packet carries over from one Read to the next.
class TgaRleReader {
  public:
    TgaRleReader() = default;
    TgaRleReader(const TgaRleReader&) = delete;
    TgaRleReader& operator=(const TgaRleReader&) = delete;

    // Starts on file, positioned at the first packet, for pixels of pixelBytes (1 to 4). The read buffer
    // is maxBufferBytes, halved after each failed allocation; false when not even
    // kRleMinReadBufferBytes can be had.
    bool Start(std::FILE* file, UINT pixelBytes, UINT maxBufferBytes = tga::kRleReadBufferBytes);

    // Delivers up to count pixels into destination (count x pixelBytes bytes). Returns the number of whole
    // pixels delivered: count, or fewer once the file has ended.
    size_t Read(BYTE* destination, size_t count);

    // Frees the read buffer; the destructor does so too.
    void Stop();

    UINT BufferBytes() const { return bufferBytes_; }

  private:
    bool NextByte(BYTE& byte);
    bool Refill();
    bool StartPacket();
    size_t CopyRaw(BYTE* destination, size_t bytes);

    std::unique_ptr<BYTE[]> buffer_;
    UINT bufferBytes_ = 0;
    UINT next_ = 0;  // the next unread byte of the buffer
    UINT end_ = 0;   // the end of the bytes the last refill delivered
    std::FILE* file_ = nullptr;
    UINT pixelBytes_ = 0;
    WORD pending_ = 0;  // pixels still due from the current packet
    bool run_ = false;
    bool ended_ = false;  // the file gave no more bytes
    BYTE runValue_[tga::kMaxSourcePixelBytes] = {};
};
