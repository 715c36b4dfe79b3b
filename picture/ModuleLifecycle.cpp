// Module start and stop, and the few pieces of process-wide state: the product table, the open-dialog
// choice and the two original-position flags. None of it is synchronised; the host calls from one thread.
// The user's JPEG choices are read here too; the JPEG reader keeps them (atomics, as loads run anywhere).

#include <string>

#include "KivPicture.h"
#include "platform/ExtensionModule.h"
#include "platform/PrivateProfile.h"
#include "picture/ModuleResourceTable.h"
#include "picture/ModuleState.h"

namespace {

// A static array: it exists, zeroed, from load time, and KivPictureOpen only fills it.
WORD productTable[kProductTableSide * kProductTableSide];
int openDialogChoice = 1;
int orgPicPosValue = 0;
int orgPicPosEnabled = 0;
AFX_EXTENSION_MODULE extensionModule;

BOOL KivPictureDllMain(HINSTANCE instance, DWORD reason, LPVOID) {
    if (reason == DLL_PROCESS_ATTACH) {
        if (!AfxInitExtensionModule(extensionModule, instance)) return 0;
        new CDynLinkLibrary(extensionModule);  // owned by the resource chain
    } else if (reason == DLL_PROCESS_DETACH) {
        AfxTermExtensionModule(extensionModule);
    }
    return 1;
}

const ModuleEntryHook moduleEntry(KivPictureDllMain, &kKivPictureResources);

}  // namespace

const WORD* GetProductTable() { return productTable; }
HINSTANCE GetKivPictureModuleHandle() { return extensionModule.hModule; }

int KivPictureOpen() {
    for (int a = 0; a < kProductTableSide; ++a)
        for (int b = 0; b < kProductTableSide; ++b) productTable[a * kProductTableSide + b] = static_cast<WORD>(a * b);
    openDialogChoice = static_cast<int>(GetPrivateProfileIntW(kSettingsSection, kOpenDialogKey, 1, kSettingsFileName));
    KivPictureReadJpegSettings();
    return 1;
}

// The current choice is the default, so that a key the user never wrote changes nothing a host set.
int KivPictureReadJpegSettings() {
    const auto read = [](LPCWSTR key, int current) {
        return static_cast<int>(GetPrivateProfileIntW(kSettingsSection, key, current, kSettingsFileName));
    };
    KivPictureSetJpegFullColour(read(kJpegFullColourKey, KivPictureGetJpegFullColour()));
    KivPictureSetAutoOrient(read(kJpegAutoOrientKey, KivPictureGetAutoOrient()));
    return 1;
}

int KivPictureClose() {
    const std::wstring value = std::to_wstring(openDialogChoice);
    WritePrivateProfileStringW(kSettingsSection, kOpenDialogKey, value.c_str(), kSettingsFileName);
    return 1;
}

int GP_GetOrgPicPos() { return orgPicPosValue; }
void GP_SetOrgPicPos(int value) { orgPicPosValue = value; }
void GP_EnableOrgPicPos(int enable) { orgPicPosEnabled = enable; }
int KivPictureGetOpenDialogChoice() { return openDialogChoice; }
void KivPictureSetOpenDialogChoice(int choice) { openDialogChoice = choice; }
int KivPictureGetOrgPicPosEnabled() { return orgPicPosEnabled; }
