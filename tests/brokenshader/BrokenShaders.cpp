// The effect's two sources replaced by a pair whose fragment stage does not compile (it reads
// an identifier it never declares), so a module built with them fails its GL setup. The test
// links the same texts to know the compiler log the module must pass on.
#include "effect/AsciiShaders.h"

namespace vexascii {

const char* const kVertexShaderSource = R"glsl(#version 410 core
layout(location = 0) in vec4 vPosition;
layout(location = 1) in vec2 vUV;
out vec2 uv;

void main() {
  gl_Position = vPosition;
  uv = vUV;
}
)glsl";

const char* const kFragmentShaderSource = R"glsl(#version 410 core
in vec2 uv;
out vec4 fragColor;
uniform sampler2D InputTexture;

void main() {
  fragColor = vec4(texture(InputTexture, uv).rgb * undeclaredGain, 1.0);
}
)glsl";

}  // namespace vexascii
