#include "tests/model/AsciiModel.h"

#include <algorithm>
#include <climits>
#include <cmath>

namespace asciimodel {

namespace {

// How close (in units of the quantity being floored or truncated) a float may come to a
// boundary before the GPU's own rounding could put it on the other side.
constexpr float kBoundaryHair = 1e-3f;

constexpr float kLuma[3] = {0.299f, 0.587f, 0.114f};

// The ten glyphs by density level; per glyph the row values of rows 0 (lowest) to 6, in which
// bit c is column c (column 0 leftmost).
constexpr std::uint8_t kGlyphRows[10][7] = {
    {0, 0, 0, 0, 0, 0, 0},         // space
    {0, 0, 0, 0, 0, 0, 4},         // .
    {0, 4, 0, 0, 0, 4, 0},         // :
    {0, 0, 0, 31, 0, 0, 0},        // -
    {0, 0, 31, 0, 31, 0, 0},       // =
    {0, 4, 4, 31, 4, 4, 0},        // +
    {0, 21, 14, 31, 14, 21, 0},    // *
    {10, 31, 10, 31, 10, 31, 10},  // #
    {25, 26, 2, 4, 8, 11, 19},     // %
    {14, 17, 23, 21, 23, 16, 14},  // @
};

struct Tracker {
  bool near = false;

  // floor(value) clamped to lo..hi. *other is what a nudge by the hair either way gives
  // instead (the answer itself when no nudge changes it).
  static int FloorClamp(float value, int lo, int hi, int* other) {
    auto at = [&](float v) {
      const double f = std::floor(static_cast<double>(v));
      return static_cast<int>(std::clamp(f, static_cast<double>(lo), static_cast<double>(hi)));
    };
    const int result = at(value);
    *other = result;
    if (at(value - kBoundaryHair) != result) *other = at(value - kBoundaryHair);
    if (at(value + kBoundaryHair) != result) *other = at(value + kBoundaryHair);
    return result;
  }

  // floor(value) clamped to lo..hi; notes when a nudge by the hair would change the answer.
  int FloorClamp(float value, int lo, int hi) {
    int other = 0;
    const int result = FloorClamp(value, lo, hi, &other);
    if (other != result) near = true;
    return result;
  }

