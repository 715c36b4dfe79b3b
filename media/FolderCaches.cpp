#include "media/FolderCaches.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <string>

namespace {

constexpr const char* kUserCacheSubfolder = "kivpicture";

std::string FolderOf(const std::string& path) {
    std::string folder = path;
    const size_t slash = folder.rfind('/');
    folder = slash == std::string::npos ? std::string(".") : folder.substr(0, slash);
    while (folder.size() > 1 && folder.back() == '/') folder.pop_back();
    return folder.empty() ? std::string("/") : folder;
}

std::uint64_t Fnv1a64(const std::string& bytes) {
    std::uint64_t hash = 0xcbf29ce484222325ull;
    for (const unsigned char byte : bytes) hash = (hash ^ byte) * 0x100000001b3ull;
    return hash;
}

std::string UserCacheFolder() {
    // A relative $XDG_CACHE_HOME is to be ignored, as the base-directory rules say.
    if (const char* xdg = std::getenv("XDG_CACHE_HOME"); xdg && *xdg == '/')
        return std::string(xdg) + "/" + kUserCacheSubfolder;
    if (const char* home = std::getenv("HOME"); home && *home == '/')
        return std::string(home) + "/.cache/" + kUserCacheSubfolder;
    return {};
}

}  // namespace

bool IsCacheFolderWritable(const CString& cacheFile) {
    return ::faccessat(AT_FDCWD, FolderOf(cacheFile.ToFileSystem()).c_str(), W_OK | X_OK, AT_EACCESS) == 0;
}

CString UserCacheFile(const CString& cacheFile, const wchar_t* suffix) {
    const std::string folder = UserCacheFolder();
    if (folder.empty()) return CString();
    char name[17];
    std::snprintf(name, sizeof name, "%016llx",
                  static_cast<unsigned long long>(Fnv1a64(FolderOf(cacheFile.ToFileSystem()))));
    return CString::FromFileSystem(folder + "/" + name) + CString(suffix);
}

bool MakeUserCacheFolder(const CString& userCacheFile) {
    const std::string folder = FolderOf(userCacheFile.ToFileSystem());
    // The folders above it (~/.cache) may themselves be new on a fresh account.
    std::error_code ignored;
    std::filesystem::create_directories(FolderOf(folder), ignored);
    if (::mkdir(folder.c_str(), 0700) != 0 && errno != EEXIST) return false;
    struct stat facts {};
    return ::stat(folder.c_str(), &facts) == 0 && S_ISDIR(facts.st_mode);
}
