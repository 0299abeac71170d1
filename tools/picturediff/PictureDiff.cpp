// picturediff A B: whether two renderings of the same picture agree, pixel by pixel. They may
// differ only as a float landing on the other side of a boundary explains: a channel one step
// off (rounding), or a pixel taking the value its neighbour has in the other picture (a cell or
// texel edge moved by one pixel). Prints how many pixels differ; exits 0 when the pictures
// agree, 1 when a difference is unexplained or too many pixels differ, 2 when they cannot be
// compared (unreadable, different sizes, bad command line).
#include <stb_image.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

namespace {

constexpr int kChannels = 4;
// A value rounded the other way to 8 bits.
constexpr int kRoundingSteps = 1;
// How far a moved boundary may shift a value, in pixels.
constexpr int kShiftPx = 1;
// The share of pixels that may differ, by default 0.1%.
constexpr double kDefaultMaximumFraction = 0.001;
constexpr int kShownUnexplained = 5;
constexpr int kExitAgree = 0;
constexpr int kExitDisagree = 1;
constexpr int kExitCannotCompare = 2;

struct Picture {
  int width = 0;
  int height = 0;
  std::vector<unsigned char> rgba;

  const unsigned char* At(int x, int y) const {
    return &rgba[(static_cast<std::size_t>(y) * width + x) * kChannels];
  }
};

bool Read(const char* path, Picture* picture) {
  int channels = 0;
  unsigned char* pixels = stbi_load(path, &picture->width, &picture->height, &channels, kChannels);
  if (!pixels) {
    const char* reason = stbi_failure_reason();
    std::fprintf(stderr, "picturediff: cannot read '%s': %s\n", path,
                 reason ? reason : "not a picture");
    return false;
  }
  picture->rgba.assign(
      pixels, pixels + static_cast<std::size_t>(picture->width) * picture->height * kChannels);
  stbi_image_free(pixels);
  return true;
}

int LargestChannelDifference(const unsigned char* a, const unsigned char* b) {
  int largest = 0;
  for (int c = 0; c < kChannels; ++c) largest = std::max(largest, std::abs(a[c] - b[c]));
  return largest;
}

// Whether `value` is, up to rounding, what `picture` has at (x, y) or a pixel next to it.
bool NearbyHas(const Picture& picture, int x, int y, const unsigned char* value) {
  for (int ny = std::max(0, y - kShiftPx); ny <= std::min(picture.height - 1, y + kShiftPx); ++ny) {
    for (int nx = std::max(0, x - kShiftPx); nx <= std::min(picture.width - 1, x + kShiftPx);
         ++nx) {
      if (LargestChannelDifference(picture.At(nx, ny), value) <= kRoundingSteps) return true;
    }
  }
  return false;
}

int Usage() {
  std::fputs("usage: picturediff [--max-differing FRACTION] A.png B.png\n", stderr);
  return kExitCannotCompare;
}

}  // namespace

int main(int argc, char** argv) {
  double maximumFraction = kDefaultMaximumFraction;
  std::vector<const char*> paths;
  for (int i = 1; i < argc; ++i) {
    if (std::strcmp(argv[i], "--max-differing") != 0) {
      paths.push_back(argv[i]);
      continue;
    }
    if (i + 1 == argc) return Usage();
    char* end = nullptr;
    maximumFraction = std::strtod(argv[++i], &end);
    if (*end != '\0' || !(maximumFraction >= 0.0)) return Usage();
  }
  if (paths.size() != 2) return Usage();
  Picture a, b;
  if (!Read(paths[0], &a) || !Read(paths[1], &b)) return kExitCannotCompare;
  if (a.width != b.width || a.height != b.height) {
    std::fprintf(stderr, "picturediff: sizes differ: %dx%d and %dx%d\n", a.width, a.height, b.width,
                 b.height);
    return kExitCannotCompare;
  }

  const long total = static_cast<long>(a.width) * a.height;
  long differing = 0, unexplained = 0;
  int largest = 0;
  for (int y = 0; y < a.height; ++y) {
    for (int x = 0; x < a.width; ++x) {
      const int difference = LargestChannelDifference(a.At(x, y), b.At(x, y));
      if (difference == 0) continue;
      ++differing;
      largest = std::max(largest, difference);
      if (difference <= kRoundingSteps) continue;
      if (NearbyHas(b, x, y, a.At(x, y)) && NearbyHas(a, x, y, b.At(x, y))) continue;
      if (unexplained++ < kShownUnexplained) {
        const unsigned char* pa = a.At(x, y);
        const unsigned char* pb = b.At(x, y);
        std::printf("  unexplained at (%d, %d): %d,%d,%d,%d against %d,%d,%d,%d\n", x, y, pa[0],
                    pa[1], pa[2], pa[3], pb[0], pb[1], pb[2], pb[3]);
      }
    }
  }
  const double fraction = static_cast<double>(differing) / static_cast<double>(total);
  std::printf("%ld of %ld pixels differ (%.3f%%), largest channel difference %d, %ld unexplained\n",
              differing, total, fraction * 100.0, largest, unexplained);
  return unexplained == 0 && fraction <= maximumFraction ? kExitAgree : kExitDisagree;
}
