#include "platform/ExtensionModule.h"

#include <algorithm>
#include <cstdio>
#include <vector>

#include "platform/ModuleResources.h"

namespace {

// The process's resource chain. It lives in a function so that it exists before any module's load hook.
std::vector<CDynLinkLibrary*>& ResourceChain() {
    static std::vector<CDynLinkLibrary*> chain;
    return chain;
}

}  // namespace

BOOL AfxInitExtensionModule(AFX_EXTENSION_MODULE& state, HMODULE module) {
    if (!module) return FALSE;
    state.hModule = module;
    state.hResource = module;
    state.bInitialized = TRUE;
    return TRUE;
}

void AfxTermExtensionModule(AFX_EXTENSION_MODULE& state, BOOL) {
    auto& chain = ResourceChain();
    std::vector<CDynLinkLibrary*> leaving;
    for (CDynLinkLibrary* library : chain)
        if (library->m_hModule == state.hModule) leaving.push_back(library);
    for (CDynLinkLibrary* library : leaving) delete library;
    state = AFX_EXTENSION_MODULE{};
}

CDynLinkLibrary::CDynLinkLibrary(AFX_EXTENSION_MODULE& state)
    : m_hModule(state.hModule), m_hResource(state.hResource) {
    auto& chain = ResourceChain();
    chain.insert(chain.begin(), this);
}

CDynLinkLibrary::~CDynLinkLibrary() {
    auto& chain = ResourceChain();
    chain.erase(std::remove(chain.begin(), chain.end(), this), chain.end());
}

HMODULE AfxGetResourceChainModule(SIZE_T index) {
    const auto& chain = ResourceChain();
    return index < chain.size() ? chain[index]->m_hResource : nullptr;
}

ModuleEntryHook::ModuleEntryHook(EntryPoint entry, HINSTANCE module)
    : entry_(entry), module_(module), attached_(entry(module, DLL_PROCESS_ATTACH, nullptr)) {
    // A shared library cannot refuse to load here; a module whose attach failed stays unregistered and
    // its handle accessor answers null.
    if (!attached_) std::fprintf(stderr, "%s: module registration failed\n", module ? module->moduleName : "module");
}

ModuleEntryHook::~ModuleEntryHook() {
    if (attached_) entry_(module_, DLL_PROCESS_DETACH, nullptr);
}
