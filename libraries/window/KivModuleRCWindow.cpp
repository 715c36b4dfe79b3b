#include "libraries/window/KivModuleRCWindow.h"

#include <QApplication>
#include <QByteArray>
#include <QImage>

#include "platform/ModuleResources.h"

namespace {

constexpr DWORD kFileHeaderBytes = 14;
constexpr DWORD kCoreHeaderBytes = 12;
constexpr DWORD kInfoHeaderBytes = 40;
constexpr DWORD kBitFields = 3;
constexpr DWORD kAlphaBitFields = 6;

DWORD ReadLE(const BYTE* bytes, int count) {
    DWORD value = 0;
    for (int i = count - 1; i >= 0; --i) value = (value << 8) | bytes[i];
    return value;
}

// Where the pixels of a bitmap resource (a file without its 14-byte header) begin: after the
// information header, the colour masks that follow a 40-byte header and the colour table. 0 when the
// header is cut short.
DWORD PixelOffset(const BYTE* dib, DWORD size) {
    if (size < 4) return 0;
    const DWORD headerSize = ReadLE(dib, 4);
    if (headerSize == kCoreHeaderBytes) {
        if (size < kCoreHeaderBytes) return 0;
        const DWORD bits = ReadLE(dib + 10, 2);
        return headerSize + (bits <= 8 ? (1u << bits) * 3 : 0);
    }
    if (headerSize < kInfoHeaderBytes || size < headerSize) return 0;
    const DWORD bits = ReadLE(dib + 14, 2);
    const DWORD compression = ReadLE(dib + 16, 4);
    const DWORD used = ReadLE(dib + 32, 4);
    const DWORD masks = headerSize != kInfoHeaderBytes ? 0
                        : compression == kBitFields    ? 12
                        : compression == kAlphaBitFields ? 16
                                                         : 0;
    const DWORD colours = used != 0 ? std::min<DWORD>(used, 256) : bits <= 8 ? (1u << bits) : 0;
    return headerSize + masks + colours * 4;
}

}  // namespace

int CKivModuleRC::MessageBoxW(HINSTANCE resources, UINT id, UINT style) {
    CString text;
    LoadStringW(resources, id, text);
    QWidget* owner = QApplication::instance() ? QApplication::activeWindow() : nullptr;
    return ::MessageBoxW(owner, text, nullptr, style);
}

BOOL CKivModuleRC::LoadBitmapW(HINSTANCE resources, UINT id, CBitmap& bitmap) {
    HRSRC found = FindResourceW(resources, MAKEINTRESOURCEW(id), RT_BITMAP);
    HGLOBAL loaded = found ? LoadResource(resources, found) : nullptr;
    if (loaded == nullptr) return FALSE;
    const auto* dib = static_cast<const BYTE*>(LockResource(loaded));
    const DWORD size = SizeofResource(resources, found);
    const DWORD offset = PixelOffset(dib, size);
    if (offset == 0 || offset > size) return FALSE;
    // The resource is the file less its header: put the header back and let Qt's reader decode it.
    QByteArray file(int(kFileHeaderBytes), '\0');
    const DWORD fileSize = kFileHeaderBytes + size;
    const DWORD pixels = kFileHeaderBytes + offset;
    file[0] = 'B';
    file[1] = 'M';
    for (int i = 0; i < 4; ++i) {
        file[2 + i] = char((fileSize >> (8 * i)) & 0xFF);
        file[10 + i] = char((pixels >> (8 * i)) & 0xFF);
    }
    file.append(reinterpret_cast<const char*>(dib), qsizetype(size));
    const QImage image = QImage::fromData(file, "BMP");
    if (image.isNull()) return FALSE;
    bitmap.DeleteObject();
    return bitmap.FromQImage(image);
}
