// The GIF peer: giflib's DGifSlurp reads every frame of IN, and the first
// frame's indices are written to OUT.
//
//   bench_peer_gif IN OUT
#include "peer_output.h"

#include <gif_lib.h>

int main(int argc, char** argv) {
    if (argc != 3) return 2;
    int error = 0;
    GifFileType* gif = DGifOpenFileName(argv[1], &error);
    if (!gif) return 1;
    if (DGifSlurp(gif) != GIF_OK || gif->ImageCount < 1) return 1;
    const SavedImage& first = gif->SavedImages[0];
    const int ok = writeDecoded(argv[2], first.RasterBits,
                                size_t(first.ImageDesc.Width) * size_t(first.ImageDesc.Height));
    DGifCloseFile(gif, &error);
    return ok ? 0 : 1;
}
