// map_picture: a map's picture from above, drawn from its box's sources.
//
//   map_picture <MapData.box folder> <picture.ppm>
//
// The build turns the picture into the box's "radar.bik" (tools/lib/MapPicture.h).
#include <cstdio>
#include <fstream>
#include <string>

#include "tools/lib/MapPicture.h"

int main(int argc, char** argv) {
    if (argc != 3) {
        std::fprintf(stderr, "usage: map_picture <MapData.box folder> <picture.ppm>\n");
        return 2;
    }
    SMapPicture picture;
    std::string error;
    if (!MapPicture_Render(argv[1], picture, error)) {
        std::fprintf(stderr, "map_picture: %s\n", error.c_str());
        return 1;
    }
    const std::vector<uint8_t> bytes = MapPicture_PPM(picture);
    std::ofstream out(argv[2], std::ios::binary);
    out.write(reinterpret_cast<const char*>(bytes.data()), std::streamsize(bytes.size()));
    if (!out) {
        std::fprintf(stderr, "map_picture: cannot write %s\n", argv[2]);
        return 1;
    }
    return 0;
}
