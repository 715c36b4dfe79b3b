// Extension-module registration: a module that joins its host's chain of resource modules when the
// shared library is loaded, and leaves it when unloaded.
#pragma once

#include "platform/WinTypes.h"

constexpr DWORD DLL_PROCESS_DETACH = 0;
constexpr DWORD DLL_PROCESS_ATTACH = 1;
constexpr DWORD DLL_THREAD_ATTACH = 2;
constexpr DWORD DLL_THREAD_DETACH = 3;

struct AFX_EXTENSION_MODULE {
    BOOL bInitialized = FALSE;
    HMODULE hModule = nullptr;
    HMODULE hResource = nullptr;
};

// Fills the record for the module; fails only for a missing module handle.
KIV_RUNTIME_API BOOL AfxInitExtensionModule(AFX_EXTENSION_MODULE& state, HMODULE module);
// Removes the module's libraries from the resource chain and clears the record.
KIV_RUNTIME_API void AfxTermExtensionModule(AFX_EXTENSION_MODULE& state, BOOL all = FALSE);

// One link of the process's resource chain. Created with new at process attach; the chain owns it and
// AfxTermExtensionModule deletes it.
class KIV_RUNTIME_API CDynLinkLibrary {
public:
    explicit CDynLinkLibrary(AFX_EXTENSION_MODULE& state);
    CDynLinkLibrary(const CDynLinkLibrary&) = delete;
    CDynLinkLibrary& operator=(const CDynLinkLibrary&) = delete;
    virtual ~CDynLinkLibrary();

    HMODULE m_hModule;
    HMODULE m_hResource;
};

// The modules of the resource chain, most recently attached first; null past the end.
KIV_RUNTIME_API HMODULE AfxGetResourceChainModule(SIZE_T index);

// Runs a module's entry point with DLL_PROCESS_ATTACH when the shared library is loaded and with
// DLL_PROCESS_DETACH when it is unloaded. Define one static instance per module.
class KIV_RUNTIME_API ModuleEntryHook {
public:
    using EntryPoint = BOOL (*)(HINSTANCE, DWORD, LPVOID);
    ModuleEntryHook(EntryPoint entry, HINSTANCE module);
    ~ModuleEntryHook();
    ModuleEntryHook(const ModuleEntryHook&) = delete;
    ModuleEntryHook& operator=(const ModuleEntryHook&) = delete;

private:
    EntryPoint entry_;
    HINSTANCE module_;
    BOOL attached_;
};
