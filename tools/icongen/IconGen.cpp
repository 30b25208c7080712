// Writes the application icon (.ico) from its readable description
// (app-icon.txt): each image is drawn one character per pixel.
//
// Usage: icongen <description> <output.ico>
#include <array>
#include <cstdint>
#include <cstdio>
#include <fstream>
#include <iostream>
#include <map>
#include <sstream>
#include <string>
#include <vector>

namespace {

struct Rgb {
    int red = 0;
    int green = 0;
    int blue = 0;
};

struct Image {
    int width = 0;
    int height = 0;
    int bitsPerPixel = 0;
    std::vector<int> pixels;         // palette index per pixel, top row first
    std::vector<bool> transparent;   // per pixel
};

// The 16 standard colours, in the order of the system palette.
const std::array<Rgb, 16> kStandardColours = {{
    {0, 0, 0}, {128, 0, 0}, {0, 128, 0}, {128, 128, 0}, {0, 0, 128}, {128, 0, 128}, {0, 128, 128},
    {192, 192, 192}, {128, 128, 128}, {255, 0, 0}, {0, 255, 0}, {255, 255, 0}, {0, 0, 255},
    {255, 0, 255}, {0, 255, 255}, {255, 255, 255},
}};

std::vector<Rgb> Palette(int bitsPerPixel) {
    std::vector<Rgb> palette(kStandardColours.begin(), kStandardColours.end());
    if (bitsPerPixel == 8) {
        for (int r = 0; r < 6; ++r)
            for (int g = 0; g < 6; ++g)
                for (int b = 0; b < 6; ++b) palette.push_back({r * 51, g * 51, b * 51});
        for (int i = 0; i < 24; ++i) palette.push_back({8 + 10 * i, 8 + 10 * i, 8 + 10 * i});
    }
    return palette;
}

int PaletteIndex(const std::vector<Rgb>& palette, const Rgb& colour) {
    for (std::size_t i = 0; i < palette.size(); ++i) {
        const Rgb& entry = palette[i];
        if (entry.red == colour.red && entry.green == colour.green && entry.blue == colour.blue)
            return static_cast<int>(i);
    }
    return -1;
}

struct Meaning {
    bool transparent = false;
    Rgb colour;
};

bool Fail(int lineNumber, const std::string& message) {
    std::cerr << "icongen: line " << lineNumber << ": " << message << "\n";
    return false;
}

bool ReadDescription(std::istream& in, std::vector<Image>& images) {
    std::map<char, Meaning> meanings;
    std::string line;
    int lineNumber = 0;
    Image* current = nullptr;
    int rowsRead = 0;
    while (std::getline(in, line)) {
        ++lineNumber;
        if (!line.empty() && line.back() == '\r') line.pop_back();
        if (current && rowsRead < current->height) {
            if (static_cast<int>(line.size()) != current->width)
                return Fail(lineNumber, "row is not " + std::to_string(current->width) + " pixels wide");
            std::vector<Rgb> palette = Palette(current->bitsPerPixel);
            for (char c : line) {
                auto found = meanings.find(c);
                if (found == meanings.end()) return Fail(lineNumber, std::string("no colour for '") + c + "'");
                int index = 0;
                if (!found->second.transparent) {
                    index = PaletteIndex(palette, found->second.colour);
                    if (index < 0) return Fail(lineNumber, std::string("colour of '") + c + "' is not in the palette");
                }
                current->pixels.push_back(index);
                current->transparent.push_back(found->second.transparent);
            }
            ++rowsRead;
            continue;
        }
        if (line.empty() || line[0] == '#') continue;
        std::istringstream words(line);
        std::string keyword;
        words >> keyword;
        if (keyword == "colour") {
            std::string key;
            std::string first;
            words >> key >> first;
            if (key.size() != 1) return Fail(lineNumber, "a colour names one character");
            Meaning meaning;
            if (first == "transparent") {
                meaning.transparent = true;
            } else {
                std::istringstream values(first);
                if (!(values >> meaning.colour.red) || !(words >> meaning.colour.green >> meaning.colour.blue))
                    return Fail(lineNumber, "expected: colour <char> <red> <green> <blue>");
            }
            meanings[key[0]] = meaning;
        } else if (keyword == "image") {
            images.emplace_back();
            current = &images.back();
            rowsRead = 0;
            words >> current->width >> current->height >> current->bitsPerPixel;
            if (!words || current->width <= 0 || current->width > 256 || current->height <= 0 ||
                current->height > 256 || (current->bitsPerPixel != 4 && current->bitsPerPixel != 8))
                return Fail(lineNumber, "expected: image <width> <height> <4 or 8>");
        } else {
            return Fail(lineNumber, "unknown keyword '" + keyword + "'");
        }
    }
    if (current && rowsRead < current->height) return Fail(lineNumber, "image ends early");
    if (images.empty()) return Fail(lineNumber, "no image");
    return true;
}

void PutLe(std::string& out, std::uint32_t value, int bytes) {
    for (int i = 0; i < bytes; ++i) out.push_back(static_cast<char>((value >> (8 * i)) & 0xFF));
}

int RowBytes(int width, int bitsPerPixel) {
    return ((width * bitsPerPixel + 31) / 32) * 4;
}

// A standard icon image: header, palette, colour bitmap, transparency mask,
// both bitmaps bottom row first.
std::string ImageBytes(const Image& image) {
    std::vector<Rgb> palette = Palette(image.bitsPerPixel);
    const int colourRow = RowBytes(image.width, image.bitsPerPixel);
    const int maskRow = RowBytes(image.width, 1);
    std::string out;
    PutLe(out, 40, 4);
    PutLe(out, image.width, 4);
    PutLe(out, image.height * 2, 4);  // colour bitmap and mask together
    PutLe(out, 1, 2);
    PutLe(out, image.bitsPerPixel, 2);
    PutLe(out, 0, 4);  // uncompressed
    PutLe(out, (colourRow + maskRow) * image.height, 4);
    PutLe(out, 0, 4);
    PutLe(out, 0, 4);
    PutLe(out, 0, 4);
    PutLe(out, 0, 4);
    for (const Rgb& colour : palette) {
        out.push_back(static_cast<char>(colour.blue));
        out.push_back(static_cast<char>(colour.green));
        out.push_back(static_cast<char>(colour.red));
        out.push_back(0);
    }
    for (int y = image.height - 1; y >= 0; --y) {
        std::string row(colourRow, '\0');
        for (int x = 0; x < image.width; ++x) {
            int index = image.pixels[y * image.width + x];
            if (image.bitsPerPixel == 8) {
                row[x] = static_cast<char>(index);
            } else {
                row[x / 2] = static_cast<char>(row[x / 2] | (x % 2 == 0 ? index << 4 : index));
            }
        }
        out += row;
    }
    for (int y = image.height - 1; y >= 0; --y) {
        std::string row(maskRow, '\0');
        for (int x = 0; x < image.width; ++x) {
            if (image.transparent[y * image.width + x]) row[x / 8] = static_cast<char>(row[x / 8] | (0x80 >> (x % 8)));
        }
        out += row;
    }
    return out;
}

std::string IconFile(const std::vector<Image>& images) {
    std::vector<std::string> bodies;
    for (const Image& image : images) bodies.push_back(ImageBytes(image));
    std::string out;
    PutLe(out, 0, 2);
    PutLe(out, 1, 2);  // icon
    PutLe(out, static_cast<std::uint32_t>(images.size()), 2);
    std::uint32_t offset = 6 + 16 * static_cast<std::uint32_t>(images.size());
    for (std::size_t i = 0; i < images.size(); ++i) {
        const Image& image = images[i];
        out.push_back(static_cast<char>(image.width == 256 ? 0 : image.width));
        out.push_back(static_cast<char>(image.height == 256 ? 0 : image.height));
        out.push_back(static_cast<char>(image.bitsPerPixel == 4 ? 16 : 0));
        out.push_back(0);
        PutLe(out, 1, 2);
        PutLe(out, image.bitsPerPixel, 2);
        PutLe(out, static_cast<std::uint32_t>(bodies[i].size()), 4);
        PutLe(out, offset, 4);
        offset += static_cast<std::uint32_t>(bodies[i].size());
    }
    for (const std::string& body : bodies) out += body;
    return out;
}

}  // namespace

int main(int argc, char** argv) {
    if (argc != 3) {
        std::cerr << "usage: icongen <description> <output.ico>\n";
        return 2;
    }
    std::ifstream in(argv[1]);
    if (!in) {
        std::cerr << "icongen: cannot read " << argv[1] << "\n";
        return 1;
    }
    std::vector<Image> images;
    if (!ReadDescription(in, images)) return 1;
    std::string bytes = IconFile(images);
    std::ofstream out(argv[2], std::ios::binary | std::ios::trunc);
    out.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
    out.close();
    if (!out) {
        std::cerr << "icongen: cannot write " << argv[2] << "\n";
        return 1;
    }
    return 0;
}
