#include "GifEncoder.h"

#include <map>
#include <stdexcept>
#include <utility>

namespace giftest {

namespace {

constexpr unsigned kMaxCodes = 4096;
constexpr unsigned kMaxCodeBits = 12;

void PutColorTable(Bytes& out, const std::vector<std::uint32_t>& table) {
    for (const std::uint32_t rgb : table) {
        PutU8(out, (rgb >> 16) & 0xFF);
        PutU8(out, (rgb >> 8) & 0xFF);
        PutU8(out, rgb & 0xFF);
    }
}

// The packed-byte bits of a table: present flag and the exponent n of its 2^(n+1) entries.
unsigned ColorTableBits(const std::vector<std::uint32_t>& table) {
    if (table.empty()) return 0;
    for (unsigned n = 0; n < 8; ++n)
        if (table.size() == (2u << n)) return 0x80u | n;
    throw std::invalid_argument("a colour table holds 2, 4, ... or 256 entries");
}

// Tracks the code width a decoder reads with: it grows when the decoder's next free slot reaches the
// limit, and the decoder makes no entry for the first code after a clear code.
class CodeWidth {
  public:
    explicit CodeWidth(unsigned minCodeSize) : minCodeSize_(minCodeSize) { Reset(); }

    unsigned bits() const { return bits_; }

    void Sent(unsigned code) {
        if (code == 1u << minCodeSize_) {
            Reset();
            return;
        }
        if (afterClear_) {
            afterClear_ = false;
            return;
        }
        if (slot_ < limit_) ++slot_;
        if (slot_ >= limit_ && bits_ < kMaxCodeBits) {
            limit_ <<= 1;
            ++bits_;
        }
    }

  private:
    void Reset() {
        bits_ = minCodeSize_ + 1;
        slot_ = (1u << minCodeSize_) + 2;
        limit_ = 1u << bits_;
        afterClear_ = true;
    }

    unsigned minCodeSize_;
    unsigned bits_ = 0;
    unsigned slot_ = 0;
    unsigned limit_ = 0;
    bool afterClear_ = true;
};

}  // namespace

Bytes PackCodes(const std::vector<Code>& codes) {
    Bytes out;
    std::uint32_t pending = 0;
    unsigned held = 0;
    for (const Code& code : codes) {
        pending |= (code.value & ((1u << code.bits) - 1)) << held;
        held += code.bits;
        for (; held >= 8; held -= 8, pending >>= 8) PutU8(out, pending & 0xFF);
    }
    if (held > 0) PutU8(out, pending & 0xFF);
    return out;
}

Bytes LzwEncode(const Indices& indices, unsigned minCodeSize, bool clearWhenFull) {
    const unsigned clearCode = 1u << minCodeSize;
    const unsigned endCode = clearCode + 1;
    const unsigned firstFree = clearCode + 2;
    std::vector<Code> codes;
    CodeWidth width(minCodeSize);
    const auto send = [&](unsigned code) {
        codes.push_back({code, width.bits()});
        width.Sent(code);
    };

    std::map<std::pair<unsigned, std::uint8_t>, unsigned> table;  // (string code, next index) -> code
    unsigned nextCode = firstFree;
    send(clearCode);
    if (!indices.empty()) {
        unsigned string = indices[0];
        for (size_t i = 1; i < indices.size(); ++i) {
            const auto found = table.find({string, indices[i]});
            if (found != table.end()) {
                string = found->second;
                continue;
            }
            send(string);
            if (nextCode < kMaxCodes) {
                table[{string, indices[i]}] = nextCode++;
            } else if (clearWhenFull) {
                send(clearCode);
                table.clear();
                nextCode = firstFree;
            }
            string = indices[i];
        }
        send(string);
    }
    send(endCode);
    return PackCodes(codes);
}

Bytes SubBlocks(const Bytes& data, size_t blockBytes, bool terminated) {
    Bytes out;
    for (size_t at = 0; at < data.size(); at += blockBytes) {
        const size_t count = std::min(blockBytes, data.size() - at);
        PutU8(out, static_cast<unsigned>(count));
        out.insert(out.end(), data.begin() + static_cast<std::ptrdiff_t>(at),
                   data.begin() + static_cast<std::ptrdiff_t>(at + count));
    }
    if (terminated) PutU8(out, 0);
    return out;
}

GifBuilder::GifBuilder(const std::vector<std::uint32_t>& globalTable, const std::string& signature,
                       unsigned screenWidth, unsigned screenHeight) {
    bytes_.assign(signature.begin(), signature.end());
    PutU16(bytes_, screenWidth);
    PutU16(bytes_, screenHeight);
    PutU8(bytes_, ColorTableBits(globalTable));
    PutU8(bytes_, 0);  // background index
    PutU8(bytes_, 0);  // aspect ratio
    PutColorTable(bytes_, globalTable);
}

GifBuilder GifBuilder::Continuing(const Bytes& start) {
    GifBuilder builder;
    builder.bytes_ = start;
    return builder;
}

GifBuilder& GifBuilder::Image(const GifImage& image) {
    PutU8(bytes_, 0x2C);
    PutU16(bytes_, image.left);
    PutU16(bytes_, image.top);
    PutU16(bytes_, image.width);
    PutU16(bytes_, image.height);
    PutU8(bytes_, ColorTableBits(image.localTable) | (image.interlaced ? 0x40u : 0u));
    PutColorTable(bytes_, image.localTable);
    PutU8(bytes_, image.minCodeSize);
    return Raw(SubBlocks(image.data));
}

GifBuilder& GifBuilder::Extension(unsigned label, const std::vector<Bytes>& subBlocks) {
    PutU8(bytes_, 0x21);
    PutU8(bytes_, label);
    for (const Bytes& block : subBlocks) {
        PutU8(bytes_, static_cast<unsigned>(block.size()));
        Raw(block);
    }
    PutU8(bytes_, 0);
    return *this;
}

GifBuilder& GifBuilder::Transparent(unsigned index) {
    // Flags: transparency on; delay 0.
    return Extension(0xF9, {{0x01, 0x00, 0x00, static_cast<std::uint8_t>(index)}});
}

GifBuilder& GifBuilder::Raw(const Bytes& bytes) {
    bytes_.insert(bytes_.end(), bytes.begin(), bytes.end());
    return *this;
}

GifBuilder& GifBuilder::Trailer() {
    PutU8(bytes_, 0x3B);
    return *this;
}

Indices InterlacedOrder(const Indices& rowsTopDown, unsigned width, unsigned height) {
    constexpr unsigned kFirstRow[] = {0, 4, 2, 1};
    constexpr unsigned kStep[] = {8, 8, 4, 2};
    Indices stored;
    for (unsigned pass = 0; pass < 4; ++pass)
        for (unsigned row = kFirstRow[pass]; row < height; row += kStep[pass])
            stored.insert(stored.end(), rowsTopDown.begin() + row * width,
                          rowsTopDown.begin() + (row + 1) * width);
    return stored;
}

}  // namespace giftest
