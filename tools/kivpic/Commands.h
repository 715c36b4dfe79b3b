// The commands of kivpic. Each returns the process's exit status: 0 done, 1 failed (with one line on
// standard error naming the file and the reason).
#pragma once

#include <cstdio>
#include <functional>
#include <optional>
#include <string>
#include <vector>

#include "KivPicture.h"
#include "platform/StringArray.h"
#include "readers/PictureFormats.h"

struct ConvertOptions {
    std::string input;
    std::string output;
    std::optional<CRect> region;
    bool json = false;
};

int RunConvert(const ConvertOptions& options);

struct ZoomOptions {
    std::string input;
    std::string output;
    CSize size;
    bool areaMethod = false;  // the area-averaging load instead of bilinear interpolation
    int mode = 2;
    std::string onto;  // a picture of the target's size to draw onto, instead of a transparent block
    std::optional<CRect> clip;
    std::optional<CRect> place;
};

// Scales IN into a block of the given size and saves the block as OUT.
int RunZoom(const ZoomOptions& options);

// Parses "WxH" with both sides positive; nothing otherwise.
std::optional<CSize> ParseSize(const std::string& text);

struct InfoOptions {
    std::vector<std::string> files;
    bool json = false;
};

// Probes each file's header; one line per file. Fails (1) when any file was refused.
int RunInfo(const InfoOptions& options);

// Text as a JSON string literal, quotes included.
std::string JsonString(const std::string& text);

// Names as printed. Paths from the command line and the file system are bytes, taken in and given back
// through CString::FromFileSystem and ToFileSystem, so a name that is not UTF-8 still reaches its file.
// A line of plain output shows the bytes that are no UTF-8 as U+FFFD and control characters as \n, \r, \t
// or \xNN, so that a name never breaks its line.
std::string PlainName(const CString& path);
// The JSON members naming a file: "file", the path as shown (U+FFFD for bytes that are no UTF-8, which a
// JSON string cannot carry) and, only for such a path, "fileBytes", its exact bytes percent-encoded
// (PercentEncode).
std::string JsonFileMembers(const CString& path);

// Parses "L,T,R,B" into a rectangle; nothing when the text is not four integers.
std::optional<CRect> ParseRectangle(const std::string& text);

// The format whose writer an output name's extension chooses: TGA for any extension without a writer.
const PictureFormat& ChooseWriter(const CString& path);

// Prints "kivpic: FILE: WHAT" on standard error and returns 1.
int Fail(const std::string& file, const std::string& what);

struct CatalogOptions {
    std::string folder;
    std::string types = "bmp,tga,jpg,gif,pcx,psd";
    bool json = false;
    std::string xml;    // where to write the records' XML form, if anywhere
    std::string sheet;  // where to save a contact sheet of the thumbnails, if anywhere
};

// Lists a folder's pictures through its cache, as the picture dialogs do.
int RunCatalog(const CatalogOptions& options);

struct PickOptions {
    bool save = false;   // a name to save to rather than pictures to open
    int type = 0;        // the type filter: 0 all, 1 TGA, 2 BMP, 3 GIF, 4 PCX, 5 JPEG, 6 PSD
    bool multi = false;  // several files may be chosen
    std::optional<int> dialogChoice{};  // the open-dialog choice for this run: 1 simple, 0 detailed
    std::string path{};                 // the start path
    std::string saveBuffer{};           // a picture to save where the user chooses, through the save prompt
    std::string screenshot{};           // a PNG picture of the dialog to take here, which then is cancelled
};

// What pick asks of the window half, so that its logic runs without a person to answer the dialogs.
struct PickEntries {
    std::function<bool()> openWindowSystem;  // false when no display can be opened
    std::function<int(int bOpen, int nType, CString& path, CStringArray* paths, int bMulti)> select;
    std::function<int(DWORD* buffer, CSize size, CRect rect)> promptSave;
    // Runs run, which shows a dialog; saves a PNG picture of the dialog into file once it has settled and
    // closes it as Cancel would. True when the picture was saved.
    std::function<bool(const std::string& file, const std::function<void()>& run)> photograph{};
};

// The module's selection entry and save prompt, on the window system the tool starts for them.
PickEntries WindowPickEntries();

// Runs the selection entry (or the save prompt with a picture) and prints the chosen paths to out, one
// per line as PlainName shows them. 0 chosen (or saved), 1 cancelled or failed, 2 without a display.
// With a screenshot asked for, the dialog is photographed and cancelled: 0 when the picture was saved.
int RunPick(const PickOptions& options, const PickEntries& entries, std::FILE* out);
