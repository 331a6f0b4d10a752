// Writes a triangulated torus as another tool would export it, for fmhost's benchmark:
//
//   make_torus_obj SEGMENTS SIDES OUT.obj
//
// SEGMENTS × SIDES quads, each split into (a,b,c) and (a,c,d) side by side, so 2 × SEGMENTS × SIDES
// triangles; texture coordinates per corner (a grid one longer each way, with a seam); the faces in
// two groups, the outer and the inner half of the tube, switching along every ring.

#include <charconv>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <string>

namespace {

class Out {
 public:
  explicit Out(FILE* file) : file_(file) { buffer_.reserve(kBlock + 256); }
  ~Out() { Flush(); }
  void Text(const char* text) { buffer_ += text; Check(); }
  void Real(double value) {
    char digits[32];
    const auto result = std::to_chars(digits, digits + sizeof digits, value,
                                      std::chars_format::fixed, 6);
    buffer_.append(digits, result.ptr);
  }
  void Integer(long long value) {
    char digits[24];
    const auto result = std::to_chars(digits, digits + sizeof digits, value);
    buffer_.append(digits, result.ptr);
  }
  void Char(char c) { buffer_ += c; Check(); }
  bool Flush() {
    const bool ok = std::fwrite(buffer_.data(), 1, buffer_.size(), file_) == buffer_.size();
    buffer_.clear();
    return ok;
  }

 private:
  static constexpr size_t kBlock = size_t{1} << 22;
  void Check() {
    if (buffer_.size() >= kBlock) Flush();
  }
  FILE* file_;
  std::string buffer_;
};

}  // namespace

int main(int argc, char** argv) {
  if (argc != 4) {
    std::fprintf(stderr, "usage: make_torus_obj SEGMENTS SIDES OUT.obj\n");
    return 2;
  }
  const long long segments = std::atoll(argv[1]), sides = std::atoll(argv[2]);
  if (segments < 3 || sides < 4) {
    std::fprintf(stderr, "make_torus_obj: at least 3 segments and 4 sides\n");
    return 2;
  }
  FILE* file = std::fopen(argv[3], "wb");
  if (file == nullptr) {
    std::fprintf(stderr, "make_torus_obj: cannot write %s\n", argv[3]);
    return 1;
  }
  constexpr double kPi = 3.14159265358979323846;
  {
    Out out(file);
    out.Text("# torus: ");
    out.Integer(segments * sides * 2);
    out.Text(" triangles\n");
    for (long long s = 0; s < segments; ++s) {
      const double u = 2.0 * kPi * double(s) / double(segments);
      for (long long t = 0; t < sides; ++t) {
        const double v = 2.0 * kPi * double(t) / double(sides);
        const double r = 2.0 + 0.75 * std::cos(v);
        out.Text("v ");
        out.Real(r * std::cos(u));
        out.Char(' ');
        out.Real(r * std::sin(u));
        out.Char(' ');
        out.Real(0.75 * std::sin(v));
        out.Char('\n');
      }
    }
    for (long long s = 0; s <= segments; ++s) {
      for (long long t = 0; t <= sides; ++t) {
        out.Text("vt ");
        out.Real(double(s) / double(segments));
        out.Char(' ');
        out.Real(double(t) / double(sides));
        out.Char('\n');
      }
    }
    out.Text("o torus\n");
    const auto point = [&](long long s, long long t) { return (s % segments) * sides + (t % sides) + 1; };
    const auto uv = [&](long long s, long long t) { return s * (sides + 1) + t + 1; };
    int group = -1;
    for (long long s = 0; s < segments; ++s) {
      for (long long t = 0; t < sides; ++t) {
        const int wanted = (t < sides / 4 || t >= sides - sides / 4) ? 0 : 1;
        if (wanted != group) {
          group = wanted;
          out.Text(group == 0 ? "g outer\n" : "g inner\n");
        }
        const long long p[4] = {point(s, t), point(s + 1, t), point(s + 1, t + 1), point(s, t + 1)};
        const long long q[4] = {uv(s, t), uv(s + 1, t), uv(s + 1, t + 1), uv(s, t + 1)};
        const int triangles[2][3] = {{0, 1, 2}, {0, 2, 3}};
        for (const auto& triangle : triangles) {
          out.Char('f');
          for (int k : triangle) {
            out.Char(' ');
            out.Integer(p[k]);
            out.Char('/');
            out.Integer(q[k]);
          }
          out.Char('\n');
        }
      }
    }
    if (!out.Flush()) {
      std::fprintf(stderr, "make_torus_obj: cannot write %s\n", argv[3]);
      return 1;
    }
  }
  return std::fclose(file) == 0 ? 0 : 1;
}
