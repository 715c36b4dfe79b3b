// kivpic: the module's pictures at a terminal.

#include <CLI/CLI.hpp>

#include "Commands.h"

int main(int argc, char** argv) {
    CLI::App app{"kivpic: read, convert and inspect still pictures (BMP, GIF, JPEG, PCX, PSD, TGA)"};
    app.require_subcommand(1);

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

    InfoOptions info;
    CLI::App* infoCommand = app.add_subcommand(
        "info",
        "Print each FILE's position, size and bits per pixel, read from its header by the probe that "
        "its extension names (.bmp .dib .tga .gif .pcx .jpg .psd).");
    infoCommand->add_option("FILE", info.files, "pictures to probe")->required();
    infoCommand->add_flag(
        "--json", info.json,
        "one JSON object per line: {\"file\":...,\"ok\":true|false,\"rect\":[l,t,r,b],\"bits\":n}");

    try {
        app.parse(argc, argv);
    } catch (const CLI::ParseError& error) {
        return app.exit(error) == 0 ? 0 : 2;
    }

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
    if (infoCommand->parsed()) return RunInfo(info);
    return 2;
}
