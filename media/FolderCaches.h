// Where a folder's catalogue is kept.
//
// A folder the user may write keeps its cache "VudEvovi.pmf" in itself. One that may not be written (a
// camera card, an optical disc, a share without write access) keeps it in the user's cache folder, so
// that it too is read only once; a cache that such a folder holds itself is still read and trusted. The
// files a listing found not to be pictures are remembered in the user's cache folder as well, so that they
// are not read again until they change.
//
// The user's cache folder is $XDG_CACHE_HOME/kivpicture, else ~/.cache/kivpicture, made (mode 0700) when
// first written to. A folder's files there are named by the 64-bit FNV-1a hash of the bytes of its path
// (the cache file's folder, without a trailing separator) in 16 hex digits: "<hash>.pmf" for its cache,
// "<hash>.notpictures" for the files that are not pictures, both in the cache file's format. The hash only
// has to be stable and well spread: two folders with one name would only rebuild each other's cache,
// since a cache is trusted only when its records name the folder's own files.
#pragma once

#include "platform/CString.h"

// Whether the folder of cacheFile takes new files and lets them be removed.
bool IsCacheFolderWritable(const CString& cacheFile);

// The user's file of that kind for the folder of cacheFile; empty when there is no home folder.
CString UserCacheFile(const CString& cacheFile, const wchar_t* suffix);

// Makes the folder of a user cache file; false when it cannot be had.
bool MakeUserCacheFolder(const CString& userCacheFile);
