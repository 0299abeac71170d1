// Pictures as plughost moves them between files and GL: 8-bit RGBA, rows top first (the way
// image files store them). Reading goes through stb_image (PNG, JPEG, BMP, TGA and the other
// formats it knows), writing through stb_image_write as PNG into an OutputFile, so a failed
// write never leaves a half-written file behind.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace plughost {

struct Picture {
  std::uint32_t width = 0;
  std::uint32_t height = 0;
  std::vector<std::uint8_t> rgba;  // width * height * 4 bytes, top row first
};

bool ReadPicture(const std::string& path, Picture* picture, std::string* error);
bool WritePng(const std::string& path, const Picture& picture, std::string* error);

// Reverses the row order in place (top-first <-> bottom-first).
void FlipRows(std::uint8_t* rgba, std::uint32_t width, std::uint32_t height);

// The built-in test picture: grey ramps and steps that reach every brightness level, colour
// gradients, hard-edged shapes, fine lines and rings, and flat areas.
Picture MakeTestPicture(std::uint32_t width, std::uint32_t height);

// Reads "WxH" (e.g. 1280x720); false when it is not two positive sizes up to 16384.
bool ParseSize(const std::string& text, std::uint32_t* width, std::uint32_t* height);

}  // namespace plughost
