#include "Commands.h"

#include <cstdio>
#include <memory>
#include <sstream>

#include "picture/ScaledLoad.h"

namespace {

std::string CannotLoad(KivLoadStatus status) {
    return std::string("cannot load: ") + KivLoadStatusText(status);
}

}  // namespace

const PictureFormat& ChooseWriter(const CString& path) {
    const PictureFormat* named = FindPictureFormat(path);
    if (named && named->write) return *named;
    return *FindPictureFormat(CString(L".tga"));
}

int Fail(const std::string& file, const std::string& what) {
    std::fprintf(stderr, "kivpic: %s: %s\n", PlainName(CString::FromFileSystem(file)).c_str(), what.c_str());
    return 1;
}

std::optional<CRect> ParseRectangle(const std::string& text) {
    std::istringstream in(text);
    long long v[4];
    char comma = 0;
    for (int i = 0; i < 4; ++i) {
        if (!(in >> v[i])) return std::nullopt;
        if (v[i] < INT32_MIN || v[i] > INT32_MAX) return std::nullopt;
        if (i < 3 && (!(in >> comma) || comma != ',')) return std::nullopt;
    }
    in >> std::ws;
    if (!in.eof()) return std::nullopt;
    return CRect(static_cast<int>(v[0]), static_cast<int>(v[1]), static_cast<int>(v[2]),
                 static_cast<int>(v[3]));
}

std::optional<CSize> ParseSize(const std::string& text) {
    int width = 0, height = 0;
    char separator = 0, extra = 0;
    if (std::sscanf(text.c_str(), "%d%c%d%c", &width, &separator, &height, &extra) != 3) return std::nullopt;
    if ((separator != 'x' && separator != 'X') || width <= 0 || height <= 0) return std::nullopt;
    return CSize(width, height);
}

int RunZoom(const ZoomOptions& options) {
    const CString input = CString::FromFileSystem(options.input);
    const CString output = CString::FromFileSystem(options.output);
    const PictureFormat& writer = ChooseWriter(output);
    const unsigned long long pixels = 1ull * options.size.cx * options.size.cy;
    if (pixels > 0x3FFFFFFFull) return Fail(options.output, "the target size is too large");

    PixelBuffer target;
    if (!options.onto.empty()) {
        DecodedPicture onto = LoadPicture(CString::FromFileSystem(options.onto));
        if (!onto.ok()) return Fail(options.onto, CannotLoad(onto.status));
        if (!(onto.rect.Size() == options.size))
            return Fail(options.onto, "its size " + std::to_string(onto.rect.Width()) + "x" +
                                          std::to_string(onto.rect.Height()) + " is not the target size");
        target = std::move(onto.pixels);
    } else {
        target.reset(static_cast<DWORD*>(GlobalAlloc(GPTR, pixels * 4)));
        if (!target) return Fail(options.output, "out of memory for the target block");
    }

    auto* block = reinterpret_cast<tagCOLOR32*>(target.get());
    KivLoadStatus status = KivLoadStatus::ok;
    if (options.areaMethod)
        status = LoadAreaScaled(input, block, options.size, options.mode);
    else if (options.clip || options.place)
        status =
            LoadBilinearScaled(input, options.clip.value_or(CRect(0, 0, options.size.cx, options.size.cy)),
                               options.place.value_or(CRect()), options.size, block, options.mode);
    else
        status = LoadBilinearScaled(input, block, options.size, options.mode);
    if (status != KivLoadStatus::ok) return Fail(options.input, CannotLoad(status));
    if (!writer.write(output, target.get(), options.size, CRect(0, 0, options.size.cx, options.size.cy)))
        return Fail(options.output, std::string("cannot write the ") + writer.name + " file");
    return 0;
}

int RunConvert(const ConvertOptions& options) {
    const CString input = CString::FromFileSystem(options.input);
    const CString output = CString::FromFileSystem(options.output);
    const PictureFormat& writer = ChooseWriter(output);

    const DecodedPicture picture = LoadPicture(input);
    if (!picture.ok()) return Fail(options.input, CannotLoad(picture.status));
    const CRect& rect = picture.rect;

    const CSize size = rect.Size();
    const CRect region = options.region.value_or(CRect(0, 0, size.cx, size.cy));
    CRect inside;
    if (!inside.IntersectRect(region, CRect(0, 0, size.cx, size.cy)))
        return Fail(options.output, "the region lies outside the picture (" + std::to_string(size.cx) + "x" +
                                        std::to_string(size.cy) + ")");
    if (!writer.write(output, picture.pixels.get(), size, region))
        return Fail(options.output, std::string("cannot write the ") + writer.name + " file");
    if (options.json) std::printf("{\"rect\":[%d,%d,%d,%d]}\n", rect.left, rect.top, rect.right, rect.bottom);
    return 0;
}

std::string JsonString(const std::string& text) {
    std::string out = "\"";
    for (const char c : text) {
        switch (c) {
            case '"':
                out += "\\\"";
                break;
            case '\\':
                out += "\\\\";
                break;
            case '\n':
                out += "\\n";
                break;
            case '\t':
                out += "\\t";
                break;
            case '\r':
                out += "\\r";
                break;
            default:
                if (static_cast<unsigned char>(c) < 0x20) {
                    char escaped[8];
                    std::snprintf(escaped, sizeof escaped, "\\u%04x", static_cast<unsigned>(c));
                    out += escaped;
                } else {
                    out += c;
                }
        }
    }
    return out + "\"";
}

std::string PlainName(const CString& path) {
    std::string out;
    for (const char c : path.ToUtf8()) {
        const auto byte = static_cast<unsigned char>(c);
        if (c == '\n') {
            out += "\\n";
        } else if (c == '\r') {
            out += "\\r";
        } else if (c == '\t') {
            out += "\\t";
        } else if (byte < 0x20 || byte == 0x7F) {
            char escaped[8];
            std::snprintf(escaped, sizeof escaped, "\\x%02X", unsigned{byte});
            out += escaped;
        } else {
            out += c;
        }
    }
    return out;
}

std::string JsonFileMembers(const CString& path) {
    std::string members = "\"file\":" + JsonString(path.ToUtf8());
    if (path.HasUndecodableUnits())
        members += ",\"fileBytes\":" + JsonString(PercentEncode(path.ToFileSystem()));
    return members;
}

int RunInfo(const InfoOptions& options) {
    int status = 0;
    for (const std::string& file : options.files) {
        PictureHeader header;
        const CString path = CString::FromFileSystem(file);
        const bool ok = ProbePicture(path, header);
        const RECT& rect = header.rect;
        const int bits = header.bits;
        if (options.json && ok) {
            std::printf("{%s,\"ok\":true,\"rect\":[%d,%d,%d,%d],\"bits\":%d}\n",
                        JsonFileMembers(path).c_str(), rect.left, rect.top, rect.right, rect.bottom, bits);
        } else if (options.json) {
            std::printf("{%s,\"ok\":false}\n", JsonFileMembers(path).c_str());
        } else if (ok) {
            std::printf("%s: %dx%d at (%d,%d), %d bits\n", PlainName(path).c_str(), rect.right - rect.left,
                        rect.bottom - rect.top, rect.left, rect.top, bits);
        }
        if (!ok) {
            status = 1;
            if (!options.json) Fail(file, "no picture header its extension's probe accepts");
        }
    }
    std::fflush(stdout);
    return status;
}