  // int(value) (toward zero) clamped to lo..hi, with the same note.
  int TruncClamp(float value, int lo, int hi) {
    auto at = [&](float v) {
      const double t = std::trunc(static_cast<double>(v));
      return static_cast<int>(std::clamp(t, static_cast<double>(lo), static_cast<double>(hi)));
    };
    const int result = at(value);
    if (at(value - kBoundaryHair) != result || at(value + kBoundaryHair) != result) near = true;
    return result;
  }
};

struct Rgb {
  float c[3];
};

// GL_NEAREST with CLAMP_TO_EDGE: texel floor(coordinate * size), clamped into the texture. A
// coordinate a hair from a texel edge counts as near a boundary only when the texel across the
// edge holds another colour.
Rgb Sample(const Picture& picture, float u, float v, Tracker* tracker) {
  const int width = static_cast<int>(picture.hardwareWidth);
  const int height = static_cast<int>(picture.hardwareHeight);
  int otherI = 0, otherJ = 0;
  const int i = Tracker::FloorClamp(u * static_cast<float>(width), 0, width - 1, &otherI);
  const int j = Tracker::FloorClamp(v * static_cast<float>(height), 0, height - 1, &otherJ);
  auto texel = [&](int x, int y) {
    return &picture.rgba[(static_cast<std::size_t>(y) * width + x) * 4];
  };
  const float* chosen = texel(i, j);
  for (const float* other : {texel(otherI, j), texel(i, otherJ), texel(otherI, otherJ)}) {
    if (!std::equal(chosen, chosen + 3, other)) tracker->near = true;
  }
  return {{chosen[0], chosen[1], chosen[2]}};
}

float Luma(const Rgb& color) {
  return color.c[0] * kLuma[0] + color.c[1] * kLuma[1] + color.c[2] * kLuma[2];
}

Rgb HueRotate(const Rgb& color, float turns) {
  const float s = std::sin(turns * 6.2832f);
  const float c = std::cos(turns * 6.2832f);
  const float a[3][3] = {{1.0f - 0.299f, -0.587f, -0.114f},
                         {-0.299f, 1.0f - 0.587f, -0.114f},
                         {-0.299f, -0.587f, 1.0f - 0.114f}};
  const float b[3][3] = {
      {-0.299f, -0.587f, 1.0f - 0.114f}, {0.299f, 0.0f, -0.114f}, {-0.299f, 1.0f - 0.587f, 0.587f}};
  Rgb out{};
  for (int channel = 0; channel < 3; ++channel) {
    float sum = 0.0f;
    for (int k = 0; k < 3; ++k) {
      sum += color.c[k] * (kLuma[k] + a[channel][k] * c + b[channel][k] * s);
    }
    out.c[channel] = sum;
  }
  return out;
}

Rgb CharacterColor(std::int32_t mode, const Rgb& cellColor) {
  switch (mode) {
    case 0:
      return {{0.2f, 1.0f, 0.1f}};
    case 1:
      return {{cellColor.c[0] * 1.5f, cellColor.c[1] * 1.5f, cellColor.c[2] * 1.5f}};
    case 2:
      return {{0.9f, 0.9f, 0.9f}};
    default:
      return {{1.0f, 0.0f, 0.5f}};
  }
}

}  // namespace

bool GlyphPixel(int level, int column, int row) {
  if (level < 0 || level > 9 || column < 0 || column > 4 || row < 0 || row > 6) return false;
  return (kGlyphRows[level][row] >> column) & 1;
}

Fragment Shade(const Picture& picture, const Uniforms& uniforms, std::uint32_t x, std::uint32_t y) {
  Tracker tracker;
  const float resolutionX = static_cast<float>(picture.hardwareWidth);
  const float resolutionY = static_cast<float>(picture.hardwareHeight);
  const float maxU = static_cast<float>(picture.width) / resolutionX;
  const float maxV = static_cast<float>(picture.height) / resolutionY;
  // The quad's interpolated texture coordinate at the pixel's centre.
  const float u = (static_cast<float>(x) + 0.5f) / resolutionX;
  const float v = (static_cast<float>(y) + 0.5f) / resolutionY;

  const Rgb input = Sample(picture, u * maxU, v * maxV, &tracker);

  const float cellWidth = 4.0f * (1.0f - uniforms.charSize) + 32.0f * uniforms.charSize;
  const float cellHeight = cellWidth * 1.4f;
  const float pixelX = u * resolutionX;
  const float pixelY = v * resolutionY;
  const float cellX = static_cast<float>(tracker.FloorClamp(pixelX / cellWidth, INT_MIN, INT_MAX));
  const float cellY = static_cast<float>(tracker.FloorClamp(pixelY / cellHeight, INT_MIN, INT_MAX));
  const float inCellX = pixelX - cellX * cellWidth;
  const float inCellY = pixelY - cellY * cellHeight;
  const int column = tracker.TruncClamp(inCellX / cellWidth * 5.0f, 0, 4);
  const int row = tracker.TruncClamp(inCellY / cellHeight * 7.0f, 0, 6);

  const float centreU = (cellX + 0.5f) * cellWidth / resolutionX * maxU;
  const float centreV = (cellY + 0.5f) * cellHeight / resolutionY * maxV;
  const float stepU = cellWidth / resolutionX * maxU;
  const float stepV = cellHeight / resolutionY * maxV;
  const Rgb cellColor = Sample(picture, centreU, centreV, &tracker);
  const float lumC = Luma(cellColor);
  const float lumL = Luma(Sample(picture, centreU - stepU, centreV, &tracker));
  const float lumR = Luma(Sample(picture, centreU + stepU, centreV, &tracker));
  const float lumU = Luma(Sample(picture, centreU, centreV + stepV, &tracker));
  const float lumD = Luma(Sample(picture, centreU, centreV - stepV, &tracker));
  const float edge = std::fabs(lumR - lumL) + std::fabs(lumU - lumD);
  float lum = lumC + edge * uniforms.edgeBoost * 2.0f;
  lum = std::clamp((lum - 0.5f) * (1.0f + uniforms.contrast * 3.0f) + 0.5f, 0.0f, 1.0f);
  if (uniforms.invert > 0.5f) lum = 1.0f - lum;
  const int level = tracker.TruncClamp(lum * 10.0f, 0, 9);
  const bool lit = GlyphPixel(level, column, row);

  Rgb charColor = CharacterColor(uniforms.colorMode, cellColor);
  if (uniforms.hueShift > 0.001f) charColor = HueRotate(charColor, uniforms.hueShift);

  Fragment fragment{};
  for (int channel = 0; channel < 3; ++channel) {
    const float ascii = lit ? charColor.c[channel] * lum : charColor.c[channel] * 0.03f;
    fragment.rgb[channel] = ascii * uniforms.blend + input.c[channel] * (1.0f - uniforms.blend);
  }
  fragment.level = level;
  fragment.column = column;
  fragment.row = row;
  fragment.lit = lit;
  fragment.nearBoundary = tracker.near;
  return fragment;
}

}  // namespace asciimodel
