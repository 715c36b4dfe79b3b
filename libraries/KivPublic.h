// The public library: the colour type, pixel blocks and helper functions shared by the maker's modules.
#pragma once

#include <cstring>
#include <memory>
#include <new>

#include "platform/Archive.h"
#include "platform/CString.h"
#include "platform/Geometry.h"
#include "platform/ObList.h"
#include "platform/WinTypes.h"

// One 32-bit pixel: bytes blue, green, red, alpha in memory order, so the word reads 0xAARRGGBB.
// Alpha is straight, not premultiplied.
struct tagCOLOR32 {
    BYTE blue;
    BYTE green;
    BYTE red;
    BYTE alpha;

    static tagCOLOR32 FromWord(DWORD word) {
        tagCOLOR32 c;
        std::memcpy(&c, &word, sizeof c);
        return c;
    }
    DWORD Word() const {
        DWORD word;
        std::memcpy(&word, this, sizeof word);
        return word;
    }
    friend bool operator==(const tagCOLOR32& a, const tagCOLOR32& b) { return a.Word() == b.Word(); }
};
static_assert(sizeof(tagCOLOR32) == 4, "a pixel is one 32-bit word");

// How a new pixel S joins a target pixel T: 0 = KivPublicMixColor(S, T, 1), 1 = KivPublicMixColor(T, S, 1),
// any other value = S replaces T.
using MIXMODE = int;

// The field structure of a video block; kept for the callers' signatures.
enum KIV_ENUM_FIELD_TYPE { KIV_FIELD_TOP = 0, KIV_FIELD_BOTTOM = 1, KIV_FIELD_FRAME = 2 };

// Nonzero when path names an existing regular file (or a link to one).
KIV_RUNTIME_API BOOL KivPublicDoesFileExist(LPCWSTR path);
// Nonzero when path names an existing folder (or a link to one).
KIV_RUNTIME_API BOOL KivPublicDoesDirExist(LPCWSTR path);

// Mixes two colours. Mode 1 lays a over b ("source over" with straight alpha, rounded to the nearest
// byte): the result's alpha is a.alpha + b.alpha * (255 - a.alpha) / 255 and each colour channel the
// alpha-weighted average of the two. Every other mode returns a unchanged.
KIV_RUNTIME_API tagCOLOR32 KivPublicMixColor(tagCOLOR32 a, tagCOLOR32 b, int mode);

// Fills count entries of table spread evenly from first to last, both included (rounded to the nearest
// whole number); one entry is first. Nothing is written for a count below 1.
KIV_RUNTIME_API void KivPublicInsLine(int first, int last, int count, int* table);

// A wide copy of an 8-bit text, each byte one character (Latin-1); null gives an empty text.
KIV_RUNTIME_API CString KivPublicToUnicode(const char* text);

// A thumbnail of dstSize 3-byte pixels (blue, green, red; rows top to bottom, no padding) taken from
// srcRect of 32-bit pixels of srcSize, each thumbnail pixel the source pixel nearest its place. A new
// GlobalAlloc block, released with GlobalFree unless handed to an icon; null when srcRect has nothing
// inside the source, a size is not positive, bits is not 24, or the memory is not there.
KIV_RUNTIME_API BYTE* KivPublicMakeIcon(const tagCOLOR32* pixels, CSize srcSize, CRect srcRect, CSize dstSize,
                                int bits);

// Stretches srcSize 32-bit pixels into dstSize pixels at dst, each axis on its own: area averaging where
// the axis shrinks (every source pixel weighted by how much of it the target pixel covers), bilinear
// interpolation between pixel centres where it grows or keeps its length (the same length copies). Colours
// are averaged weighted by their alpha, so the colour of a transparent pixel never bleeds into its
// neighbours. Returns nonzero on success; zero for a null buffer, a size that is not positive or bytes over
// 32 bits on either side, or no memory for the work rows (dst untouched then).
KIV_RUNTIME_API BOOL KivPublicMemZoom(const tagCOLOR32* src, CSize srcSize, tagCOLOR32* dst, CSize dstSize);

// Combines S into T by a MIXMODE.
inline tagCOLOR32 KivMixByMode(tagCOLOR32 source, tagCOLOR32 target, MIXMODE mode) {
    if (mode == 0) return KivPublicMixColor(source, target, 1);
    if (mode == 1) return KivPublicMixColor(target, source, 1);
    return source;
}

