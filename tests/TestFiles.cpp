#include "TestFiles.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <fstream>
#include <functional>
#include <numeric>
#include <random>
#include <stdexcept>

ScratchFolder::ScratchFolder() {
    std::random_device random;
    path_ = std::filesystem::temp_directory_path() / ("kivpicture-test-" + std::to_string(random()));
    std::filesystem::create_directories(path_);
}

ScratchFolder::~ScratchFolder() {
    std::error_code ignored;
    std::filesystem::permissions(path_, std::filesystem::perms::owner_all, std::filesystem::perm_options::add,
                                 ignored);
    std::filesystem::remove_all(path_, ignored);
}

CString ScratchFolder::Write(const std::string& name, const Bytes& bytes) const {
    WriteFileBytes(File(name), bytes);
    return Wide(File(name));
}

Bytes ReadFileBytes(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    if (!in) throw std::runtime_error("cannot read " + path);
    return Bytes(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

void WriteFileBytes(const std::string& path, const Bytes& bytes) {
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    out.write(reinterpret_cast<const char*>(bytes.data()), static_cast<std::streamsize>(bytes.size()));
    if (!out) throw std::runtime_error("cannot write " + path);
}

CString Wide(const std::string& bytes) {
    return CString::FromFileSystem(bytes);
}

void PutU8(Bytes& out, unsigned value) {
    out.push_back(static_cast<std::uint8_t>(value));
}
void PutU16(Bytes& out, unsigned value) {
    PutU8(out, value & 0xFF);
    PutU8(out, (value >> 8) & 0xFF);
}
void PutU32(Bytes& out, std::uint32_t value) {
    PutU16(out, value & 0xFFFF);
    PutU16(out, value >> 16);
}

Bytes Head(Bytes bytes, long size) {
    bytes.resize(static_cast<size_t>(size < 0 ? static_cast<long>(bytes.size()) + size : size));
    return bytes;
}

std::string TestDataPath(const std::string& relative) {
    return std::string(KIV_TEST_DATA) + "/" + relative;
}

ReadResult ReadWithBothEntries(const CString& path, DecodedPicture (*read)(const CString&),
                               DWORD* (*exported)(const CString&, CRect&)) {
    DecodedPicture picture = read(path);
    const size_t count = picture.ok() ? static_cast<size_t>(picture.rect.Width()) * picture.rect.Height() : 0;
    const DWORD* pixels = picture.pixels.get();
    ReadResult result{picture.status, picture.rect, std::vector<DWORD>(pixels, pixels + count)};
    CRect rect(-1, -1, -1, -1);
    LoadedPicture viaExport;
    viaExport.pixels = exported(path, rect);
    EXPECT_EQ(viaExport.pixels != nullptr, picture.ok());
    EXPECT_EQ(rect, picture.ok() ? picture.rect : CRect(-1, -1, -1, -1))
        << "a failure leaves the rectangle alone";
    EXPECT_TRUE(!viaExport.pixels || std::equal(result.pixels.begin(), result.pixels.end(), viaExport.pixels))
        << "the exported entry's pixels";
    return result;
}

void ExpectSamePixels(const std::vector<DWORD>& ours, const std::vector<DWORD>& reference,
                      const std::string& what) {
    ASSERT_EQ(ours.size(), reference.size()) << what;
    const size_t first = std::mismatch(ours.begin(), ours.end(), reference.begin()).first - ours.begin();
    EXPECT_EQ(first, ours.size()) << what << ": "
                                  << std::inner_product(ours.begin(), ours.end(), reference.begin(), 0,
                                                        std::plus<>(), std::not_equal_to<>())
                                  << " pixels differ, the first at index " << first << ": " << std::hex
                                  << ours[first] << " instead of " << reference[first];
}

void ExpectCases(const std::vector<FileCase>& cases, Reader reader) {
    ScratchFolder folder;
    EXPECT_EQ(reader.read(Wide(folder.File("missing"))).status, KivLoadStatus::fileNotFound);
    for (const FileCase& c : cases) {
        SCOPED_TRACE(c.reason);
        const ReadResult got =
            ReadWithBothEntries(folder.Write("picture", c.file), reader.read, reader.exported);
        EXPECT_EQ(got.status, c.status) << KivLoadStatusText(got.status);
        if (got.status != KivLoadStatus::ok || c.status != KivLoadStatus::ok) continue;
        EXPECT_EQ(got.rect, CRect(c.left, c.top, c.left + c.width, c.top + c.height));
        if (!c.pixels.empty()) ExpectSamePixels(got.pixels, c.pixels, "pixels");
    }
}
