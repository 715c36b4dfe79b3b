// The background fill of a pixel block: a background bitmap of the host's choice (grey or white, standard
// or high definition), tiled over the block or laid once at its top-left corner.

#include <cstdlib>

#include "KivPicture.h"
#include "libraries/KivModuleRC.h"
#include "readers/Readers.h"

namespace {

// The folder of the background bitmaps: KIV_DATA_DIR when set (a build tree, a test, a relocated
// install), else the data folder of the installation. It stands where the original Windows product had
// its fixed attribute folder.
CString BackgroundFolder() {
    if (const char* configured = std::getenv("KIV_DATA_DIR"); configured && *configured)
        return CString::FromFileSystem(configured);
    return CString::FromFileSystem(KIV_INSTALLED_DATA_DIR);
}

CString BackgroundFile(bool gray, bool hd) {
    const wchar_t* name = gray ? (hd ? L"BackGrayHD.bmp" : L"BackGray.bmp")
                               : (hd ? L"BackWhiteHD.bmp" : L"BackWhite.bmp");
    return BackgroundFolder() + CString(L"/") + CString(name);
}

}  // namespace

int KivPictureFillBack(CKivMemBlock* block, int gray, int tile) {
    if (!block || !block->GetAddress()) return 0;
    const CSize size = block->GetSize();
    DecodedPicture bitmap = ReadBmpFile(BackgroundFile(gray != 0, CKivVideoStd::IsVideoStdHD() != 0));
    if (!bitmap.ok()) return 0;
    const int w = bitmap.rect.Width(), h = bitmap.rect.Height();
    CKivMemBlock background;  // views the bitmap, which is released after it
    if (!background.InitBlock(CSize(w, h), reinterpret_cast<tagCOLOR32*>(bitmap.pixels.get()), 0)) return 0;
    const CRect whole(0, 0, size.cx, size.cy);
    if (tile) {
        // One tile more than fits whole in each direction: the block's Copy clips the partial ones.
        for (int i = 0; i <= size.cy / h; ++i)
            for (int j = 0; j <= size.cx / w; ++j)
                block->Copy(CPoint(j * w, i * h), background, whole, 2, 1, KIV_FIELD_FRAME);
    } else {
        block->Copy(CPoint(0, 0), background, whole, 2, 1, KIV_FIELD_FRAME);
    }
    background.Close();
    return 1;
}