// A block of cx x cy pixels, rows top to bottom with stride cx. It either views a caller's pixels or
// owns pixels of its own.
class KIV_RUNTIME_API CKivMemBlock {
  public:
    CKivMemBlock() = default;
    CKivMemBlock(const CKivMemBlock&) = delete;
    CKivMemBlock& operator=(const CKivMemBlock&) = delete;
    ~CKivMemBlock() { Close(); }

    // With pixels, views them without taking them over; with null, owns new zeroed pixels. The third
    // argument is reserved (callers pass 0). Fails for a non-positive size or one whose bytes do not fit
    // in 32 bits.
    BOOL InitBlock(CSize size, tagCOLOR32* pixels, int reserved = 0);
    // Releases what the block owns and leaves it empty.
    void Close();

    CSize GetSize() const { return size_; }
    CRect GetRect() const { return CRect(0, 0, size_.cx, size_.cy); }
    tagCOLOR32* GetAddress() const { return pixels_; }
    // The address of pixel (x, y), or null outside the block.
    tagCOLOR32* GetPixelAddress(int x, int y) const;

    // Puts the source's sourceRect (cut to the source) at point of this block, cut to this block, each
    // pixel combined by mode. The last two arguments are kept for the callers' signatures: every row is
    // copied. Returns nonzero when at least one pixel was copied.
    BOOL Copy(CPoint point, const CKivMemBlock& source, CRect sourceRect, MIXMODE mode, int reserved = 1,
              KIV_ENUM_FIELD_TYPE field = KIV_FIELD_FRAME);

  private:
    tagCOLOR32* pixels_ = nullptr;
    CSize size_;
    bool owns_ = false;
};

// The pattern shown behind pictures with transparency: an opaque checker of 8 x 8 squares, light grey
// (204) and mid grey (153), the square at the block's top-left corner light. Fills the whole block;
// nonzero on success, zero for a null block or one without pixels.
KIV_RUNTIME_API BOOL KivPublicGenBackColorBar(CKivMemBlock* block);

class CDC;

// ---- Serialisable objects ------------------------------------------------------------------------------

class CKivXMLDOMDocObj;
class IXMLDOMNode;

// Base of the library's serialisable objects. Its own archive part is one 16-bit version (0); its XML part
// is a "Version" attribute on the node it is given. Both read back what they write.
class KIV_RUNTIME_API CKivObject : public CObject {
    DECLARE_DYNAMIC(CKivObject)

  public:
    CKivObject() = default;
    ~CKivObject() override = default;

    // The object's own part: this base has nothing to copy.
    virtual CKivObject& operator=(const CKivObject& other);
    // 0 when the two are the same object, else 1 (derived classes compare their data).
    virtual int Compare(const CKivObject* other) const;
    // A new object equal to this one (the caller's), or null; this base makes none.
    virtual CKivObject* MakeCopy() const;
    // Writes into parent when the document is storing, reads from parent when it is loading.
    virtual void SerializeXML(CKivXMLDOMDocObj* document, IXMLDOMNode* parent);
    void Serialize(CArchive& archive) override;

  protected:
    CKivObject(const CKivObject&) = default;
};

// MakeCopy's usual body: a new T assigned from original (the caller's), or null when the allocation or the
// assignment throws.
template <class T>
CKivObject* KivMakeCopyOf(const T& original) {
    try {
        auto copy = std::make_unique<T>();
        *copy = original;
        return copy.release();
    } catch (const CException&) {
        return nullptr;
    } catch (const std::bad_alloc&) {
        return nullptr;
    }
}

// An owning list of objects: the destructor, DeleteAll and DeleteAt delete what they remove; the inherited
// AddTail and RemoveAll move pointers without deleting them, so that records change owner without copies.
//
// Archive form: the element count, then each element as an archive object (class on first use, then its
// data), so that loading re-creates each by class. Only objects of the library's classes load into it.
// XML form: one "Item" element per element, its "Class" attribute naming the class, holding the element's
// own XML form.
class KIV_RUNTIME_API CKivObList : public CObList {
    DECLARE_DYNAMIC(CKivObList)

  public:
    CKivObList() = default;
    ~CKivObList() override;

