// Replays inputs through a fuzz target without libFuzzer: every file named on the command line, and every
// file under every folder named there, is read and handed to LLVMFuzzerTestOneInput once, in name order,
// after LLVMFuzzerInitialize when the target defines it. A crash, a sanitizer report or a failed check of
// the target ends the process as it would end the fuzzer; the input's name is printed first, so a failure
// says which input caused it. Exits 0 when every input was replayed, 2 when an argument cannot be read.

#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <memory>
#include <string>
#include <system_error>
#include <vector>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size);
extern "C" __attribute__((weak)) int LLVMFuzzerInitialize(int* argc, char*** argv);

int main(int argc, char** argv) {
    if (LLVMFuzzerInitialize) LLVMFuzzerInitialize(&argc, &argv);
    std::vector<std::filesystem::path> inputs;
    for (int i = 1; i < argc; ++i) {
        const std::filesystem::path argument = argv[i];
        std::error_code error;
        if (std::filesystem::is_directory(argument, error)) {
            for (std::filesystem::recursive_directory_iterator it(argument, error), end; !error && it != end;
                 it.increment(error))
                if (it->is_regular_file()) inputs.push_back(it->path());
        } else if (std::filesystem::is_regular_file(argument, error)) {
            inputs.push_back(argument);
        } else {
            error = std::make_error_code(std::errc::no_such_file_or_directory);
        }
        if (error) {
            std::fprintf(stderr, "%s: cannot read %s: %s\n", argv[0], argv[i], error.message().c_str());
            return 2;
        }
    }
    std::sort(inputs.begin(), inputs.end());
    for (const std::filesystem::path& input : inputs) {
        std::ifstream in(input, std::ios::binary);
        const std::string bytes{std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
        if (!in.good() && !in.eof()) {
            std::fprintf(stderr, "%s: cannot read %s\n", argv[0], input.c_str());
            return 2;
        }
        // A block of exactly the input's size, as libFuzzer passes, so that reading past it is caught.
        const auto data = std::make_unique<std::uint8_t[]>(bytes.size() + (bytes.empty() ? 1 : 0));
        std::copy(bytes.begin(), bytes.end(), data.get());
        std::fprintf(stderr, "Running: %s (%zu bytes)\n", input.c_str(), bytes.size());
        LLVMFuzzerTestOneInput(data.get(), bytes.size());
    }
    std::printf("%zu inputs replayed\n", inputs.size());
    return 0;
}
