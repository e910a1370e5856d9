// skinconv: turns a rendered picture into one of the image formats the editor's
// resources use. It runs on the build machine while the DLL's resources are made:
// rsvg-convert renders an SVG source to PNG, ImageMagick turns the PNG into raw
// 8-bit RGBA (rows top first), and this program writes the resource file.
//
//   skinconv bmp24 W H in.rgba out.bmp          24-bit BMP; transparent pixels become magenta
//   skinconv raw   W H in.rgba out.raw          headerless R,G,B,T pixels, T = 255 - alpha
//   skinconv bmp4  W H in.rgba out.bmp          4-bit BMP in the 16 standard colours, magenta as key
//   skinconv cur   W H in.rgba out.cur HX HY    monochrome cursor with hot spot (HX, HY)
//   skinconv ico   out.ico S1 in1.rgba [S2 in2.rgba ...]   icon with square images S x S,
//                                                          24-bit colour and an AND mask
#include <cstdlib>
#include <fstream>
#include <iostream>
#include <iterator>
#include <string>
#include <vector>

#include "SkinFormats.h"

namespace {

using namespace qz::skin;

[[noreturn]] void Fail(const std::string& message)
{
    std::cerr << "skinconv: " << message << "\n";
    std::exit(1);
}

Picture ReadRgba(const std::string& path, int width, int height)
{
    std::ifstream in(path, std::ios::binary);
    if (!in)
        Fail("cannot read " + path);
    const Bytes data((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    Picture picture;
    const std::string problem = PictureFromRgba(data, width, height, picture);
    if (!problem.empty())
        Fail(path + ": " + problem);
    return picture;
}

void WriteFile(const std::string& path, const Bytes& data)
{
    std::ofstream out(path, std::ios::binary);
    out.write(reinterpret_cast<const char*>(data.data()), std::streamsize(data.size()));
    if (!out)
        Fail("cannot write " + path);
}

// A side or a hot-spot coordinate from 0 to `largest`.
int Number(const char* text, int largest)
{
    char* end = nullptr;
    const long value = std::strtol(text, &end, 10);
    if (*text == '\0' || *end != '\0' || value < 0 || value > largest)
        Fail(std::string("not a number from 0 to ") + std::to_string(largest) + ": " + text);
    return int(value);
}

void Usage()
{
    Fail("usage: skinconv bmp24|raw|bmp4 W H in.rgba out | skinconv cur W H in.rgba out.cur HX HY | "
         "skinconv ico out.ico S in.rgba [S in.rgba ...]");
}

} // namespace

int main(int argc, char** argv)
{
    if (argc < 2)
        Usage();
    const std::string mode = argv[1];
    if (mode == "ico") {
        if (argc < 5 || (argc - 3) % 2 != 0)
            Usage();
        std::vector<Picture> pictures;
        for (int i = 3; i < argc; i += 2) {
            const int size = Number(argv[i], kMaxIconSide);
            pictures.push_back(ReadRgba(argv[i + 1], size, size));
        }
        WriteFile(argv[2], IconFile(pictures, false, 0, 0));
        return 0;
    }
    if (argc < 6)
        Usage();
    const bool cursor = mode == "cur";
    const int largest = cursor ? kMaxIconSide : kMaxSide;
    const Picture picture = ReadRgba(argv[4], Number(argv[2], largest), Number(argv[3], largest));
    const std::string out = argv[5];
    if (mode == "bmp24" && argc == 6)
        WriteFile(out, Bmp24(picture));
    else if (mode == "raw" && argc == 6)
        WriteFile(out, Raw(picture));
    else if (mode == "bmp4" && argc == 6)
        WriteFile(out, Bmp4(picture));
    else if (cursor && argc == 8)
        WriteFile(out, IconFile({picture}, true, Number(argv[6], picture.width - 1), Number(argv[7], picture.height - 1)));
    else
        Usage();
    return 0;
}
