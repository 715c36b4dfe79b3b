// The window system behind the window layer. A Qt host already runs its application object; a host
// without one (the command-line tool, a test) gets one here before the first window.
#pragma once

#include "platform/WinTypes.h"

// Makes sure an application object exists for windows to live in; creates one (owned by this layer,
// destroyed at exit) when the host has none. Returns nonzero when windows can be created: false when no
// display can be opened, which is reported on standard error by the window system itself.
KIV_RUNTIME_API BOOL AfxEnsureWindowSystem();
