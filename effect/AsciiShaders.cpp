#include "effect/AsciiShaders.h"

// How the work is split, and why. Every value that is the same for the whole frame is derived
// once per vertex and handed to the fragment stage as a flat input: on software renderers a
// uniform read in the fragment stage costs a bounds-checked load per use and a per-frame sine
// and cosine cost a polynomial per pixel, while a flat input is one broadcast. The fragment
// stage keeps exactly the per-pixel arithmetic of the straightforward formulation (cell,
// glyph pixel, six reads at the same coordinates, brightness, glyph, colour, mix), written so
// that it rounds the same way: nothing is reassociated, and a per-frame value is only hoisted
// where the per-pixel formula used it as a finished operand. bench/shader_exactness renders a
// range of pictures and settings through this pair and through the straightforward one kept in
// bench/ReferenceShader.h and requires the same bits.

namespace vexascii {

const char* const kVertexShaderSource = R"glsl(#version 410 core
layout(location = 0) in vec4 vPosition;
layout(location = 1) in vec2 vUV;
out vec2 uv;

// Per-frame values, identical at all six vertices.
flat out vec4 frame;     // xy MaxUV, zw Resolution
flat out vec4 cell;      // xy cell size in pixels, zw cell size / Resolution
flat out vec4 tone;      // contrast gain, EdgeBoost, Invert, 1 - Blend
flat out vec4 hueRed;    // xyz red row of the hue rotation, w red of the fixed glyph colour
flat out vec4 hueGreen;  // the same for green
flat out vec4 hueBlue;   // the same for blue
flat out ivec2 modes;    // x: colour taken from the cell (mode 1); y: hue rotation on

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

void main() {
  gl_Position = vPosition;
  uv = vUV;

  float cellPx = mix(4.0, 32.0, CharSize);
  vec2 cellSize = vec2(cellPx, cellPx * 1.4);
  frame = vec4(MaxUV, Resolution);
  cell = vec4(cellSize, cellSize / Resolution);
  tone = vec4(1.0 + Contrast * 3.0, EdgeBoost, Invert, 1.0 - Blend);

  // Rotation about the luminance axis by HueShift turns; row i gives output channel i.
  float s = sin(HueShift * 6.2832);
  float c = cos(HueShift * 6.2832);
  vec3 red = kLumaWeights + vec3(1.0 - 0.299, -0.587, -0.114) * c
                          + vec3(-0.299, -0.587, 1.0 - 0.114) * s;
  vec3 green = kLumaWeights + vec3(-0.299, 1.0 - 0.587, -0.114) * c
                            + vec3(0.299, 0.0, -0.114) * s;
  vec3 blue = kLumaWeights + vec3(-0.299, -0.587, 1.0 - 0.114) * c
                           + vec3(-0.299, 1.0 - 0.587, 0.587) * s;

  // The glyph colour of every mode but 1 is the same for the whole frame.
  vec3 fixedColor;
  if (ColorMode == 0) {
    fixedColor = vec3(0.2, 1.0, 0.1);
  } else if (ColorMode == 2) {
    fixedColor = vec3(0.9, 0.9, 0.9);
  } else {
    fixedColor = vec3(1.0, 0.0, 0.5);
  }
  bool rotate = HueShift > 0.001;
  if (rotate) {
    fixedColor = vec3(dot(fixedColor, red), dot(fixedColor, green), dot(fixedColor, blue));
  }
  hueRed = vec4(red, fixedColor.r);
  hueGreen = vec4(green, fixedColor.g);
  hueBlue = vec4(blue, fixedColor.b);
  modes = ivec2(ColorMode == 1 ? 1 : 0, rotate ? 1 : 0);
}
)glsl";

const char* const kFragmentShaderSource = R"glsl(#version 410 core
in vec2 uv;
flat in vec4 frame;
flat in vec4 cell;
flat in vec4 tone;
flat in vec4 hueRed;
flat in vec4 hueGreen;
flat in vec4 hueBlue;
flat in ivec2 modes;
out vec4 fragColor;

