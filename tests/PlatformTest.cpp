#include <gtest/gtest.h>

#include "platform/RuntimeLibrary.h"
#include "TestFiles.h"

TEST(SplitPath, Placeholder) {
    wchar_t ext[_MAX_EXT];
    _wsplitpath(L"/a/b.c/d.Bmp", nullptr, nullptr, nullptr, ext);
    EXPECT_STREQ(ext, L".Bmp");
}
