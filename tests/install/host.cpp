// A host of the installed library: opens the module, saves a small picture, reads it back, catalogues its
// folder, and closes.
#include <KivPicture.h>

#include <cstdio>
#include <cstdlib>
#include <string>

int main() {
    char folder[] = "/tmp/kivpicture-host-XXXXXX";
    if (!mkdtemp(folder)) return 1;
    setenv("KIV_CONFIG_DIR", folder, 1);
    KivPictureOpen();

    DWORD pixels[4] = {0xFF0000FFu, 0xFF00FF00u, 0xFFFF0000u, 0x80FFFFFFu};
    const std::string path = std::string(folder) + "/host.bmp";
    const CString widePath = CString::FromUtf8(path);
    if (!KivPictureSaveBMPFile(widePath, pixels, CSize(2, 2), CRect(0, 0, 2, 2))) return 2;
    CRect rect;
    DWORD* loaded = KivPictureLoadPicFile(widePath, rect);
    const bool same = loaded && rect == CRect(0, 0, 2, 2) && loaded[0] == pixels[0] && loaded[2] == pixels[2];
    GlobalFree(loaded);

    // The folder's catalogue: the one picture, with its thumbnail, and a cache beside it.
    CKivObList records;
    const std::string cache = std::string(folder) + "/VudEvovi.pmf";
    const bool listed = KivPictureFetchValidMediaFile(&records, CString::FromUtf8(folder),
                                                      CString::FromUtf8(cache), L"bmp") == 1 &&
                        records.GetCount() == 1 &&
                        static_cast<CKivClipMediaObj*>(records.GetHead())->m_Icon.GetSize() == CSize(80, 60);
    records.DeleteAll();
    std::remove(cache.c_str());

    KivPictureClose();
    std::remove(path.c_str());
    std::remove((std::string(folder) + "/KivClient.ini").c_str());
    std::remove(folder);
    std::puts(same && listed ? "host: picture saved, read back and catalogued" : "host: round trip failed");
    return same ? (listed ? 0 : 4) : 3;
}
