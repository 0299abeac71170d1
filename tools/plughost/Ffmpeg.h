// Video files through the ffmpeg command-line tools, as child processes: ffprobe for the
// stream's size, rate and frame count, one ffmpeg that decodes to raw RGBA frames on a pipe
// and one that encodes raw RGBA frames from a pipe (container and codec by the output's
// extension), taking the audio of the source along. Frames on both pipes run bottom row
// first, the way GL stores them; ffmpeg does the flipping.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "tools/plughost/platform/ChildProcess.h"

namespace plughost {

struct VideoInfo {
  std::uint32_t width = 0;
  std::uint32_t height = 0;
  std::string frameRate;  // as ffmpeg writes it, e.g. "30000/1001"
  double framesPerSecond = 0.0;
  std::uint64_t frameCount = 0;  // 0 when not known
  bool hasAudio = false;
};

// False with one line of reason: ffprobe missing, the file unreadable or without video.
bool ProbeVideo(const std::string& path, VideoInfo* info, std::string* error);

class VideoDecoder {
 public:
  bool Start(const std::string& path, const VideoInfo& info, std::string* error);
  // Reads one frame of width*height*4 bytes; false at the end of the stream.
  bool ReadFrame(std::uint8_t* rgba);
  // Stops the decoder early (it may be blocked writing to us).
  void Abort();
  // Waits for ffmpeg to end; false with its message when it failed.
  bool Finish(std::string* error);

 private:
  ChildProcess process;
  std::string path;
  std::size_t frameBytes = 0;
  bool aborted = false;
};

class VideoEncoder {
 public:
  // Writes `outputPath` (a temporary name with the real extension); takes the audio of
  // `sourcePath` when info.hasAudio and the container can hold audio. `encodeOptions` are
  // extra ffmpeg output options, separated by spaces, placed after plughost's own.
  bool Start(const std::string& outputPath, const std::string& displayName,
             const std::string& sourcePath, const VideoInfo& info, const std::string& encodeOptions,
             std::string* error);
  bool WriteFrame(const std::uint8_t* rgba);
  void Abort();
  // Ends the input and waits for ffmpeg; false with its message when it failed.
  bool Finish(std::string* error);

 private:
  ChildProcess process;
  std::string displayName;
  std::string temporaryPath;
  std::size_t frameBytes = 0;
};

}  // namespace plughost