    // Deletes every element and empties the list.
    void DeleteAll();
    // Deletes the element at position and removes it.
    void DeleteAt(POSITION position);
    // Replaces this list's elements by copies of other's (MakeCopy of each). Throws CMemoryException when
    // an element cannot be copied; the elements copied so far stay in the list, which owns them.
    virtual void Copy(const CKivObList& other);

    void Serialize(CArchive& archive) override;
    virtual void SerializeXML(CKivXMLDOMDocObj* document, IXMLDOMNode* parent);
};

// A 24-bit thumbnail: cx x cy pixels of three bytes (blue, green, red), rows top to bottom, no padding, in
// one GlobalAlloc block that the icon owns.
//
// Archive form: the base part, a 16-bit version (0), cx and cy as signed 32-bit numbers, then the pixel
// bytes. XML form: attributes "Width" and "Height" and the pixel bytes in "Bits". An empty icon has size
// (0, 0) and no pixels. An archive load of a side outside 1..kMaxSide, or of pixels the bytes left cannot
// hold, throws CArchiveException (what follows could not be read); an XML icon that does not add up loads
// as an empty icon.
class KIV_RUNTIME_API CKivIconObj : public CKivObject {
    DECLARE_DYNAMIC(CKivIconObj)

  public:
    // The largest side a loaded icon may have; thumbnails are far smaller.
    static constexpr LONG kMaxSide = 4096;

    CKivIconObj() = default;
    CKivIconObj(const CKivIconObj&) = delete;
    ~CKivIconObj() override;

    // Takes over bits (a GlobalAlloc block of size.cx * size.cy * 3 bytes) and releases the pixels it held.
    // Null bits or a side outside 1..kMaxSide leave the icon empty (the bits are released all the same).
    void SetIcon(BYTE* bits, CSize size);
    // A deep copy: the two icons never share pixels.
    virtual CKivIconObj& operator=(const CKivIconObj& other);
    CKivObject& operator=(const CKivObject& other) override;

    const BYTE* GetBits() const { return bits_; }
    CSize GetSize() const { return size_; }
    bool IsEmpty() const { return bits_ == nullptr; }
    // Releases the pixels.
    void Clear();
    // Paints the thumbnail into rect, scaled to fit with its shape kept and centred; an empty icon
    // paints a sunken empty frame. Part of the window runtime (KivRuntimeUi): only programs linking it
    // may call this, and the core never does. User-interface thread only (it keeps a drawing cache).
    void DrawIcon(CDC* dc, CRect rect) const;
    // Hands the pixels to the caller (who releases them with GlobalFree) and leaves the icon empty.
    BYTE* Detach();

    void Serialize(CArchive& archive) override;
    void SerializeXML(CKivXMLDOMDocObj* document, IXMLDOMNode* parent) override;

  private:
    BYTE* bits_ = nullptr;
    CSize size_;
    // What DrawIcon prepared from the pixels (a scaled copy), opaque here; dropped with the pixels.
    mutable std::shared_ptr<void> drawCache_;
};

// ---- Gray pictures (".AMY") -------------------------------------------------------------------------------
//
// A gray picture file holds one 8-bit gray picture and a title, all numbers little-endian:
//   offset 0   4 bytes   "AMY1"
//   offset 4   4 bytes   width in pixels, 1 to 65535
//   offset 8   4 bytes   height in pixels, 1 to 65535
//   offset 12  2 bytes   title length in UTF-16 units, at most 1024
//   offset 14  2*n bytes the title, UTF-16LE, no terminator
//   then       w*h bytes the gray levels, rows top to bottom, no padding
class KIV_RUNTIME_API CKivGrayFile {
  public:
    // Reads the header: nonzero when it is a gray picture whose pixels the file holds; title, width and
    // height are then set (else left alone).
    static BOOL GetGryFileInfo(const CString& path, CString& title, int& width, int& height);
    // The gray levels in a GlobalAlloc block (the caller's), rect set to (0, 0, width, height); null when
    // the file is not a complete gray picture.
    static BYTE* Load(const CString& path, CRect* rect);
    // Writes a gray picture of size from gray (size.cx * size.cy bytes); nonzero on success. The file is
    // replaced only when complete.
    static BOOL Save(const CString& path, const CString& title, const BYTE* gray, CSize size);
};
