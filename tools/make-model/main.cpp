// zento-make-model <folder>: writes the 3D window's board model (liti8.x) and its texture
// (board.bmp) into <folder>, the program's folder.
#include "make-model/board_mesh.h"

#include <cstdio>
#include <string>

int main(int argc, char** argv) {
    using namespace zento::model;
    if (argc != 2) {
        std::fprintf(stderr, "usage: zento-make-model <folder>\n");
        return 2;
    }
    const std::string dir = argv[1];
    const auto bmp = write_bmp(board_texture());
    std::string reason;
    if (!write_file(dir + "/" + kBoardTexture, std::string(bmp.begin(), bmp.end()), reason) ||
        !write_file(dir + "/" + kModelFile, write_x(board_mesh()), reason)) {
        std::fprintf(stderr, "zento-make-model: %s\n", reason.c_str());
        return 1;
    }
    return 0;
}
