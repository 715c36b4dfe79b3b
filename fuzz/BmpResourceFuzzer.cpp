// Arbitrary bytes as the data of a bitmap resource: a module table of one BITMAP entry holding the input,
// read with KivPictureLoadBMPInRC.
//
// The input is the resource data (information header, palette, rows). An input that begins with "BM" is
// taken as a bitmap file and loses its 14-byte file header first, as the resource compiler does, so the
// bitmaps under tests/data serve as inputs too; no resource can begin with "BM", whose header size would
// be over a million. The last byte (a pixel, in a bitmap) chooses how the entry is named and asked for:
//   0 by integer identifier, 1 by "#<identifier>" text, 2 by name in another case, 3 by a name not in the
//   table.

#include <vector>

#include "FuzzSupport.h"
#include "platform/ModuleResources.h"

namespace {

constexpr WORD kBitmapId = 7001;
constexpr std::size_t kFileHeaderBytes = 14;

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::uint8_t choice = size >= 1 ? data[size - 1] & 3 : 0;
    if (size >= 2 && data[0] == 'B' && data[1] == 'M') {
        const std::size_t skipped = size < kFileHeaderBytes ? size : kFileHeaderBytes;
        data += skipped;
        size -= skipped;
    }
    // A copy of exactly the data's size, so that a read past the resource's end reaches no other bytes.
    const std::vector<BYTE> bytes(data, data + size);
    const BYTE* resource = bytes.empty() ? nullptr : bytes.data();

    const bool byName = choice >= 2;
    const ModuleResourceEntry entry{2,
                                    nullptr,
                                    byName ? WORD{0} : kBitmapId,
                                    byName ? L"FuzzPicture" : nullptr,
                                    resource,
                                    static_cast<DWORD>(size)};
    const ModuleResourceTable table{"fuzz", &entry, 1};
    LPCWSTR asked = MAKEINTRESOURCEW(kBitmapId);
    if (choice == 1) asked = L"#7001";
    if (choice == 2) asked = L"fUZZpICTURE";
    if (choice == 3) asked = L"NoSuchPicture";

    CRect rect;
    DWORD* pixels = KivPictureLoadBMPInRC(&table, asked, rect);
    if (choice == 3 && pixels) FuzzFail("a resource that is not in the table was loaded");
    CheckHandedOverPicture(pixels, rect, PictureOrigin::zero);
    return 0;
}
