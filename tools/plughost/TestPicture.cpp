// The built-in test picture. Laid out in bands so that, whatever a plugin does with brightness,
// colour or edges, each of those has somewhere to show: a grey ramp and grey steps (every
// brightness), a colour field with hard-edged shapes, a zone plate and line gratings (fine
// detail), and large flat areas.
#include <algorithm>
#include <cmath>

#include "tools/plughost/Picture.h"

namespace plughost {

namespace {

struct Colour {
  float r, g, b;
};

constexpr float kPi = 3.14159265f;
constexpr int kGreySteps = 10;

// Band limits, as fractions of the height (0 at the top).
constexpr float kRampBottom = 0.12f;
constexpr float kStepsBottom = 0.22f;
constexpr float kMiddleBottom = 0.86f;
constexpr float kZonePlateBottom = 0.54f;

Colour Grey(float v) {
  return {v, v, v};
}

Colour Hsv(float hue, float saturation, float value) {
  const float h = (hue - std::floor(hue)) * 6.0f;
  const int sector = static_cast<int>(h) % 6;
  const float f = h - std::floor(h);
  const float p = value * (1.0f - saturation);
  const float q = value * (1.0f - saturation * f);
  const float t = value * (1.0f - saturation * (1.0f - f));
  switch (sector) {
    case 0:
      return {value, t, p};
    case 1:
      return {q, value, p};
    case 2:
      return {p, value, t};
    case 3:
      return {p, q, value};
    case 4:
      return {t, p, value};
    default:
      return {value, p, q};
  }
}

// The colour field of the middle left, with its shapes. (px, py) are pixel centres; `unit` is
// the smaller picture side, so that circles stay round.
Colour ColourField(float x, float y, float px, float py, float width, float height, float unit) {
  const float across = x / 0.5f;
  const float down = (y - kStepsBottom) / (kMiddleBottom - kStepsBottom);
  Colour colour = Hsv(across, 0.85f, 1.0f - 0.75f * down);

  const float circleX = 0.13f * width, circleY = 0.40f * height;
  const float dx = px - circleX, dy = py - circleY;
  if (dx * dx + dy * dy < (0.11f * unit) * (0.11f * unit)) colour = Grey(1.0f);

  if (x > 0.26f && x < 0.42f && y > 0.30f && y < 0.50f) colour = Grey(0.0f);

  // An upward triangle with its apex at (0.20, 0.55) and base at y = 0.80.
  const float apexX = 0.20f, apexY = 0.55f, baseY = 0.80f, halfBase = 0.10f;
  if (y > apexY && y < baseY) {
    const float spread = halfBase * (y - apexY) / (baseY - apexY);
    if (std::fabs(x - apexX) < spread) colour = {1.0f, 0.9f, 0.1f};
  }

  const float ringX = 0.38f * width, ringY = 0.68f * height;
  const float ring = std::hypot(px - ringX, py - ringY) / unit;
  if (ring > 0.07f && ring < 0.10f) colour = {0.1f, 0.2f, 1.0f};
  return colour;
}

Colour ZonePlate(float px, float py, float width, float height) {
  const float centreX = 0.75f * width;
  const float centreY = 0.5f * (kStepsBottom + kZonePlateBottom) * height;
  const float extent = 0.25f * width;
  const float dx = (px - centreX) / extent, dy = (py - centreY) / extent;
  // The phase grows with r squared, so the rings get finer outwards, down to about 2 pixels.
  const float frequency = kPi * extent * 0.5f;
  return Grey(0.5f + 0.5f * std::cos(frequency * (dx * dx + dy * dy)));
}

Colour Gratings(float x, float y, int px, int py) {
  const float row = (y - kZonePlateBottom) / (kMiddleBottom - kZonePlateBottom);
  (void)x;
  if (row < 0.25f) return Grey(px % 2 ? 1.0f : 0.0f);        // 1-pixel vertical lines
  if (row < 0.50f) return Grey((px / 2) % 2 ? 1.0f : 0.0f);  // 2-pixel vertical lines
  if (row < 0.75f) return Grey(py % 2 ? 1.0f : 0.0f);        // 1-pixel horizontal lines
  return Grey(((px / 3) + (py / 3)) % 2 ? 0.85f : 0.15f);    // 3-pixel checkerboard
}

Colour FlatPanel(float x, float y) {
  if (x > 0.84f && x < 0.92f && y > 0.64f && y < 0.78f) return Grey(1.0f);
  return Grey(0.5f);
}

Colour BottomBand(float x) {
  if (x < 1.0f / 3.0f) return Grey(0.0f);
  if (x < 2.0f / 3.0f) return Grey(1.0f);
  static const Colour kBars[] = {{1, 0, 0}, {0, 1, 0}, {0, 0, 1}, {0, 1, 1}, {1, 0, 1}, {1, 1, 0}};
  const int bar = std::min(5, static_cast<int>((x - 2.0f / 3.0f) * 3.0f * 6.0f));
  return kBars[bar];
}

std::uint8_t Byte(float v) {
  return static_cast<std::uint8_t>(std::lround(std::clamp(v, 0.0f, 1.0f) * 255.0f));
}

}  // namespace

Picture MakeTestPicture(std::uint32_t width, std::uint32_t height) {
  Picture picture;
  picture.width = width;
  picture.height = height;
  picture.rgba.resize(static_cast<std::size_t>(width) * height * 4);
  const float w = static_cast<float>(width), h = static_cast<float>(height);
  const float unit = std::min(w, h);
  std::uint8_t* out = picture.rgba.data();
  for (std::uint32_t py = 0; py < height; ++py) {
    for (std::uint32_t px = 0; px < width; ++px) {
      const float cx = static_cast<float>(px) + 0.5f, cy = static_cast<float>(py) + 0.5f;
      const float x = cx / w, y = cy / h;
      Colour colour;
      if (y < kRampBottom) {
        colour = Grey(x);
      } else if (y < kStepsBottom) {
        const int step = std::min(kGreySteps - 1, static_cast<int>(x * kGreySteps));
        colour = Grey(static_cast<float>(step) / (kGreySteps - 1));
      } else if (y < kMiddleBottom) {
        if (x < 0.5f) {
          colour = ColourField(x, y, cx, cy, w, h, unit);
        } else if (y < kZonePlateBottom) {
          colour = ZonePlate(cx, cy, w, h);
        } else if (x < 0.75f) {
          colour = Gratings(x, y, static_cast<int>(px), static_cast<int>(py));
        } else {
          colour = FlatPanel(x, y);
        }
      } else {
        colour = BottomBand(x);
      }
      *out++ = Byte(colour.r);
      *out++ = Byte(colour.g);
      *out++ = Byte(colour.b);
      *out++ = 255;
    }
  }
  return picture;
}

}  // namespace plughost
