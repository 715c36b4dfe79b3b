// The stb_image decoder, built once for the benchmark. Only the BMP reader is needed.
#define STB_IMAGE_IMPLEMENTATION
#define STBI_ONLY_BMP
#include <stb/stb_image.h>
