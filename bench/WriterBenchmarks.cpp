// Write speed of our writers beside independent writers of the same files: stb_image_write and FreeImage
// for BMP, TGA and JPEG, and ImageMagick (MagickWand) for 24-bit PCX, which neither of the others writes.
//
// Each benchmark times one save of the whole 4000 x 3000 photo-like picture to a file of its own in the
// scratch folder, each iteration replacing the file the previous one wrote. Every library starts from the
// pixels in the form it takes them, made once before the timing: ours from the 32-bit pixel words,
// stb_image_write from RGBA bytes, FreeImage from a 32-bit bitmap (24-bit for JPEG, the depths its JPEG
// writer takes), ImageMagick from an image already built from the pixels. What each writes:
//   BMP  ours 32-bit; stb_image_write 32-bit (four components); FreeImage 32-bit.
//   TGA  ours 32-bit uncompressed with postage stamp and footer; stb_image_write 32-bit with run-length
//        coding off; FreeImage 32-bit uncompressed.
//   JPEG quality 30, baseline, 4:2:0 in all three (stb_image_write's own encoder; FreeImage and ours
//        through libjpeg).
//   PCX  24-bit as three run-length coded 8-bit planes in both (ImageMagick writes that layout for a
//        picture of more than 256 colours and no alpha).
// ImageMagick is held to one thread, because the figures are the running thread's CPU time.
//
// Our writers never overwrite a file in place: they write beside it and rename the new file over it when
// it is complete. On ext4 that rename also starts the write-back of the new file, in the renaming thread,
// a cost the peers, which truncate and overwrite the old file, do not show in their figures.

#include <FreeImage.h>
#include <benchmark/benchmark.h>
#include <stb/stb_image_write.h>
#include <wand/MagickWand.h>

#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "BenchSupport.h"
#include "KivPicture.h"

namespace bench {
namespace {

constexpr int kWidth = kLargeWidth;
constexpr int kHeight = kLargeHeight;
constexpr int kJpegQuality = 30;

// The picture in every form the libraries take, made once.
struct WriterInputs {
    std::vector<DWORD> words;  // ours: 0xAARRGGBB, top row first
    Bytes rgba;                // stb_image_write
    FIBITMAP* bitmap32 = nullptr;
    FIBITMAP* bitmap24 = nullptr;
    MagickWand* wand = nullptr;  // ImageMagick, format PCX

