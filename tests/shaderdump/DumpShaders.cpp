// Writes the effect's two GLSL sources, exactly as the module holds them, to <dir>/ascii.vert
// and <dir>/ascii.frag, so an offline GLSL validator can check them without a GL context.
#include <cstdio>
#include <string>

#include "effect/AsciiShaders.h"

namespace {

bool WriteText(const std::string& path, const char* text) {
  std::FILE* file = std::fopen(path.c_str(), "wb");
  if (!file) return false;
  const bool written = std::fputs(text, file) >= 0;
  return std::fclose(file) == 0 && written;
}

}  // namespace

int main(int argc, char** argv) {
  if (argc != 2) {
    std::fprintf(stderr, "usage: %s <output directory>\n", argv[0]);
    return 2;
  }
  const std::string directory = argv[1];
  if (!WriteText(directory + "/ascii.vert", vexascii::kVertexShaderSource) ||
      !WriteText(directory + "/ascii.frag", vexascii::kFragmentShaderSource)) {
    std::fprintf(stderr, "cannot write the shader sources into %s\n", argv[1]);
    return 1;
  }
  return 0;
}
