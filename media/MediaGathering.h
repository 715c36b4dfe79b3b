// The gathering behind KivPictureFetchValidMediaFile, with the number of reading threads exposed for the
// tests and benchmarks that compare them.
#pragma once

#include "KivPicture.h"

// threads: how many threads read the pictures of an untrusted folder; 0 picks one per core (at most 8).
// Records, their order, the cache written and the result are the same for every thread count.
int FetchValidMediaFile(CKivObList* list, const CString& folder, const CString& cacheFile,
                        const CString& extensions, const KivMediaProgress& progress,
                        KivMediaFetchReport* report, unsigned threads);

// The folder joined to a name with exactly one separator between them.
CString JoinFolderAndName(const CString& folder, const CString& name);

// The module's own gray sampler: a dstSize thumbnail of three equal bytes per pixel from srcRect of 8-bit
// gray pixels of srcSize (rows of srcSize.cx bytes), each thumbnail pixel the nearest source pixel. A new
// GlobalAlloc block, or null when the rectangle lies outside the source or a size is not positive.
BYTE* MakeGrayIcon(const BYTE* gray, CSize srcSize, CRect srcRect, CSize dstSize);
