#include "picture/window/UiModule.h"

#include "platform/ExtensionModule.h"
#include "platform/ModuleResources.h"

extern const ModuleResourceTable kKivPictureUiResources;

namespace {

AFX_EXTENSION_MODULE uiExtensionModule;

BOOL KivPictureUiDllMain(HINSTANCE instance, DWORD reason, LPVOID) {
    if (reason == DLL_PROCESS_ATTACH) {
        if (!AfxInitExtensionModule(uiExtensionModule, instance)) return 0;
        new CDynLinkLibrary(uiExtensionModule);  // owned by the resource chain
    } else if (reason == DLL_PROCESS_DETACH) {
        AfxTermExtensionModule(uiExtensionModule);
    }
    return 1;
}

const ModuleEntryHook uiModuleEntry(KivPictureUiDllMain, &kKivPictureUiResources);

}  // namespace

HINSTANCE GetKivPictureUiModuleHandle() { return uiExtensionModule.hModule; }
