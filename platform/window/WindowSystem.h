// The window system behind the window layer. A Qt host already runs its application object; a host
// without one (the command-line tool, a test) gets one here before the first window.
#pragma once

#include <functional>

#include "platform/WinTypes.h"

// Makes sure an application object exists for windows to live in; creates one (owned by this layer,
// destroyed at exit) when the host has none. Returns nonzero when windows can be created: false when no
// display can be opened, which is reported on standard error by the window system itself.
KIV_RUNTIME_API BOOL AfxEnsureWindowSystem();

// Runs work on a thread of its own while this thread goes on handling the window system's events other than
// the user's input: windows keep painting and timers run, and the input waits, to be handled once work has
// ended. For its first quietMs milliseconds this thread only waits, so work that ends by then runs as a
// direct call would. tick, when given, runs on this thread about every tickMs milliseconds after that (to
// show progress). work runs directly, blocking, when there is no application object or this is not its
// thread. An exception work throws is thrown again here.
KIV_RUNTIME_API void RunKeepingWindowsPainted(const std::function<void()>& work, const std::function<void()>& tick,
                                              int tickMs, int quietMs);
