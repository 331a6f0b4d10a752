// Writes the bundled example meshes into the folder given as the only argument (normally
// examples/ of the source tree):  make_examples examples
#include <cstdio>
#include <fstream>
#include <string>

#include "examples/example_meshes.h"

int main(int argc, char** argv) {
  if (argc != 2) {
    std::fprintf(stderr, "usage: make_examples FOLDER\n");
    return 2;
  }
  for (const fm::examples::ExampleFile& file : fm::examples::BundledExamples()) {
    const std::string path = std::string(argv[1]) + "/" + file.name;
    std::ofstream out(path, std::ios::binary);
    out << file.text;
    out.close();
    if (!out) {
      std::fprintf(stderr, "make_examples: cannot write %s\n", path.c_str());
      return 1;
    }
    std::printf("%s\n", path.c_str());
  }
  return 0;
}
