// kivpic: the module's pictures at a terminal.

#include <CLI/CLI.hpp>

#include <tuple>

#include "Commands.h"

int main(int argc, char** argv) {
    CLI::App app{
        "kivpic: read, convert, inspect, catalogue and choose still pictures (BMP, GIF, JPEG, PCX, PSD, TGA)"};
    app.require_subcommand(1);
    // Accepted before or after the command, as every command reads pictures.
    app.fallthrough();
    unsigned long long maxPixels = KivPictureGetPixelLimit();
    app.add_option("--max-pixels", maxPixels,
                   "refuse pictures of more pixels than this as too large (0: only the 4 GiB buffer limit)")
        ->check(CLI::NonNegativeNumber)  // a negative count would wrap to a huge one
        ->capture_default_str();
    bool jpegFullColour = false, autoOrient = false;
    app.add_flag("--jpeg-full-colour", jpegFullColour,
                 "load colour JPEG files in full colour rather than quantised to 128 colours");
    app.add_flag("--auto-orient", autoOrient,
                 "turn JPEG files upright by their EXIF orientation: sizes, loads, thumbnails and catalogue");

    ConvertOptions convert;
    std::string regionText;
    CLI::App* convertCommand = app.add_subcommand(
        "convert",
        "Load IN (format chosen by its extension) and save it, or a region of it, as OUT. "
        "OUT's extension chooses the writer: .bmp, .tga, .pcx, .jpg; any other saves TGA.");
    convertCommand->add_option("IN", convert.input, "picture to read")->required();
    convertCommand->add_option("OUT", convert.output, "file to write (replaced only when complete)")
        ->required();
    convertCommand->add_option("--region", regionText,
                               "region to save, L,T,R,B in picture pixels (cut to the picture)");
    convertCommand->add_flag("--json", convert.json,
                             "print {\"rect\":[left,top,right,bottom]} of the loaded picture");

    ZoomOptions zoom;
    std::string sizeText, methodText = "bilinear", clipText, placeText;
    CLI::App* zoomCommand = app.add_subcommand(
        "zoom",
        "Scale IN into a block of --size WxH and save the block as OUT (writer chosen as for convert).");
    zoomCommand->add_option("IN", zoom.input, "picture to read")->required();
    zoomCommand->add_option("OUT", zoom.output, "file to write")->required();
    zoomCommand->add_option("--size", sizeText, "target block size, WxH")->required();
    zoomCommand
        ->add_option("--method", methodText, "bilinear (fixed-point, default) or area (area averaging)")
        ->check(CLI::IsMember({"bilinear", "area"}));
    zoomCommand
        ->add_option("--mode", zoom.mode,
                     "mix mode: 0 = picture over block, 1 = block over picture, 2 = replace")
        ->check(CLI::Range(0, 2));
    zoomCommand->add_option("--onto", zoom.onto,
                            "draw onto this picture (of the target size) instead of a transparent block");
    zoomCommand->add_option("--clip", clipText, "bilinear only: update only inside L,T,R,B of the block");
    zoomCommand->add_option(
        "--place", placeText,
        "bilinear only: update only inside L,T,R,B (0,0,0,0 = the picture's own rectangle)");

    InfoOptions info;
    CLI::App* infoCommand = app.add_subcommand(
        "info",
        "Print each FILE's position, size and bits per pixel, read from its header by the probe that "
        "its extension names (.bmp .dib .tga .gif .pcx .jpg .psd).");
    infoCommand->add_option("FILE", info.files, "pictures to probe")->required();
    infoCommand->add_flag(
        "--json", info.json,
        "one JSON object per line: {\"file\":...,\"ok\":true|false,\"rect\":[l,t,r,b],\"bits\":n}");

    CatalogOptions catalog;
    CLI::App* catalogCommand = app.add_subcommand(
        "catalog",
        "List DIR's pictures with their size, depth, file size and time, through the folder's cache "
        "\"VudEvovi.pmf\": when it still describes the folder no picture is read, otherwise the pictures "
        "that changed are read and the cache is rewritten.");
    catalogCommand->add_option("DIR", catalog.folder, "folder to list")->required();
    catalogCommand
        ->add_option("--types", catalog.types,
                     "extensions to list, without dots, comma-separated; a trailing comma also lists "
                     "files without an extension")
        ->capture_default_str();
    catalogCommand->add_flag(
        "--json", catalog.json,
        "one JSON object per picture: file, title, width, height, bits, bytes, modified, "
        "thumbnail");
    catalogCommand->add_option("--xml", catalog.xml, "also write the records' XML form to this file");
    catalogCommand->add_option("--sheet", catalog.sheet,
                               "also save a contact sheet of the thumbnails (writer chosen as for convert)");

    PickOptions pick;
    CLI::App* pickCommand = app.add_subcommand(
        "pick",
        "Let the user choose pictures in the module's selection dialog and print the chosen paths, one per "
        "line; exit 1 when cancelled, 2 without a display. With --save-buffer, save that picture where the "
        "user chooses through the save prompt.");
    pickCommand->add_option("PATH", pick.path, "the start path");
    CLI::Option* saveOption = pickCommand->add_flag("--save", pick.save, "choose a name to save to");
    pickCommand->add_option("--type", pick.type, "type filter: 0 all, 1 TGA, 2 BMP, 3 GIF, 4 PCX, 5 JPEG, 6 PSD")
        ->check(CLI::Range(0, 6))
        ->capture_default_str();
    CLI::Option* multiOption = pickCommand->add_flag("--multi", pick.multi, "allow choosing several files");
    CLI::Option* detailedOption = pickCommand->add_flag_callback(
        "--detailed", [&pick] { pick.dialogChoice = 0; }, "use the detailed dialog for this run");
    pickCommand
        ->add_flag_callback("--simple", [&pick] { pick.dialogChoice = 1; }, "use the simple dialog for this run")
        ->excludes(detailedOption);
    pickCommand->add_option("--save-buffer", pick.saveBuffer, "picture to save through the save prompt")
        ->excludes(saveOption)
        ->excludes(multiOption);
    pickCommand->add_option("--screenshot", pick.screenshot,
                            "save a PNG picture of the dialog once it has shown and settled, then cancel it "
                            "(for reports and documentation); exit 0 when the picture was saved");

    try {
        app.parse(argc, argv);
    } catch (const CLI::ParseError& error) {
        return app.exit(error) == 0 ? 0 : 2;
    }

    KivPictureSetPixelLimit(maxPixels);
    // Before any picture is read: the bilinear sampler's product table and the user's JPEG choices from
    // KivClient.ini, which the options can only add to.
    KivPictureOpen();
    if (jpegFullColour) KivPictureSetJpegFullColour(1);
    if (autoOrient) KivPictureSetAutoOrient(1);

    if (convertCommand->parsed()) {
        if (!regionText.empty()) {
            convert.region = ParseRectangle(regionText);
            if (!convert.region) {
                std::fprintf(stderr, "kivpic: --region: expected L,T,R,B (four integers), got '%s'\n",
                             regionText.c_str());
                return 2;
            }
        }
        return RunConvert(convert);
    }
    if (zoomCommand->parsed()) {
        const auto size = ParseSize(sizeText);
        if (!size) {
            std::fprintf(stderr, "kivpic: --size: expected WxH with both sides positive, got '%s'\n",
                         sizeText.c_str());
            return 2;
        }
        zoom.size = *size;
        zoom.areaMethod = methodText == "area";
        for (auto [text, target, name] :
             {std::tuple{&clipText, &zoom.clip, "--clip"}, std::tuple{&placeText, &zoom.place, "--place"}}) {
            if (text->empty()) continue;
            *target = ParseRectangle(*text);
            if (!*target) {
                std::fprintf(stderr, "kivpic: %s: expected L,T,R,B (four integers), got '%s'\n", name,
                             text->c_str());
                return 2;
            }
        }
        if (zoom.areaMethod && (zoom.clip || zoom.place)) {
            std::fprintf(stderr, "kivpic: --clip and --place need --method bilinear\n");
            return 2;
        }
        return RunZoom(zoom);
    }
    if (infoCommand->parsed()) return RunInfo(info);
    if (catalogCommand->parsed()) return RunCatalog(catalog);
    // The only command that starts a window system, and only once it runs.
    if (pickCommand->parsed()) return RunPick(pick, WindowPickEntries(), stdout);
    return 2;
}
