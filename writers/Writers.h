// The writers' internal entry points. Each saves the region rect (cut to the buffer of size.cx x size.cy)
// of buffer through a replacement file, so a failed save leaves any earlier file as it was; 1 when the
// file was written completely, else 0.
#pragma once

#include "platform/CString.h"
#include "platform/Geometry.h"

using PictureWriter = int (*)(CString path, DWORD* buffer, CSize size, CRect rect);

int WriteBmpFile(CString path, DWORD* buffer, CSize size, CRect rect);
int WriteTgaFile(CString path, DWORD* buffer, CSize size, CRect rect);
int WritePcxFile(CString path, DWORD* buffer, CSize size, CRect rect);
int WriteJpgFile(CString path, DWORD* buffer, CSize size, CRect rect);
