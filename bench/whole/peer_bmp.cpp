// The BMP peer: stb_image reads IN with its own channels and the pixels are
// written to OUT.
//
//   bench_peer_bmp IN OUT
#include "peer_output.h"

#include <stb/stb_image.h>

int main(int argc, char** argv) {
    if (argc != 3) return 2;
    int width = 0, height = 0, channels = 0;
    stbi_uc* pixels = stbi_load(argv[1], &width, &height, &channels, 0);
    if (!pixels) return 1;
    const int ok = writeDecoded(argv[2], pixels, size_t(width) * height * channels);
    stbi_image_free(pixels);
    return ok ? 0 : 1;
}
