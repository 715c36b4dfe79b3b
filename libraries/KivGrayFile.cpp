// Gray pictures (".AMY"): one 8-bit gray picture and a UTF-16LE title behind a 14-byte header. The layout
// is the comment on CKivGrayFile in KivPublic.h. A file is trusted only when its length backs everything its
// header declares, so a lying header costs neither a large allocation nor a read past the end.

#include <algorithm>
#include <array>
#include <cstring>
#include <new>
#include <string>
#include <vector>

#include "platform/Exceptions.h"
#include "platform/File.h"
#include "platform/GlobalMemory.h"
#include "platform/ReplacementFile.h"
#include "libraries/KivPublic.h"

namespace {

constexpr BYTE kMagic[4] = {'A', 'M', 'Y', '1'};
constexpr UINT kHeaderBytes = 14;
constexpr ULONGLONG kMaxSide = 65535;
constexpr ULONGLONG kMaxTitleUnits = 1024;
// Pixels are read and written in pieces of this size rather than one call of up to 4 GB.
constexpr size_t kChunkBytes = 1024 * 1024;
constexpr wchar_t kReplacement = 0xFFFD;

DWORD GetLE32(const BYTE* bytes) {
    return static_cast<DWORD>(bytes[0]) | static_cast<DWORD>(bytes[1]) << 8 |
           static_cast<DWORD>(bytes[2]) << 16 | static_cast<DWORD>(bytes[3]) << 24;
}

WORD GetLE16(const BYTE* bytes) {
    return static_cast<WORD>(bytes[0] | bytes[1] << 8);
}

void PutLE32(BYTE* bytes, DWORD value) {
    for (int i = 0; i < 4; ++i) bytes[i] = static_cast<BYTE>(value >> (8 * i));
}

void PutLE16(BYTE* bytes, WORD value) {
    bytes[0] = static_cast<BYTE>(value);
    bytes[1] = static_cast<BYTE>(value >> 8);
}

// UTF-16 units to wide characters: a pair becomes one character, a lone surrogate U+FFFD.
std::wstring DecodeUtf16(const std::vector<WORD>& units) {
    std::wstring text;
    text.reserve(units.size());
    for (size_t i = 0; i < units.size(); ++i) {
        const WORD unit = units[i];
        if (unit >= 0xD800 && unit <= 0xDBFF && i + 1 < units.size() && units[i + 1] >= 0xDC00 &&
            units[i + 1] <= 0xDFFF) {
            text.push_back(static_cast<wchar_t>(0x10000 + ((unit - 0xD800) << 10) + (units[i + 1] - 0xDC00)));
            ++i;
        } else if (unit >= 0xD800 && unit <= 0xDFFF) {
            text.push_back(kReplacement);
        } else {
            text.push_back(static_cast<wchar_t>(unit));
        }
    }
    return text;
}

// Wide characters to UTF-16 units: characters past U+FFFF become pairs. A wide character that is no code
// point (a surrogate, or past U+10FFFF) becomes U+FFFD, so the file never holds a lone surrogate.
std::vector<WORD> EncodeUtf16(const std::wstring& text) {
    std::vector<WORD> units;
    units.reserve(text.size());
    for (const wchar_t character : text) {
        const auto code = static_cast<std::uint32_t>(character);
        if (code >= 0x10000 && code <= 0x10FFFF) {
            units.push_back(static_cast<WORD>(0xD800 + ((code - 0x10000) >> 10)));
            units.push_back(static_cast<WORD>(0xDC00 + ((code - 0x10000) & 0x3FF)));
        } else if (code > 0x10FFFF || (code >= 0xD800 && code <= 0xDFFF)) {
            units.push_back(kReplacement);
        } else {
            units.push_back(static_cast<WORD>(code));
        }
    }
    return units;
}

struct GrayHeader {
    int width = 0;
    int height = 0;
    std::wstring title;
};

// Opens path and reads its header and title, leaving the file at the first pixel. False, with the file
// closed, when it is not a gray picture whose length holds its title and every pixel. Throws what the
// file and the allocations throw; the caller catches.
bool ReadHeader(const CString& path, CFile& file, GrayHeader& header) {
    if (!file.Open(path, CFile::modeRead | CFile::shareDenyWrite | CFile::typeBinary)) return false;
    // The length first: no field is believed until the file is known to back it.
    const ULONGLONG length = file.GetLength();
    std::array<BYTE, kHeaderBytes> bytes{};
    if (length < kHeaderBytes || file.Read(bytes.data(), kHeaderBytes) != kHeaderBytes ||
        std::memcmp(bytes.data(), kMagic, sizeof kMagic) != 0) {
        file.Abort();
        return false;
    }
    const ULONGLONG width = GetLE32(bytes.data() + 4);
    const ULONGLONG height = GetLE32(bytes.data() + 8);
    const ULONGLONG titleUnits = GetLE16(bytes.data() + 12);
    const ULONGLONG needed = kHeaderBytes + 2 * titleUnits + width * height;  // at most about 4.3e9: no wrap
    if (width < 1 || width > kMaxSide || height < 1 || height > kMaxSide || titleUnits > kMaxTitleUnits ||
        length < needed) {
        file.Abort();
        return false;
    }
    std::array<BYTE, 2 * kMaxTitleUnits> titleBytes{};
    const UINT titleByteCount = static_cast<UINT>(2 * titleUnits);
    if (file.Read(titleBytes.data(), titleByteCount) != titleByteCount) {
        file.Abort();
        return false;
    }
    std::vector<WORD> units(titleUnits);
    for (size_t i = 0; i < units.size(); ++i) units[i] = GetLE16(titleBytes.data() + 2 * i);
    header.width = static_cast<int>(width);
    header.height = static_cast<int>(height);
    header.title = DecodeUtf16(units);
    return true;
}

}  // namespace

