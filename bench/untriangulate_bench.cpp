// Time and memory of one command run on triangulated grids from thousands to tens of millions of
// triangles, through the real module file and host tables.
//
//   untriangulate_bench [max-triangles] [--uvw]
//
// Prints one line per size: triangles, seconds of the command, nanoseconds per triangle, and the
// ratio of that figure to the smallest size's (a ratio near 1 means the run stays linear).

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

#include "host/loader/module_host.h"
#include "host/scene/tags.h"
#include "host/tables/environment.h"

namespace {

using namespace fm::host;

// A w x h grid of quads, each split into (a,b,c) and (a,c,d) side by side.
void FillGrid(PolygonObject& object, int w, int h, bool uvw) {
  auto at = [w](int i, int j) { return j * (w + 1) + i; };
  object.Points().resize(size_t(w + 1) * (h + 1));
  object.Polygons().reserve(size_t(2) * w * h);
  for (int j = 0; j < h; ++j) {
    for (int i = 0; i < w; ++i) {
      const int a = at(i, j), b = at(i + 1, j), c = at(i + 1, j + 1), d = at(i, j + 1);
      object.Polygons().push_back({a, b, c, c});
      object.Polygons().push_back({a, c, d, d});
    }
  }
  if (uvw) object.AddUvwTag();
}

}  // namespace

int main(int argc, char** argv) {
  long long maxTriangles = 20'000'000;
  bool uvw = false;
  for (int i = 1; i < argc; ++i) {
    if (std::strcmp(argv[i], "--uvw") == 0) uvw = true;
    else maxTriangles = std::atoll(argv[i]);
  }
  std::printf("%12s %10s %10s %8s\n", "triangles", "seconds", "ns/tri", "ratio");
  double baseline = 0.0;
  for (long long triangles = 2'000; triangles <= maxTriangles; triangles *= 10) {
    Environment environment;
    environment.SetDiagnosticEcho(false);
    ModuleHost host(environment);
    if (!host.LoadFolder(FM_PLUGIN_DIR)) {
      std::fprintf(stderr, "cannot load the plug-in folder %s\n", FM_PLUGIN_DIR);
      return 1;
    }
    const int w = 1000 < triangles / 2 ? 1000 : int(triangles / 2);
    const int h = int(triangles / 2 / w);
    PolygonObject& object = environment.ActiveDocument().AddPolygonObject("Grid");
    FillGrid(object, w, h, uvw);
    object.SetSelected(true);
    const auto start = std::chrono::steady_clock::now();
    host.Execute(1050896, &environment.ActiveDocument());
    const double seconds =
        std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
    const double perTriangle = seconds * 1e9 / double(2LL * w * h);
    if (baseline == 0.0) baseline = perTriangle;
    std::printf("%12lld %10.4f %10.2f %8.2f\n", 2LL * w * h, seconds, perTriangle,
                perTriangle / baseline);
    if (object.PolygonCount() != w * h) {
      std::fprintf(stderr, "unexpected result: %d polygons\n", object.PolygonCount());
      return 1;
    }
  }
  return 0;
}
