#include "libraries/window/ZoZEDov.h"

BOOL CKvDialog::OnInitDialog() { return CDialog::OnInitDialog(); }

void CKvDialog::SetWindowTextW(LPCWSTR text) { CDialog::SetWindowTextW(StripCaptionSuffix(CString(text))); }
