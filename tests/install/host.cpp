// A host of the installed library: opens the module, saves a small picture, reads it back, and closes.
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
    KivPictureClose();
    std::remove(path.c_str());
    std::remove((std::string(folder) + "/KivClient.ini").c_str());
    std::remove(folder);
    std::puts(same ? "host: picture saved and read back" : "host: round trip failed");
    return same ? 0 : 3;
}