BOOL CKivGrayFile::GetGryFileInfo(const CString& path, CString& title, int& width, int& height) {
    try {
        CFile file;
        GrayHeader header;
        if (!ReadHeader(path, file, header)) return FALSE;
        file.Abort();
        title = CString(std::move(header.title));
        width = header.width;
        height = header.height;
        return TRUE;
    } catch (const CException&) {
        return FALSE;
    } catch (const std::bad_alloc&) {
        return FALSE;
    }
}

BYTE* CKivGrayFile::Load(const CString& path, CRect* rect) {
    BYTE* gray = nullptr;
    try {
        CFile file;
        GrayHeader header;
        if (!ReadHeader(path, file, header)) return nullptr;
        const size_t bytes = static_cast<size_t>(header.width) * static_cast<size_t>(header.height);
        gray = static_cast<BYTE*>(GlobalAlloc(GMEM_FIXED, bytes));
        if (!gray) return nullptr;  // the file closes itself
        for (size_t done = 0; done < bytes;) {
            const UINT piece = static_cast<UINT>(std::min(kChunkBytes, bytes - done));
            // A file cut short since its length was taken reads short: not a complete picture.
            if (file.Read(gray + done, piece) != piece) {
                GlobalFree(gray);
                return nullptr;
            }
            done += piece;
        }
        file.Abort();  // read-only: nothing a close could lose
        if (rect) *rect = CRect(0, 0, header.width, header.height);
        return gray;
    } catch (const CException&) {
    } catch (const std::bad_alloc&) {
    }
    GlobalFree(gray);
    return nullptr;
}

BOOL CKivGrayFile::Save(const CString& path, const CString& title, const BYTE* gray, CSize size) {
    if (!gray || size.cx < 1 || static_cast<ULONGLONG>(size.cx) > kMaxSide || size.cy < 1 ||
        static_cast<ULONGLONG>(size.cy) > kMaxSide)
        return FALSE;
    try {
        const std::vector<WORD> units = EncodeUtf16(title.Text());
        if (units.size() > kMaxTitleUnits) return FALSE;

        std::vector<BYTE> head(kHeaderBytes + 2 * units.size());
        std::memcpy(head.data(), kMagic, sizeof kMagic);
        PutLE32(head.data() + 4, static_cast<DWORD>(size.cx));
        PutLE32(head.data() + 8, static_cast<DWORD>(size.cy));
        PutLE16(head.data() + 12, static_cast<WORD>(units.size()));
        for (size_t i = 0; i < units.size(); ++i) PutLE16(head.data() + kHeaderBytes + 2 * i, units[i]);

        ReplacementFile output;
        if (!output.Create(path)) return FALSE;
        CFile& file = output.File();
        file.Write(head.data(), static_cast<UINT>(head.size()));
        const size_t bytes = static_cast<size_t>(size.cx) * static_cast<size_t>(size.cy);
        for (size_t done = 0; done < bytes;) {
            const UINT piece = static_cast<UINT>(std::min(kChunkBytes, bytes - done));
            file.Write(gray + done, piece);
            done += piece;
        }
        return output.Commit() ? TRUE : FALSE;
    } catch (const CException&) {
        return FALSE;
    } catch (const std::bad_alloc&) {
        return FALSE;
    }
}
