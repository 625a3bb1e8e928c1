// The PNG peer: libpng's simplified API reads IN in the file's own format
// (8 bits a sample; palette pictures as indices and their colour map) and
// writes the pixels to OUT.
//
//   bench_peer_png IN OUT
#include "peer_output.h"

#include <png.h>

#include <cstdint>
#include <cstdlib>
#include <cstring>

int main(int argc, char** argv) {
    if (argc != 3) return 2;
    png_image image;
    std::memset(&image, 0, sizeof image);
    image.version = PNG_IMAGE_VERSION;
    if (!png_image_begin_read_from_file(&image, argv[1])) return 1;
    image.format &= ~uint32_t(PNG_FORMAT_FLAG_LINEAR);
    const size_t size = PNG_IMAGE_SIZE(image);
    void* pixels = std::malloc(size);
    void* colormap = std::malloc(PNG_IMAGE_COLORMAP_SIZE(image) + 1);
    if (!pixels || !colormap) return 1;
    if (!png_image_finish_read(&image, nullptr, pixels, 0, colormap)) return 1;
    const int ok = writeDecoded(argv[2], pixels, size);
    std::free(colormap);
    std::free(pixels);
    png_image_free(&image);
    return ok ? 0 : 1;
}
