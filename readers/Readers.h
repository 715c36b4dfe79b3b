// The readers' internal entry points: each decodes one file and keeps the reason for a failure.
#pragma once

#include "PixelBuffer.h"

DecodedPicture ReadBmpFile(const CString& path);
DecodedPicture ReadTgaFile(const CString& path);
DecodedPicture ReadGifFile(const CString& path);
DecodedPicture ReadPcxFile(const CString& path);
DecodedPicture ReadJpgFile(const CString& path);
DecodedPicture ReadPsdFile(const CString& path);
DecodedPicture ReadBmpResource(HINSTANCE module, LPCWSTR resourceName);
