// Writes Kestrune's icon: a cup with steam, as one icon group of three images
// (32x32 in 2 colours, 32x32 in 16 colours, 16x16 in 16 colours).
//
//   make-icon kestrune.ico
//
// The shapes are drawn in a unit square and sampled at each pixel's centre,
// so every size comes from the same drawing.
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <vector>

namespace {

// Parts of the drawing, from back to front.
enum part { none, saucer, body, rim, handle, steam };

part partAt(double x, double y) {
    const double pi = 3.14159265358979;
    for (const double column : {0.30, 0.43, 0.56}) {
        const double wave = column + 0.045 * std::sin((y - 0.08) * pi / 0.16);
        if (y > 0.06 && y < 0.36 && std::fabs(x - wave) < 0.035) return steam;
    }
    const double hx = x - 0.70, hy = y - 0.60;
    const double ring = std::sqrt(hx * hx + hy * hy);
    if (x > 0.66 && ring < 0.15 && ring > 0.075) return handle;
    if (y > 0.42 && y < 0.48 && x > 0.15 && x < 0.73) return rim;
    if (y >= 0.48 && y < 0.84) {
        const double inset = y > 0.74 ? (y - 0.74) * 0.9 : 0.0;  // rounded bottom
        if (x > 0.18 + inset && x < 0.70 - inset) return body;
    }
    if (y > 0.84 && y < 0.92 && x > 0.08 && x < 0.86) return saucer;
    return none;
}

// Palette indices: black and white for 2 colours, the standard 16-colour
// palette otherwise.
int colourIndex(part p, int colours) {
    if (colours == 2) return 0;
    switch (p) {
        case saucer:
            return 8;  // grey
        case body:
            return 12;  // blue
        case rim:
            return 4;  // navy
        case handle:
            return 4;  // navy
        case steam:
            return 9;  // red
        default:
            return 0;
    }
}

const std::uint8_t palette16[16][3] = {{0, 0, 0},       {128, 0, 0},   {0, 128, 0},   {128, 128, 0},
                                       {0, 0, 128},     {128, 0, 128}, {0, 128, 128}, {192, 192, 192},
                                       {128, 128, 128}, {255, 0, 0},   {0, 255, 0},   {255, 255, 0},
                                       {0, 0, 255},     {255, 0, 255}, {0, 255, 255}, {255, 255, 255}};

void put16(std::vector<std::uint8_t>& out, unsigned v) {
    out.push_back(v & 0xFF);
    out.push_back((v >> 8) & 0xFF);
}
void put32(std::vector<std::uint8_t>& out, unsigned v) {
    put16(out, v & 0xFFFF);
    put16(out, v >> 16);
}

// One image as an icon resource: header, palette, colour bits, mask, with
// rows bottom-up and padded to four bytes.
std::vector<std::uint8_t> image(int size, int bits) {
    const int colours = 1 << bits;
    const int colourRow = ((size * bits + 31) / 32) * 4;
    const int maskRow = ((size + 31) / 32) * 4;
    std::vector<std::uint8_t> out;
    put32(out, 40);
    put32(out, size);
    put32(out, size * 2);
    put16(out, 1);
    put16(out, bits);
    put32(out, 0);
    put32(out, (colourRow + maskRow) * size);
    put32(out, 0);
    put32(out, 0);
    put32(out, colours);
    put32(out, 0);
    for (int i = 0; i < colours; ++i) {
        const std::uint8_t* rgb = colours == 2 ? palette16[i * 15] : palette16[i];
        out.insert(out.end(), {rgb[2], rgb[1], rgb[0], 0});
    }
    std::vector<std::uint8_t> colourBits(colourRow * size), mask(maskRow * size);
    for (int row = 0; row < size; ++row) {
        const int y = size - 1 - row;
        for (int x = 0; x < size; ++x) {
            const part p = partAt((x + 0.5) / size, (y + 0.5) / size);
            if (p == none) {
                mask[row * maskRow + x / 8] |= 0x80 >> (x % 8);
                continue;
            }
            const int index = colourIndex(p, colours);
            const int bit = x * bits;
            colourBits[row * colourRow + bit / 8] |= index << (8 - bits - bit % 8);
        }
    }
    out.insert(out.end(), colourBits.begin(), colourBits.end());
    out.insert(out.end(), mask.begin(), mask.end());
    return out;
}

}  // namespace

int main(int argc, char** argv) {
    if (argc != 2) {
        std::fprintf(stderr, "usage: make-icon FILE.ico\n");
        return 2;
    }
    struct format {
        int size, bits;
    };
    const format formats[] = {{32, 1}, {32, 4}, {16, 4}};
    std::vector<std::vector<std::uint8_t>> images;
    for (const auto& f : formats) images.push_back(image(f.size, f.bits));

    std::vector<std::uint8_t> out;
    put16(out, 0);
    put16(out, 1);
    put16(out, 3);
    unsigned offset = 6 + 16 * 3;
    for (std::size_t i = 0; i < images.size(); ++i) {
        out.push_back(static_cast<std::uint8_t>(formats[i].size));  // width
        out.push_back(static_cast<std::uint8_t>(formats[i].size));  // height
        out.push_back(static_cast<std::uint8_t>(formats[i].bits == 1 ? 2 : 16));
        out.push_back(0);
        put16(out, 1);
        put16(out, formats[i].bits);
        put32(out, static_cast<unsigned>(images[i].size()));
        put32(out, offset);
        offset += static_cast<unsigned>(images[i].size());
    }
    for (const auto& img : images) out.insert(out.end(), img.begin(), img.end());

    std::FILE* file = std::fopen(argv[1], "wb");
    if (file == nullptr || std::fwrite(out.data(), 1, out.size(), file) != out.size() || std::fclose(file) != 0) {
        std::perror(argv[1]);
        return 1;
    }
    return 0;
}
