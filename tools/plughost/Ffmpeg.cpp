#include "tools/plughost/Ffmpeg.h"

#include <algorithm>
#include <cctype>
#include <cstdlib>
#include <filesystem>
#include <sstream>
#include <vector>

namespace plughost {

namespace {

constexpr const char* kFfmpeg = "ffmpeg";
constexpr const char* kFfprobe = "ffprobe";
constexpr int kBytesPerPixel = 4;

std::string NotFound(const char* program) {
  return std::string(program) + " not found: install ffmpeg (" + program + " must be on the PATH)";
}

// What a tool said on its error output, on one line: its last few lines, joined.
std::string Reason(const std::string& text, const std::string& replace = "",
                   const std::string& with = "") {
  constexpr std::size_t kLines = 3;
  std::vector<std::string> kept;
  std::istringstream lines(text);
  for (std::string line; std::getline(lines, line);) {
    while (!line.empty() && (line.back() == '\r' || line.back() == ' ')) line.pop_back();
    if (line.empty()) continue;
    // "[NULL @ 0x55d0...] Unable to ..." : the bracketed part names ffmpeg's internals.
    if (line[0] == '[' && line.find(" @ 0x") != std::string::npos) {
      const std::size_t close = line.find("] ");
      if (close != std::string::npos) line.erase(0, close + 2);
    }
    if (!replace.empty()) {
      for (std::size_t at = line.find(replace); at != std::string::npos;
           at = line.find(replace, at + with.size())) {
        line.replace(at, replace.size(), with);
      }
    }
    kept.push_back(line);
  }
  if (kept.empty()) return "no message";
  std::string reason;
  for (std::size_t i = kept.size() > kLines ? kept.size() - kLines : 0; i < kept.size(); ++i) {
    if (!reason.empty()) reason += "; ";
    reason += kept[i];
  }
  return reason;
}

double RateOf(const std::string& rational) {
  const std::size_t slash = rational.find('/');
  const double numerator = std::atof(rational.substr(0, slash).c_str());
  const double denominator =
      slash == std::string::npos ? 1.0 : std::atof(rational.substr(slash + 1).c_str());
  return denominator > 0.0 ? numerator / denominator : 0.0;
}

std::string LowerExtension(const std::string& path) {
  std::string extension = std::filesystem::path(path).extension().string();
  std::transform(extension.begin(), extension.end(), extension.begin(),
                 [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
  return extension;
}

bool ContainerTakesAudio(const std::string& extension) {
  static const char* const kSilent[] = {".gif",  ".apng", ".webp", ".png",  ".jpg",
                                        ".jpeg", ".bmp",  ".tif",  ".tiff", ".y4m"};
  for (const char* silent : kSilent) {
    if (extension == silent) return false;
  }
  return true;
}

// Containers whose usual codecs want 4:2:0 for players to cope; only for even sizes.
bool WantsYuv420(const std::string& extension) {
  static const char* const kVideo[] = {".mp4", ".m4v", ".mov", ".mkv", ".webm", ".avi"};
  for (const char* video : kVideo) {
    if (extension == video) return true;
  }
  return false;
}

// Containers whose default video codec is H.264 (libx264): its default preset spends more
// time per frame than a plugin on a software renderer, so a faster one keeps the encoder
// from being the slowest stage; quality stays at x264's default constant rate factor.
bool DefaultsToH264(const std::string& extension) {
  static const char* const kH264[] = {".mp4", ".m4v", ".mov", ".mkv"};
  for (const char* h264 : kH264) {
    if (extension == h264) return true;
  }
  return false;
}
constexpr const char* kH264Preset = "veryfast";

// The decoding and encoding ffmpegs run below plughost: they have frames queued to spare, while
// the GL thread's upload, draw and read-back form one serial chain whose every stall is lost
// time. With a one-thread software renderer this lifts a 1280x720 H.264 run by about a fifth
// (docs/PERFORMANCE.md).
constexpr ChildProcess::Priority kCodecPriority = ChildProcess::Priority::kBelowThisProcess;

}  // namespace

std::vector<std::string> SplitOptions(const std::string& text) {
  std::vector<std::string> words;
  std::istringstream stream(text);
  for (std::string word; stream >> word;) words.push_back(word);
  return words;
}

bool ProbeVideo(const std::string& path, VideoInfo* info, std::string* error) {
  std::string output, errorOutput, startError;
  int status = 0;
  const std::vector<std::string> probe = {
      kFfprobe,
      "-v",
      "error",
      "-show_entries",
      "stream=codec_type,width,height,avg_frame_rate,r_frame_rate,nb_frames",
      "-of",
      "default",
      path};
  if (!RunAndCollect(probe, &output, &status, &errorOutput, &startError)) {
    *error = startError == "not found" ? NotFound(kFfprobe) : "cannot run ffprobe: " + startError;
    return false;
  }
  if (status != 0) {
    *error = "cannot read video '" + path + "': " + Reason(errorOutput);
    return false;
  }
  *info = VideoInfo{};
  bool inStream = false, isVideo = false, haveVideo = false;
  std::string averageRate, baseRate, frames, width, height, type;
  std::istringstream lines(output);
  for (std::string line; std::getline(lines, line);) {
    if (line == "[STREAM]") {
      inStream = true;
      averageRate = baseRate = frames = width = height = type = "";
      continue;
    }
    if (line == "[/STREAM]") {
      inStream = false;
      isVideo = type == "video";
      if (type == "audio") info->hasAudio = true;
      if (isVideo && !haveVideo) {
        haveVideo = true;
        info->width = static_cast<std::uint32_t>(std::strtoul(width.c_str(), nullptr, 10));
        info->height = static_cast<std::uint32_t>(std::strtoul(height.c_str(), nullptr, 10));
        info->frameRate = RateOf(averageRate) > 0.0 ? averageRate : baseRate;
        info->framesPerSecond = RateOf(info->frameRate);
        info->frameCount = std::strtoull(frames.c_str(), nullptr, 10);
      }
      continue;
    }
    if (!inStream) continue;
    const std::size_t equals = line.find('=');
    if (equals == std::string::npos) continue;
    const std::string key = line.substr(0, equals), value = line.substr(equals + 1);
    if (key == "codec_type") type = value;
    if (key == "width") width = value;
    if (key == "height") height = value;
    if (key == "avg_frame_rate") averageRate = value;
    if (key == "r_frame_rate") baseRate = value;
    if (key == "nb_frames") frames = value;
  }
  if (!haveVideo || info->width == 0 || info->height == 0) {
    *error = "cannot read video '" + path + "': it has no video stream";
    return false;
  }
  if (info->framesPerSecond <= 0.0) {
    info->frameRate = "25";
    info->framesPerSecond = 25.0;
  }
  if (info->frameCount == 0) {
    // Some containers do not store a frame count; counting packets only demuxes.
    const std::vector<std::string> count = {kFfprobe,
                                            "-v",
                                            "error",
                                            "-select_streams",
                                            "v:0",
                                            "-count_packets",
                                            "-show_entries",
                                            "stream=nb_read_packets",
                                            "-of",
                                            "csv=p=0",
                                            path};
    if (RunAndCollect(count, &output, &status, &errorOutput, &startError) && status == 0) {
      info->frameCount = std::strtoull(output.c_str(), nullptr, 10);
    }
  }
  return true;
}

bool VideoDecoder::Start(const std::string& source, const VideoInfo& info, std::string* error) {
  path = source;
  frameBytes = static_cast<std::size_t>(info.width) * info.height * kBytesPerPixel;
  const std::vector<std::string> args = {
      kFfmpeg,       "-hide_banner", "-nostdin", "-v",       "error", "-i",
      source,        "-map",         "0:v:0",    "-vf",      "vflip", "-fps_mode",
      "passthrough", "-f",           "rawvideo", "-pix_fmt", "rgba",  "pipe:1"};
  std::string reason;
  if (!process.Start(args, ChildProcess::Pipe::kFromChildOutput, &reason, kCodecPriority)) {
    *error = reason == "not found" ? NotFound(kFfmpeg) : "cannot run ffmpeg: " + reason;
    return false;
  }
  return true;
}

bool VideoDecoder::ReadFrame(std::uint8_t* rgba) {
  return process.Read(rgba, frameBytes) == frameBytes;
}

void VideoDecoder::Abort() {
  aborted = true;
  process.Kill();
}

bool VideoDecoder::Finish(std::string* error) {
  process.ClosePipe();
  const int status = process.Wait();
  if (status != 0 && !aborted) {
    *error = "ffmpeg could not decode '" + path + "': " + Reason(process.ErrorOutput());
    return false;
  }
  return true;
}

bool VideoEncoder::Start(const std::string& outputPath, const std::string& shownName,
                         const std::string& sourcePath, const VideoInfo& info,
                         const std::string& encodeOptions, std::string* error) {
  displayName = shownName;
  temporaryPath = outputPath;
  frameBytes = static_cast<std::size_t>(info.width) * info.height * kBytesPerPixel;
  const std::string extension = LowerExtension(shownName);
  const std::string size = std::to_string(info.width) + "x" + std::to_string(info.height);
  std::vector<std::string> args = {kFfmpeg,      "-hide_banner", "-nostdin", "-v",    "error", "-y",
                                   "-f",         "rawvideo",     "-pix_fmt", "rgba",  "-s",    size,
                                   "-framerate", info.frameRate, "-i",       "pipe:0"};
  const bool withAudio = info.hasAudio && ContainerTakesAudio(extension);
  if (withAudio) {
    args.insert(args.end(), {"-i", sourcePath});
  }
  args.insert(args.end(), {"-map", "0:v:0"});
  if (withAudio) args.insert(args.end(), {"-map", "1:a"});
  args.insert(args.end(), {"-vf", "vflip"});
  if (WantsYuv420(extension) && info.width % 2 == 0 && info.height % 2 == 0) {
    args.insert(args.end(), {"-pix_fmt", "yuv420p"});
  }
  if (DefaultsToH264(extension)) args.insert(args.end(), {"-preset", kH264Preset});
  // The user's own output options come last, so they override the choices above.
  for (const std::string& option : SplitOptions(encodeOptions)) args.push_back(option);
  args.push_back(outputPath);
  std::string reason;
  if (!process.Start(args, ChildProcess::Pipe::kToChildInput, &reason, kCodecPriority)) {
    *error = reason == "not found" ? NotFound(kFfmpeg) : "cannot run ffmpeg: " + reason;
    return false;
  }
  return true;
}

bool VideoEncoder::WriteFrame(const std::uint8_t* rgba) {
  return process.Write(rgba, frameBytes);
}

void VideoEncoder::Abort() {
  process.Kill();
}

bool VideoEncoder::Finish(std::string* error) {
  process.ClosePipe();
  const int status = process.Wait();
  if (status != 0) {
    *error = "ffmpeg could not encode '" + displayName +
             "': " + Reason(process.ErrorOutput(), temporaryPath, displayName);
    return false;
  }
  return true;
}

}  // namespace plughost
