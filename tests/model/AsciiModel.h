// A CPU model of the character-grid fragment stage, written from the rendering rules and not
// from the GLSL text, so the pixel tests compare the GPU against an independent computation.
// It samples as a GL_NEAREST + CLAMP_TO_EDGE texture does and marks the fragments whose result
// hangs on a float landing within a hair of a cell, glyph-pixel, texel or level boundary.
#pragma once

#include <cstdint>
#include <vector>

namespace asciimodel {

// The input texture as the GPU sees it: hardwareWidth x hardwareHeight RGBA texels in 0..1,
// row 0 at the bottom; the picture covers the lower-left width x height corner.
struct Picture {
  std::uint32_t width = 0, height = 0;
  std::uint32_t hardwareWidth = 0, hardwareHeight = 0;
  std::vector<float> rgba;  // hardwareWidth * hardwareHeight * 4
};

// The uniform values as the shader receives them (colorMode already an integer).
struct Uniforms {
  float charSize = 0.3f;
  std::int32_t colorMode = 0;
  float edgeBoost = 0.3f;
  float invert = 0.0f;
  float blend = 1.0f;
  float contrast = 0.3f;
  float hueShift = 0.0f;
};

struct Fragment {
  float rgb[3];
  int level;        // density level 0-9 of the fragment's cell
  int column, row;  // glyph pixel within the cell
  bool lit;
  bool nearBoundary;  // a float a hair away from a decision boundary
};

// The fragment at pixel (x, y) of a viewport of hardwareWidth x hardwareHeight.
Fragment Shade(const Picture& picture, const Uniforms& uniforms, std::uint32_t x, std::uint32_t y);

// Whether pixel (column, row) of a glyph of the given density level is lit.
bool GlyphPixel(int level, int column, int row);

}  // namespace asciimodel
