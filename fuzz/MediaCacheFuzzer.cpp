// Arbitrary bytes as a folder's cache file. Loading must refuse what is not a cache (result 0) without a
// crash, a leak or an allocation the bytes do not back; a cache that loads is saved again and must load
// into the same records and save into the same bytes.

#include <cstdint>
#include <cstdlib>
#include <vector>

#include "FuzzSupport.h"
#include "media/ClipMediaFileCollection.h"

namespace {

std::vector<std::uint8_t> FileBytes(const std::string& path) {
    std::vector<std::uint8_t> bytes;
    if (std::FILE* file = std::fopen(path.c_str(), "rb")) {
        std::uint8_t buffer[4096];
        for (size_t got; (got = std::fread(buffer, 1, sizeof buffer, file)) > 0;)
            bytes.insert(bytes.end(), buffer, buffer + got);
        std::fclose(file);
    }
    return bytes;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    static FuzzInputFile input(".pmf");
    static const std::string saved = [] {
        char folder[] = "/tmp/kivpicture-cache-fuzz-XXXXXX";
        if (!mkdtemp(folder)) FuzzFail("cannot make a folder in /tmp");
        return std::string(folder) + "/VudEvovi.pmf";
    }();
    input.Write(data, size);

    CKivClipMediaFileCollection cache;
    if (!cache.LoadFromFile(input.PathWithExtension())) return 0;
    if (!cache.SaveToFile(CString::FromUtf8(saved))) FuzzFail("a loaded cache could not be saved");
    const std::vector<std::uint8_t> first = FileBytes(saved);

    CKivClipMediaFileCollection again;
    if (!again.LoadFromFile(CString::FromUtf8(saved))) FuzzFail("a saved cache does not load");
    if (!SameMediaList(cache.m_MediaList, again.m_MediaList)) FuzzFail("records changed through a save");
    if (!again.SaveToFile(CString::FromUtf8(saved))) FuzzFail("a reloaded cache could not be saved");
    if (FileBytes(saved) != first) FuzzFail("saving a reloaded cache gives other bytes");
    return 0;
}
