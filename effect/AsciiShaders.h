// The GLSL pair that draws the character grid in one full-screen pass: the vertex stage passes
// the screen quad through and derives the per-frame values from the uniforms (declared there);
// the fragment stage picks a glyph per cell by brightness, colours it and mixes it with the input.
#pragma once

namespace vexascii {

extern const char* const kVertexShaderSource;
extern const char* const kFragmentShaderSource;

}  // namespace vexascii