    WriterInputs() {
        const auto& photo = Photo(kWidth, kHeight);
        words.assign(photo.begin(), photo.end());
        rgba.resize(words.size() * 4);
        for (size_t i = 0; i < words.size(); ++i) {
            rgba[4 * i] = static_cast<unsigned char>(words[i] >> 16);
            rgba[4 * i + 1] = static_cast<unsigned char>(words[i] >> 8);
            rgba[4 * i + 2] = static_cast<unsigned char>(words[i]);
            rgba[4 * i + 3] = static_cast<unsigned char>(words[i] >> 24);
        }
        // FreeImage's 32-bit layout on this machine is ours, blue first, with rows stored bottom-up.
        bitmap32 =
            FreeImage_ConvertFromRawBits(reinterpret_cast<BYTE*>(words.data()), kWidth, kHeight, kWidth * 4,
                                         32, FI_RGBA_RED_MASK, FI_RGBA_GREEN_MASK, FI_RGBA_BLUE_MASK, TRUE);
        bitmap24 = bitmap32 ? FreeImage_ConvertTo24Bits(bitmap32) : nullptr;
        if (!bitmap32 || !bitmap24) Fail("FreeImage cannot make the bitmaps to save");

        MagickWandGenesis();
        MagickSetResourceLimit(ThreadResource, 1);
        wand = NewMagickWand();
        // "P" pads: the alpha bytes are skipped and the image has no alpha channel, so its PCX has three
        // planes, like ours.
        if (MagickConstituteImage(wand, kWidth, kHeight, "BGRP", CharPixel, words.data()) == MagickFalse ||
            MagickSetImageFormat(wand, "PCX") == MagickFalse)
            Fail("ImageMagick cannot make the image to save");
    }
    ~WriterInputs() {
        FreeImage_Unload(bitmap24);
        FreeImage_Unload(bitmap32);
        DestroyMagickWand(wand);
        MagickWandTerminus();
    }
    WriterInputs(const WriterInputs&) = delete;
    WriterInputs& operator=(const WriterInputs&) = delete;
};

// Made when the first writer benchmark runs, so that a run filtered to other benchmarks skips it.
WriterInputs& Inputs() {
    static WriterInputs inputs;
    return inputs;
}

using OurSave = int (*)(CString, DWORD*, CSize, CRect);

bool SaveOurs(OurSave save, const CString& path) {
    return save(path, Inputs().words.data(), CSize(kWidth, kHeight), CRect(0, 0, kWidth, kHeight)) != 0;
}

bool SaveFreeImage(FREE_IMAGE_FORMAT format, FIBITMAP* bitmap, const std::string& path, int flags) {
    return FreeImage_Save(format, bitmap, path.c_str(), flags) != FALSE;
}

bool SaveImageMagick(const std::string& path) {
    return MagickWriteImage(Inputs().wand, path.c_str()) != MagickFalse;
}

}  // namespace

void RegisterWriterBenchmarks() {
    ComparisonTable& table = AddTable("write", "Writers: 32-bit pixels to a file, " + std::to_string(kWidth) +
                                                   "x" + std::to_string(kHeight));
    struct Column {
        const char* library;
        const char* file;
        std::function<bool(const std::string& path)> save;
    };
    const auto addRow = [&](const char* name, const std::vector<Column>& columns) {
        auto saves = std::make_shared<std::vector<std::pair<std::string, std::function<bool()>>>>();
        for (const Column& column : columns) {
            const std::string path = ScratchPath(column.file);
            saves->push_back({column.library, [save = column.save, path] { return save(path); }});
        }
        // Before the timing, each library writes its file once and the sizes are noted: a size far from the
        // others would say that a writer wrote something else.
        ComparisonRow& row = table.Row(name, [saves, columns](ComparisonRow& r) {
            std::string note;
            for (size_t i = 0; i < columns.size(); ++i) {
                if (!(*saves)[i].second())
                    Fail(std::string(columns[i].library) + " could not write " + columns[i].file);
                note += (i ? "; " : "") + std::string(columns[i].library) + " " +
                        std::to_string(FileBytes(ScratchPath(columns[i].file))) + " bytes";
            }
            r.Note(note);
        });
        for (size_t i = 0; i < columns.size(); ++i)
            row.Time((*saves)[i].first, i == 0 ? Role::ours : Role::peer, (*saves)[i].second);
    };

    const auto ours = [](OurSave save) {
        return [save](const std::string& path) { return SaveOurs(save, CString::FromUtf8(path)); };
    };
    const auto freeImage = [](FREE_IMAGE_FORMAT format, bool bits24, int flags) {
        return [=](const std::string& path) {
            return SaveFreeImage(format, bits24 ? Inputs().bitmap24 : Inputs().bitmap32, path, flags);
        };
    };
    addRow("bmp", {{"ours", "ours.bmp", ours(KivPictureSaveBMPFile)},
                   {"stb_image_write", "stb.bmp",
                    [](const std::string& path) {
                        return stbi_write_bmp(path.c_str(), kWidth, kHeight, 4, Inputs().rgba.data()) != 0;
                    }},
                   {"FreeImage", "freeimage.bmp", freeImage(FIF_BMP, false, BMP_DEFAULT)}});
    addRow("tga", {{"ours", "ours.tga", ours(KivPictureSaveTGAFile)},
                   {"stb_image_write", "stb.tga",
                    [](const std::string& path) {
                        stbi_write_tga_with_rle = 0;
                        return stbi_write_tga(path.c_str(), kWidth, kHeight, 4, Inputs().rgba.data()) != 0;
                    }},
                   {"FreeImage", "freeimage.tga", freeImage(FIF_TARGA, false, TARGA_DEFAULT)}});
    addRow("jpeg-q30",
           {{"ours", "ours.jpg", ours(KivPictureSaveJPGFile)},
            {"stb_image_write", "stb.jpg",
             [](const std::string& path) {
                 return stbi_write_jpg(path.c_str(), kWidth, kHeight, 4, Inputs().rgba.data(),
                                       kJpegQuality) != 0;
             }},
            {"FreeImage", "freeimage.jpg", freeImage(FIF_JPEG, true, kJpegQuality | JPEG_SUBSAMPLING_420)}});
    addRow("pcx", {{"ours", "ours.pcx", ours(KivPictureSavePCXFile)},
                   {"ImageMagick", "imagemagick.pcx", SaveImageMagick}});
}

}  // namespace bench
