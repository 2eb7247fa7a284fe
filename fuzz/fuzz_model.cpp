// libFuzzer target: the model file reader. Any input is either read into a mesh or refused with
// an XLoadError that names the file and a line; a mesh that comes back keeps the reader's
// promises, and its size is bounded by the input's.
#include "fuzz_check.h"
#include "view3d/xmesh.h"

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <string_view>

using namespace zento;

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::string_view text(reinterpret_cast<const char*>(data), size);
    try {
        const auto mesh = parse_x_mesh(text, "liti8.x");
        if (!mesh) return 0;
        CHECK(mesh->subsets.size() == mesh->materials.size());
        std::size_t triangles = 0;
        for (const auto& subset : mesh->subsets) {
            CHECK(subset.size() % 3 == 0);
            triangles += subset.size() / 3;
        }
        CHECK(triangles > 0 && triangles == mesh->triangle_count());
        CHECK(triangles <= kMaxModelTriangles);
        // Every corner of a face takes at least two bytes of the file ("0,").
        CHECK(triangles <= size / 2);
        for (const XMaterial& m : mesh->materials) {
            CHECK(m.texture.size() < size);
            for (unsigned char c : m.texture)
                CHECK(c >= 0x20 && c != 0x7F);
        }
    } catch (const XLoadError& e) {
        const std::string_view what = e.what();
        CHECK(what.starts_with("\"liti8.x\": "));
        CHECK(what.size() > 12);
    }
    return 0;
}