uniform sampler2D InputTexture;

const vec3 kLumaWeights = vec3(0.299, 0.587, 0.114);

// Ten 5x7 glyphs by ink density: ' ' . : - = + * # % @. Pixel (x, y) is bit y * 5 + x of a
// 35-bit pattern; column 0 is the left, row 0 the bottom of a cell. Bits 0-31 of glyph g are
// kGlyphLow[g]; bits 32-34 of every glyph share one word, three bits per glyph at bit 3g.
const uint kGlyphLow[10] = uint[10](0x00000000u, 0x00000000u, 0x08000080u, 0x000f8000u,
                                    0x01f07c00u, 0x084f9080u, 0x2aefbaa0u, 0xbeafabeau,
                                    0xd6820b59u, 0xa17ade2eu);
const uint kGlyphHigh = (1u << 3) | (2u << 21) | (4u << 24) | (3u << 27);

// x in 0..4 and y in 0..6, as the clamps below guarantee.
bool getPixel(int glyph, int x, int y) {
  int bit = y * 5 + x;
  uint word = bit < 32 ? kGlyphLow[glyph] >> uint(bit)
                       : kGlyphHigh >> uint(3 * glyph + bit - 32);
  return (word & 1u) != 0u;
}

float luma(vec2 at) { return dot(texture(InputTexture, at).rgb, kLumaWeights); }

void main() {
  vec2 maxUV = frame.xy;
  vec2 resolution = frame.zw;
  vec2 cellSize = cell.xy;

  vec2 pixelCoord = uv * resolution;
  vec2 cellIndex = floor(pixelCoord / cellSize);
  vec2 inCell = pixelCoord - cellIndex * cellSize;
  int charX = clamp(int(inCell.x / cellSize.x * 5.0), 0, 4);
  int charY = clamp(int(inCell.y / cellSize.y * 7.0), 0, 6);

  // One cell in texture coordinates. The last multiply stays per pixel: the compiler merges
  // it with the cell centre's, and a product formed per frame would round differently.
  vec2 cellCenter = (cellIndex + 0.5) * cellSize / resolution * maxUV;
  vec2 cellStep = cell.zw * maxUV;
  vec3 cellColor = texture(InputTexture, cellCenter).rgb;

  float lumC = dot(cellColor, kLumaWeights);
  float lumL = luma(cellCenter - vec2(cellStep.x, 0.0));
  float lumR = luma(cellCenter + vec2(cellStep.x, 0.0));
  float lumU = luma(cellCenter + vec2(0.0, cellStep.y));
  float lumD = luma(cellCenter - vec2(0.0, cellStep.y));
  float edge = abs(lumR - lumL) + abs(lumU - lumD);
  float lum = lumC + edge * tone.y * 2.0;

  lum = clamp((lum - 0.5) * tone.x + 0.5, 0.0, 1.0);
  lum = tone.z > 0.5 ? 1.0 - lum : lum;
  int charIdx = clamp(int(lum * 10.0), 0, 9);
  bool lit = getPixel(charIdx, charX, charY);

  // Mode 1 colours the glyph by its cell, rotated per pixel; every other mode by the fixed
  // colour, already rotated once per frame.
  vec3 sourceColor = cellColor * 1.5;
  vec3 rotated = vec3(dot(sourceColor, hueRed.xyz), dot(sourceColor, hueGreen.xyz),
                      dot(sourceColor, hueBlue.xyz));
  vec3 fixedColor = vec3(hueRed.w, hueGreen.w, hueBlue.w);
  vec3 charColor = modes.x != 0 ? (modes.y != 0 ? rotated : sourceColor) : fixedColor;
  vec3 bgColor = charColor * 0.03;

  vec3 ascii = lit ? charColor * lum : bgColor;
  // mix(ascii, input, 1 - Blend), in the form the compiler gives it.
  vec3 inputColor = texture(InputTexture, uv * maxUV).rgb;
  fragColor = vec4(ascii + tone.w * (inputColor - ascii), 1.0);
}
)glsl";

}  // namespace vexascii
