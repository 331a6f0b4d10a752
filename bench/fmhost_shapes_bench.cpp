// fmhost end to end on OBJ files of unusual shape, each at two sizes a doubling apart: many
// one-face objects, many two-triangle objects, one `g` line naming many groups, and a group per
// face. A run that stays linear in the file's size takes about twice as long at the larger size; a
// ratio near 4 means quadratic.
//
//   fmhost_shapes_bench [scale]     (scale multiplies every size; default 1)
//
// Prints per shape and size: the count, fmhost's wall-clock seconds (the whole process: reading,
// building the document, the command, writing), and the ratio to the smaller size.

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <functional>
#include <string>

namespace {

namespace fs = std::filesystem;

// `count` objects of one triangle each, every object with its own three vertices.
void OneFaceObjects(std::ofstream& out, long count) {
  for (long i = 0; i < count; ++i) {
    out << "o part" << i << "\nv " << i << " 0 0\nv " << i << " 1 0\nv " << i + 1 << " 0 0\n"
        << "f -3 -2 -1\n";
  }
}

// `count` objects of one quadrangle split into two triangles, each object with its own four
// vertices: the command merges every object, so each one is also captured for undo.
void TwoTriangleObjects(std::ofstream& out, long count) {
  for (long i = 0; i < count; ++i) {
    out << "o quad" << i << "\nv " << i << " 0 0\nv " << i + 1 << " 0 0\nv " << i + 1
        << " 1 0\nv " << i << " 1 0\nf -4 -3 -2\nf -4 -2 -1\n";
  }
}

// One `g` line naming `count` groups, then one quadrangle split into two triangles.
void ManyNamesOnOneLine(std::ofstream& out, long count) {
  out << "v 0 0 0\nv 1 0 0\nv 1 1 0\nv 0 1 0\ng";
  for (long i = 0; i < count; ++i) out << " name" << i;
  out << "\nf 1 2 3\nf 1 3 4\n";
}

// A strip of `count` / 2 quadrangles split side by side into `count` triangles, each triangle in a
// group of its own.
void GroupPerFace(std::ofstream& out, long count) {
  const long quads = count / 2;
  for (long i = 0; i <= quads; ++i) out << "v " << i << " 0 0\nv " << i << " 1 0\n";
  for (long i = 0; i < quads; ++i) {
    const long a = 2 * i + 1, b = 2 * i + 3, c = 2 * i + 4, d = 2 * i + 2;
    out << "g t" << 2 * i << "\nf " << a << ' ' << b << ' ' << c << "\n";
    out << "g t" << 2 * i + 1 << "\nf " << a << ' ' << c << ' ' << d << "\n";
  }
}

struct Shape {
  const char* name;
  long size;  // the smaller size; the larger is twice it
  std::function<void(std::ofstream&, long)> write;
};

// Seconds of one fmhost run, or a negative value when it failed.
double TimeRun(const fs::path& input, const fs::path& output, const fs::path& log) {
  const std::string command = std::string("\"") + FM_FMHOST + "\" \"" + input.string() +
                              "\" -o \"" + output.string() + "\" > \"" + log.string() + "\" 2>&1";
  const auto start = std::chrono::steady_clock::now();
  const int status = std::system(command.c_str());
  const double seconds =
      std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
  return status == 0 ? seconds : -1.0;
}

}  // namespace

int main(int argc, char** argv) {
  const double scale = argc > 1 ? std::atof(argv[1]) : 1.0;
  if (!(scale > 0)) {
    std::fprintf(stderr, "usage: fmhost_shapes_bench [scale > 0]\n");
    return 2;
  }
  const auto stamp = std::chrono::steady_clock::now().time_since_epoch().count();
  const fs::path dir = fs::temp_directory_path() / ("fmhost_shapes_" + std::to_string(stamp));
  fs::create_directories(dir);
  const Shape shapes[] = {
      {"one-face objects", 100'000, OneFaceObjects},
      {"two-triangle objects", 25'000, TwoTriangleObjects},
      {"names on one g line", 80'000, ManyNamesOnOneLine},
      {"a group per face", 40'000, GroupPerFace},
  };
  std::printf("%-22s %10s %10s %8s\n", "shape", "count", "seconds", "ratio");
  int failures = 0;
  for (const Shape& shape : shapes) {
    double previous = 0.0;
    for (long count : {long(shape.size * scale), long(shape.size * scale) * 2}) {
      const fs::path input = dir / "in.obj";
      {
        std::ofstream out(input);
        shape.write(out, count);
      }
      const double seconds = TimeRun(input, dir / "out.obj", dir / "log.txt");
      if (seconds < 0) {
        std::printf("%-22s %10ld %10s\n", shape.name, count, "failed:");
        std::ifstream log(dir / "log.txt");
        for (std::string line; std::getline(log, line);) std::printf("  %s\n", line.c_str());
        ++failures;
        break;
      }
      if (previous > 0) {
        std::printf("%-22s %10ld %10.2f %8.2f\n", shape.name, count, seconds, seconds / previous);
      } else {
        std::printf("%-22s %10ld %10.2f %8s\n", shape.name, count, seconds, "");
      }
      std::fflush(stdout);
      previous = seconds;
    }
  }
  fs::remove_all(dir);
  return failures == 0 ? 0 : 1;
}
