#include "tools/plughost/Picture.h"

#include <stb_image.h>
#include <stb_image_write.h>

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstring>

#include "tools/plughost/platform/OutputFile.h"

namespace plughost {

namespace {
constexpr int kChannels = 4;
constexpr std::uint32_t kMaximumSide = 16384;

void AppendBytes(void* context, void* data, int size) {
  auto* out = static_cast<std::vector<std::uint8_t>*>(context);
  const auto* bytes = static_cast<const std::uint8_t*>(data);
  out->insert(out->end(), bytes, bytes + size);
}
}  // namespace

bool ReadPicture(const std::string& path, Picture* picture, std::string* error) {
  std::FILE* file = std::fopen(path.c_str(), "rb");
  if (!file) {
    *error = "cannot read input '" + path + "': " + std::strerror(errno);
    return false;
  }
  int width = 0, height = 0, channels = 0;
  stbi_uc* pixels = stbi_load_from_file(file, &width, &height, &channels, kChannels);
  std::fclose(file);
  if (!pixels) {
    const char* reason = stbi_failure_reason();
    *error = "cannot read input '" + path +
             "': " + (reason ? std::string(reason) : std::string("not a picture"));
    return false;
  }
  picture->width = static_cast<std::uint32_t>(width);
  picture->height = static_cast<std::uint32_t>(height);
  picture->rgba.assign(pixels, pixels + static_cast<std::size_t>(width) * height * kChannels);
  stbi_image_free(pixels);
  return true;
}

bool WritePng(const std::string& path, const Picture& picture, std::string* error) {
  std::vector<std::uint8_t> png;
  png.reserve(picture.rgba.size() / 2);
  const int stride = static_cast<int>(picture.width) * kChannels;
  if (!stbi_write_png_to_func(AppendBytes, &png, static_cast<int>(picture.width),
                              static_cast<int>(picture.height), kChannels, picture.rgba.data(),
                              stride)) {
    *error = "cannot encode '" + path + "' as PNG";
    return false;
  }
  OutputFile file;
  return file.Begin(path, error) && file.WriteAll(png.data(), png.size(), error) &&
         file.Commit(error);
}

void FlipRows(std::uint8_t* rgba, std::uint32_t width, std::uint32_t height) {
  const std::size_t rowBytes = static_cast<std::size_t>(width) * kChannels;
  std::vector<std::uint8_t> row(rowBytes);
  for (std::uint32_t top = 0, bottom = height ? height - 1 : 0; top < bottom; ++top, --bottom) {
    std::uint8_t* a = rgba + top * rowBytes;
    std::uint8_t* b = rgba + bottom * rowBytes;
    std::memcpy(row.data(), a, rowBytes);
    std::memcpy(a, b, rowBytes);
    std::memcpy(b, row.data(), rowBytes);
  }
}

bool ParseSize(const std::string& text, std::uint32_t* width, std::uint32_t* height) {
  unsigned long w = 0, h = 0;
  char tail = 0;
  if (std::sscanf(text.c_str(), "%lux%lu%c", &w, &h, &tail) != 2) return false;
  if (w == 0 || h == 0 || w > kMaximumSide || h > kMaximumSide) return false;
  *width = static_cast<std::uint32_t>(w);
  *height = static_cast<std::uint32_t>(h);
  return true;
}

}  // namespace plughost
