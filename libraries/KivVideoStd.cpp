#include <atomic>

#include "libraries/KivModuleRC.h"

namespace {

// Atomic because the host changes the standard on its own thread while fills may read it on another
// (a preview drawn beside a running render); the flag guards no other data, so relaxed order is enough.
std::atomic<bool> videoStdHD{false};

}  // namespace

BOOL CKivVideoStd::IsVideoStdHD() { return videoStdHD.load(std::memory_order_relaxed) ? TRUE : FALSE; }

void CKivVideoStd::SetVideoStdHD(BOOL hd) { videoStdHD.store(hd != 0, std::memory_order_relaxed); }
