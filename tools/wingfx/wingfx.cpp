// wingfx: draws the Windows program's pictures with cairo and writes them in
// the formats its resources take:
//   vantorix.ico - the program icon (16, 32 and 48 pixels, 32-bit with alpha)
//   zr2bmp.bmp   - the About box picture, 124 x 51 pixels, 16 colours
// Usage: wingfx OUTPUT-FOLDER [PREVIEW-FOLDER]  (previews are PNG files)
#include <cairo.h>

#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

namespace {

using Bytes = std::vector<uint8_t>;

void put16(Bytes& b, uint32_t v) {
    b.push_back(uint8_t(v));
    b.push_back(uint8_t(v >> 8));
}
void put32(Bytes& b, uint32_t v) {
    put16(b, v & 0xFFFF);
    put16(b, v >> 16);
}

void roundedRect(cairo_t* cr, double x, double y, double w, double h, double r) {
    cairo_new_sub_path(cr);
    cairo_arc(cr, x + w - r, y + r, r, -M_PI / 2, 0);
    cairo_arc(cr, x + w - r, y + h - r, r, 0, M_PI / 2);
    cairo_arc(cr, x + r, y + h - r, r, M_PI / 2, M_PI);
    cairo_arc(cr, x + r, y + r, r, M_PI, 3 * M_PI / 2);
    cairo_close_path(cr);
}

// The icon: a module board with its panel showing colour bars and a text line.
void drawIcon(cairo_t* cr, int size) {
    const double s = size / 48.0;
    cairo_scale(cr, s, s);
    roundedRect(cr, 2, 5, 44, 38, 4);
    cairo_set_source_rgb(cr, 0.05, 0.28, 0.55); // board
    cairo_fill_preserve(cr);
    cairo_set_source_rgb(cr, 0.02, 0.12, 0.25);
    cairo_set_line_width(cr, 1.5);
    cairo_stroke(cr);
    cairo_rectangle(cr, 6, 9, 36, 27); // panel
    cairo_set_source_rgb(cr, 0.02, 0.02, 0.05);
    cairo_fill(cr);
    const double bars[6][3] = {{1, 0, 0}, {1, 1, 0}, {0, 1, 0}, {0, 1, 1}, {0, 0, 1}, {1, 0, 1}};
    for (int i = 0; i < 6; i++) {
        cairo_rectangle(cr, 8 + i * 5.33, 11, 5.33, 14);
        cairo_set_source_rgb(cr, bars[i][0], bars[i][1], bars[i][2]);
        cairo_fill(cr);
    }
    cairo_rectangle(cr, 8, 28, 22, 5);
    cairo_set_source_rgb(cr, 1, 1, 1);
    cairo_fill(cr);
    for (int pin = 0; pin < 6; pin++) { // header pins along the bottom edge
        cairo_rectangle(cr, 9 + pin * 5.5, 38.5, 3, 3);
        cairo_set_source_rgb(cr, 0.85, 0.7, 0.2);
        cairo_fill(cr);
    }
}

cairo_surface_t* renderIcon(int size) {
    cairo_surface_t* surface = cairo_image_surface_create(CAIRO_FORMAT_ARGB32, size, size);
    cairo_t* cr = cairo_create(surface);
    drawIcon(cr, size);
    cairo_destroy(cr);
    cairo_surface_flush(surface);
    return surface;
}

// One icon image: a 32-bit bottom-up DIB of double height, straight (not
// premultiplied) alpha, then the 1-bit AND mask.
Bytes iconImage(cairo_surface_t* surface) {
    const int size = cairo_image_surface_get_width(surface);
    const int stride = cairo_image_surface_get_stride(surface);
    const uint8_t* px = cairo_image_surface_get_data(surface);
    Bytes b;
    put32(b, 40);
    put32(b, uint32_t(size));
    put32(b, uint32_t(size * 2));
    put16(b, 1);
    put16(b, 32);
    put32(b, 0);
    put32(b, 0);
    put32(b, 0);
    put32(b, 0);
    put32(b, 0);
    put32(b, 0);
    for (int y = size - 1; y >= 0; y--)
        for (int x = 0; x < size; x++) {
            uint32_t argb;
            memcpy(&argb, px + y * stride + x * 4, 4);
            uint32_t a = argb >> 24;
            auto unpremultiply = [a](uint32_t c) { return a ? (c * 255 + a / 2) / a : 0; };
            b.push_back(uint8_t(unpremultiply(argb & 0xFF)));
            b.push_back(uint8_t(unpremultiply((argb >> 8) & 0xFF)));
            b.push_back(uint8_t(unpremultiply((argb >> 16) & 0xFF)));
            b.push_back(uint8_t(a));
        }
    const int maskRow = ((size + 31) / 32) * 4;
    for (int y = size - 1; y >= 0; y--) {
        Bytes row(size_t(maskRow), 0);
        for (int x = 0; x < size; x++) {
            uint32_t argb;
            memcpy(&argb, px + y * stride + x * 4, 4);
            if ((argb >> 24) < 128) row[size_t(x / 8)] |= uint8_t(0x80 >> (x % 8));
        }
        b.insert(b.end(), row.begin(), row.end());
    }
    return b;
}

Bytes makeIco(const std::vector<int>& sizes, const std::string& previewDir) {
    std::vector<Bytes> images;
    for (int size : sizes) {
        cairo_surface_t* surface = renderIcon(size);
        images.push_back(iconImage(surface));
        if (!previewDir.empty())
            cairo_surface_write_to_png(
                surface, (previewDir + "/icon" + std::to_string(size) + ".png").c_str());
        cairo_surface_destroy(surface);
    }
    Bytes b;
    put16(b, 0);
    put16(b, 1); // icon
    put16(b, uint16_t(sizes.size()));
    uint32_t offset = 6 + 16 * uint32_t(sizes.size());
    for (size_t i = 0; i < sizes.size(); i++) {
        b.push_back(uint8_t(sizes[i]));
        b.push_back(uint8_t(sizes[i]));
        b.push_back(0); // colour count: none (true colour)
        b.push_back(0);
        put16(b, 1);
        put16(b, 32);
        put32(b, uint32_t(images[i].size()));
        put32(b, offset);
        offset += uint32_t(images[i].size());
    }
    for (const Bytes& image : images) b.insert(b.end(), image.begin(), image.end());
    return b;
}

// The About picture: the product line's mark "ZR", a small module and a rule.
constexpr int kAboutWidth = 124, kAboutHeight = 51;

void drawAbout(cairo_t* cr) {
    cairo_set_source_rgb(cr, 1, 1, 1);
    cairo_paint(cr);
    roundedRect(cr, 1, 1, 122, 49, 6);
    cairo_set_source_rgb(cr, 0, 0, 0.5);
    cairo_fill(cr);
    cairo_select_font_face(cr, "DejaVu Sans", CAIRO_FONT_SLANT_NORMAL, CAIRO_FONT_WEIGHT_BOLD);
    cairo_set_font_size(cr, 34);
    cairo_move_to(cr, 8, 38);
    cairo_set_source_rgb(cr, 1, 1, 0);
    cairo_show_text(cr, "ZR");
    // The module: a board with a panel of colour bars.
    cairo_rectangle(cr, 66, 8, 50, 35);
    cairo_set_source_rgb(cr, 0, 0.5, 0.5);
    cairo_fill(cr);
    cairo_rectangle(cr, 70, 11, 42, 27);
    cairo_set_source_rgb(cr, 0, 0, 0);
    cairo_fill(cr);
    const double bars[6][3] = {{1, 0, 0}, {1, 1, 0}, {0, 1, 0}, {0, 1, 1}, {0, 0, 1}, {1, 0, 1}};
    for (int i = 0; i < 6; i++) {
        cairo_rectangle(cr, 72 + i * 6.33, 13, 6.33, 15);
        cairo_set_source_rgb(cr, bars[i][0], bars[i][1], bars[i][2]);
        cairo_fill(cr);
    }
    cairo_rectangle(cr, 72, 31, 26, 4);
    cairo_set_source_rgb(cr, 1, 1, 1);
    cairo_fill(cr);
    cairo_rectangle(cr, 8, 43, 52, 2);
    cairo_set_source_rgb(cr, 0, 1, 1);
    cairo_fill(cr);
}

// The 16 colours of the standard Windows palette.
constexpr uint8_t kPalette[16][3] = {
    {0, 0, 0},     {128, 0, 0},     {0, 128, 0},     {128, 128, 0},  {0, 0, 128}, {128, 0, 128},
    {0, 128, 128}, {192, 192, 192}, {128, 128, 128}, {255, 0, 0},    {0, 255, 0}, {255, 255, 0},
    {0, 0, 255},   {255, 0, 255},   {0, 255, 255},   {255, 255, 255}};

int nearestColour(int r, int g, int b) {
    int best = 0, bestDistance = 1 << 30;
    for (int i = 0; i < 16; i++) {
        int dr = r - kPalette[i][0], dg = g - kPalette[i][1], db = b - kPalette[i][2];
        int d = dr * dr + dg * dg + db * db;
        if (d < bestDistance) best = i, bestDistance = d;
    }
    return best;
}

Bytes makeAboutBmp(const std::string& previewDir) {
    cairo_surface_t* surface =
        cairo_image_surface_create(CAIRO_FORMAT_RGB24, kAboutWidth, kAboutHeight);
    cairo_t* cr = cairo_create(surface);
    drawAbout(cr);
    cairo_destroy(cr);
    cairo_surface_flush(surface);
    if (!previewDir.empty())
        cairo_surface_write_to_png(surface, (previewDir + "/zr2bmp.png").c_str());
    const int stride = cairo_image_surface_get_stride(surface);
    const uint8_t* px = cairo_image_surface_get_data(surface);
    const int rowBytes = ((kAboutWidth * 4 + 31) / 32) * 4;
    const uint32_t pixelBytes = uint32_t(rowBytes * kAboutHeight);
    const uint32_t bitsAt = 14 + 40 + 16 * 4;
    Bytes b;
    b.push_back('B');
    b.push_back('M');
    put32(b, bitsAt + pixelBytes);
    put32(b, 0);
    put32(b, bitsAt);
    put32(b, 40);
    put32(b, kAboutWidth);
    put32(b, kAboutHeight);
    put16(b, 1);
    put16(b, 4);
    put32(b, 0);
    put32(b, pixelBytes);
    put32(b, 2835);
    put32(b, 2835);
    put32(b, 16);
    put32(b, 16);
    for (const auto& c : kPalette) {
        b.push_back(c[2]);
        b.push_back(c[1]);
        b.push_back(c[0]);
        b.push_back(0);
    }
    for (int y = kAboutHeight - 1; y >= 0; y--) {
        Bytes row(size_t(rowBytes), 0);
        for (int x = 0; x < kAboutWidth; x++) {
            uint32_t xrgb;
            memcpy(&xrgb, px + y * stride + x * 4, 4);
            int index =
                nearestColour(int(xrgb >> 16) & 0xFF, int(xrgb >> 8) & 0xFF, int(xrgb) & 0xFF);
            row[size_t(x / 2)] |= uint8_t(x % 2 ? index : index << 4);
        }
        b.insert(b.end(), row.begin(), row.end());
    }
    cairo_surface_destroy(surface);
    return b;
}

bool writeFile(const std::string& path, const Bytes& bytes) {
    FILE* f = fopen(path.c_str(), "wb");
    if (!f) return false;
    bool ok = fwrite(bytes.data(), 1, bytes.size(), f) == bytes.size();
    return fclose(f) == 0 && ok;
}

} // namespace

int main(int argc, char** argv) {
    if (argc < 2 || argc > 3) {
        fprintf(stderr, "usage: wingfx OUTPUT-FOLDER [PREVIEW-FOLDER]\n");
        return 2;
    }
    const std::string out = argv[1], preview = argc == 3 ? argv[2] : "";
    if (!writeFile(out + "/vantorix.ico", makeIco({16, 32, 48}, preview)) ||
        !writeFile(out + "/zr2bmp.bmp", makeAboutBmp(preview))) {
        fprintf(stderr, "wingfx: cannot write into %s\n", out.c_str());
        return 1;
    }
    return 0;
}
