// The effect's shader pair exactly as first written: the straightforward formulation of the
// algorithm that the tuned sources in effect/AsciiShaders.cpp must reproduce bit for bit. Kept
// verbatim as the reference of the exactness check and as the "before" of the benchmark.
#pragma once

namespace vexbench {

inline const char* const kReferenceVertexSource = R"glsl(#version 410 core
layout(location = 0) in vec4 vPosition;
layout(location = 1) in vec2 vUV;
out vec2 uv;

void main() {
  gl_Position = vPosition;
  uv = vUV;
}
)glsl";

inline const char* const kReferenceFragmentSource = R"glsl(#version 410 core
in vec2 uv;
out vec4 fragColor;

uniform sampler2D InputTexture;
uniform vec2 MaxUV;       // part of the texture the picture covers
uniform vec2 Resolution;  // pixels the grid is laid over (the viewport)
uniform float CharSize;   // 0..1: cells 4 to 32 pixels wide
uniform int ColorMode;    // 0 green, 1 source colour, 2 white, other pink
uniform float EdgeBoost;
uniform float Invert;     // inverts brightness above 0.5
uniform float Blend;      // share of the character picture
uniform float Contrast;   // 0..1: distance from 0.5 scaled by 1 to 4
uniform float HueShift;   // turns

const vec3 kLumaWeights = vec3(0.299, 0.587, 0.114);

// Ten 5x7 glyphs by ink density. Pixel (x, y) is bit y * 5 + x of the 35-bit pattern; bits 0-31
// are in .x and bits 32-34 in .y. Column 0 is the left, row 0 the bottom of a cell.
const uvec2 charBitmaps[10] = uvec2[10](
    uvec2(0x00000000u, 0x0u),  // ' '
    uvec2(0x00000000u, 0x1u),  // '.'
    uvec2(0x08000080u, 0x0u),  // ':'
    uvec2(0x000f8000u, 0x0u),  // '-'
    uvec2(0x01f07c00u, 0x0u),  // '='
    uvec2(0x084f9080u, 0x0u),  // '+'
    uvec2(0x2aefbaa0u, 0x0u),  // '*'
    uvec2(0xbeafabeau, 0x2u),  // '#'
    uvec2(0xd6820b59u, 0x4u),  // '%'
    uvec2(0xa17ade2eu, 0x3u)   // '@'
);

bool getPixel(uvec2 glyph, int x, int y) {
  if (x < 0 || x > 4 || y < 0 || y > 6) return false;
  int bit = y * 5 + x;
  uint word = bit < 32 ? glyph.x : glyph.y;
  return ((word >> uint(bit & 31)) & 1u) != 0u;
}

vec3 hueRotate(vec3 col, float angle) {
  float s = sin(angle * 6.2832);
  float c = cos(angle * 6.2832);
  vec3 red = kLumaWeights + vec3(1.0 - 0.299, -0.587, -0.114) * c
                          + vec3(-0.299, -0.587, 1.0 - 0.114) * s;
  vec3 green = kLumaWeights + vec3(-0.299, 1.0 - 0.587, -0.114) * c
                            + vec3(0.299, 0.0, -0.114) * s;
  vec3 blue = kLumaWeights + vec3(-0.299, -0.587, 1.0 - 0.114) * c
                           + vec3(-0.299, 1.0 - 0.587, 0.587) * s;
  return vec3(dot(col, red), dot(col, green), dot(col, blue));
}

float luma(vec2 at) { return dot(texture(InputTexture, at).rgb, kLumaWeights); }

void main() {
  vec3 inputColor = texture(InputTexture, uv * MaxUV).rgb;

  float cellPx = mix(4.0, 32.0, CharSize);
  vec2 cellSize = vec2(cellPx, cellPx * 1.4);
  vec2 pixelCoord = uv * Resolution;
  vec2 cellIndex = floor(pixelCoord / cellSize);
  vec2 inCell = pixelCoord - cellIndex * cellSize;
  int charX = clamp(int(inCell.x / cellSize.x * 5.0), 0, 4);
  int charY = clamp(int(inCell.y / cellSize.y * 7.0), 0, 6);

  vec2 cellCenter = (cellIndex + 0.5) * cellSize / Resolution * MaxUV;
  vec3 cellColor = texture(InputTexture, cellCenter).rgb;
  vec2 cellStep = cellSize / Resolution * MaxUV;

  float lumC = dot(cellColor, kLumaWeights);
  float lumL = luma(cellCenter - vec2(cellStep.x, 0.0));
  float lumR = luma(cellCenter + vec2(cellStep.x, 0.0));
  float lumU = luma(cellCenter + vec2(0.0, cellStep.y));
  float lumD = luma(cellCenter - vec2(0.0, cellStep.y));
  float edge = abs(lumR - lumL) + abs(lumU - lumD);
  float lum = lumC + edge * EdgeBoost * 2.0;

  lum = clamp((lum - 0.5) * (1.0 + Contrast * 3.0) + 0.5, 0.0, 1.0);
  if (Invert > 0.5) lum = 1.0 - lum;
  int charIdx = clamp(int(lum * 10.0), 0, 9);
  bool lit = getPixel(charBitmaps[charIdx], charX, charY);

  vec3 charColor;
  if (ColorMode == 0) {
    charColor = vec3(0.2, 1.0, 0.1);
  } else if (ColorMode == 1) {
    charColor = cellColor * 1.5;
  } else if (ColorMode == 2) {
    charColor = vec3(0.9, 0.9, 0.9);
  } else {
    charColor = vec3(1.0, 0.0, 0.5);
  }
  if (HueShift > 0.001) charColor = hueRotate(charColor, HueShift);
  vec3 bgColor = charColor * 0.03;

  vec3 ascii = lit ? charColor * lum : bgColor;
  fragColor = vec4(mix(ascii, inputColor, 1.0 - Blend), 1.0);
}
)glsl";

}  // namespace vexbench
