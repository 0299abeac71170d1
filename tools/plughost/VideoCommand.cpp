// plughost video MODULE INPUT OUTPUT: every frame of a clip through one instance.
//
// Four stages run at once, joined by bounded queues that recycle a fixed set of frame buffers:
// a reader thread pulls decoded frames from one ffmpeg, this (GL) thread uploads, draws and
// reads back each frame (on a GPU, finishing one frame's read-back while the next is drawn),
// and a writer thread feeds the encoding ffmpeg. No stage can run more than a few frames ahead
// of another.
//
// --render-only times the GL thread's part alone on the same clip: the frames are decoded into
// memory in batches first, then uploaded, drawn and read back exactly as above, with the clock
// running only while the GL thread works; nothing is encoded or written.
#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstdio>
#include <memory>
#include <thread>

#include "tools/plughost/BoundedQueue.h"
#include "tools/plughost/CommandLine.h"
#include "tools/plughost/Commands.h"
#include "tools/plughost/Ffmpeg.h"
#include "tools/plughost/HostGL.h"
#include "tools/plughost/Progress.h"
#include "tools/plughost/platform/OutputFile.h"
#include "tools/plughost/platform/Terminal.h"

namespace plughost {

namespace {

const char kUsage[] =
    "usage: plughost video MODULE INPUT OUTPUT [options]\n"
    "       plughost video MODULE INPUT [OUTPUT] --render-only [options]\n"
    "\n"
    "Decodes INPUT with ffmpeg, runs every frame through one instance of the plugin and\n"
    "encodes OUTPUT with ffmpeg (container and codec by its extension, e.g. .mp4, .mkv,\n"
    ".webm, .mov, .gif), keeping the audio of INPUT. Each frame is sent its time in seconds.\n"
    "OUTPUT appears only when it is complete. Needs ffmpeg and ffprobe on the PATH.\n"
    "\n"
    "  --set NAME=VALUE   set a parameter, by name (any case) or id; repeatable.\n"
    "                     A..B ramps a value linearly from the first frame to the last\n"
    "  --float            let the plugin draw into an RGBA16F framebuffer (default RGBA8)\n"
    "  --encode OPTIONS   extra ffmpeg output options, e.g. \"-c:v libx264 -crf 18\"\n"
    "                     (H.264 outputs use -preset veryfast unless these say otherwise)\n"
    "  --render-only      decode, upload, draw and read back every frame as a real run does,\n"
    "                     but encode and write nothing (OUTPUT may be left out); prints the\n"
    "                     frames per second of the GL work alone, decoding not counted\n"
    "  -v, --verbose      show the module's log lines\n";

// Frames in flight between the stages: enough to smooth out uneven stage times.
constexpr std::size_t kQueuedFrames = 3;
constexpr std::size_t kFrameBuffers = kQueuedFrames + 2;
// --render-only decodes at most this much into memory before it draws it: a 1280x720 clip of
// ten seconds at 30 fps fits in one batch.
constexpr std::size_t kRenderOnlyBatchBytes = std::size_t{1} << 30;

using Clock = std::chrono::steady_clock;
using Frame = std::unique_ptr<std::vector<std::uint8_t>>;

double SecondsSince(Clock::time_point start) {
  return std::chrono::duration<double>(Clock::now() - start).count();
}

struct Pipeline {
  explicit Pipeline(std::size_t frameBytes)
      : freeInputs(kFrameBuffers),
        decoded(kQueuedFrames),
        freeOutputs(kFrameBuffers),
        rendered(kQueuedFrames) {
    for (std::size_t i = 0; i < kFrameBuffers; ++i) {
      freeInputs.Push(std::make_unique<std::vector<std::uint8_t>>(frameBytes));
      freeOutputs.Push(std::make_unique<std::vector<std::uint8_t>>(frameBytes));
    }
  }
  BoundedQueue<Frame> freeInputs;
  BoundedQueue<Frame> decoded;
  BoundedQueue<Frame> freeOutputs;
  BoundedQueue<Frame> rendered;
};

// The GL thread's work on one frame, the same for a real run and --render-only: upload the
// decoded pixels, send the frame's ramped settings and time, DrawFrame, start the read-back.
class FrameRenderer {
 public:
  FrameRenderer(PluginModule& module, void* instance, InputTexture& texture,
                HostFramebuffer& target, const std::vector<ParameterSetting>& settings,
                const VideoInfo& info)
      : module(module),
        instance(instance),
        texture(texture),
        target(target),
        settings(settings),
        frameCount(static_cast<std::size_t>(info.frameCount)),
        framesPerSecond(info.framesPerSecond) {}

  // `pixels`: one decoded frame, bottom row first. The caller may reuse them on return.
  void Upload(const std::uint8_t* pixels) { texture.Upload(pixels, false); }

  // Draws the uploaded frame and starts its read-back. False with a reason when the module
  // refused a setting or the frame.
  bool Draw(std::string* failure) {
    if (frames > 0 &&
        !ApplySettings(module, instance, settings, frames, frameCount, true, failure)) {
      return false;
    }
    module.SendHostTime(instance, static_cast<double>(frames) / framesPerSecond);
    const TextureInfo* textures[] = {&texture.Info()};
    const FrameInput input{1, 0, textures, target.Name()};
    if (module.DrawFrame(instance, input) != kSuccess) {
      *failure = module.DisplayName() + " could not draw frame " + std::to_string(frames) +
                 " (DrawFrame failed)";
      return false;
    }
    target.StartReadBack();
    ++queuedReads;
    ++frames;
    return true;
  }

  // True when the oldest read-back must be finished before the next frame is drawn.
  bool ReadsFull() const { return queuedReads == target.ReadBacksInFlight(); }
  bool ReadsQueued() const { return queuedReads > 0; }
  // Copies the oldest started read-back into `rgba` (bottom row first).
  void FinishRead(std::uint8_t* rgba) {
    target.FinishReadBack(rgba);
    --queuedReads;
  }
  std::size_t Frames() const { return frames; }

 private:
  PluginModule& module;
  void* instance;
  InputTexture& texture;
  HostFramebuffer& target;
  const std::vector<ParameterSetting>& settings;
  std::size_t frameCount;
  double framesPerSecond;
  std::size_t frames = 0;
  unsigned queuedReads = 0;
};

// --render-only: batches of decoded frames in memory, each then drawn against the clock.
int RenderOnly(FrameRenderer& renderer, VideoDecoder& decoder, const VideoInfo& info,
               const std::string& inputPath, PluginModule& module) {
  const std::size_t frameBytes = static_cast<std::size_t>(info.width) * info.height * 4;
  std::size_t batchFrames = std::max<std::size_t>(1, kRenderOnlyBatchBytes / frameBytes);
  if (info.frameCount > 0 && info.frameCount < batchFrames) {
    batchFrames = static_cast<std::size_t>(info.frameCount);
  }
  std::vector<std::unique_ptr<std::uint8_t[]>> batch;
  std::vector<std::uint8_t> readBack(frameBytes);
  std::string failure;
  double glSeconds = 0.0;
  bool decoding = true;
  while (decoding && failure.empty()) {
    std::size_t count = 0;
    for (; count < batchFrames; ++count) {
      if (count == batch.size()) batch.emplace_back(new std::uint8_t[frameBytes]);
      if (!decoder.ReadFrame(batch[count].get())) {
        decoding = false;
        break;
      }
    }
    const Clock::time_point start = Clock::now();
    for (std::size_t i = 0; i < count && failure.empty(); ++i) {
      if (InterruptRequested()) {
        failure = "interrupted";
        break;
      }
      renderer.Upload(batch[i].get());
      if (!renderer.Draw(&failure)) break;
      if (renderer.ReadsFull()) renderer.FinishRead(readBack.data());
    }
    // The batch's last read-backs are finished on the clock too, so no GL work is left
    // running while the next batch decodes.
    while (renderer.ReadsQueued()) renderer.FinishRead(readBack.data());
    glSeconds += SecondsSince(start);
  }
  if (failure.empty() && InterruptRequested()) failure = "interrupted";
  if (!failure.empty()) decoder.Abort();
  std::string decodeError;
  const bool decoded = decoder.Finish(&decodeError);
  if (failure == "interrupted") return Fail(kExitInterrupted, "interrupted");
  if (!failure.empty()) {
    Fail(kExitFailure, failure);
    PrintModuleLog();
    return kExitFailure;
  }
  if (!decoded) return Fail(kExitFailure, decodeError);
  const std::size_t frames = renderer.Frames();
  if (frames == 0) return Fail(kExitFailure, "no frames could be decoded from '" + inputPath + "'");
  std::printf(
      "render only %s: %zu frames, %ux%u, %.1f fps (upload, DrawFrame, read-back; "
      "%.2f ms per frame)\n",
      module.DisplayName().c_str(), frames, info.width, info.height,
      glSeconds > 0.0 ? static_cast<double>(frames) / glSeconds : 0.0,
      1000.0 * glSeconds / static_cast<double>(frames));
  return kExitSuccess;
}

}  // namespace

int RunVideo(const std::vector<std::string>& args) {
  CommandLine line;
  std::string error;
  if (!line.Parse(
          args,
          {{"set", 0, true}, {"float", 0, false}, {"encode", 0, true}, {"render-only", 0, false}},
          &error)) {
    return Fail(kExitUsage, error);
  }
  if (line.Has("help")) {
    std::fputs(kUsage, stdout);
    return kExitSuccess;
  }
  const bool renderOnly = line.Has("render-only");
  const std::size_t positionals = line.Positionals().size();
  if (positionals != 3 && !(renderOnly && positionals == 2)) {
    std::fputs(kUsage, stderr);
    return Fail(kExitUsage, renderOnly ? "video --render-only takes MODULE INPUT [OUTPUT]"
                                       : "video takes MODULE INPUT OUTPUT");
  }
  const std::string& modulePath = line.Positionals()[0];
  const std::string& inputPath = line.Positionals()[1];
  const std::string outputPath = positionals == 3 ? line.Positionals()[2] : std::string();
  if (!renderOnly && outputPath.find('%') != std::string::npos) {
    return Fail(kExitUsage, "OUTPUT '" + outputPath + "' names an image sequence; " +
                                "write a video file (.mp4, .mkv, .webm, ...)");
  }
  const bool verbose = line.Has("verbose");

  PluginModule module;
  if (const int status = LoadModule(module, modulePath, verbose)) return status;
  std::vector<ParameterSetting> settings;
  if (const int status = ResolveAssignments(module, line.Values("set"), &settings)) {
    return status;
  }
  VideoInfo info;
  if (!ProbeVideo(inputPath, &info, &error)) return Fail(kExitFailure, error);
  if (verbose) {
    std::fprintf(stderr, "plughost: %s: %ux%u, %g fps, %llu frames%s\n", inputPath.c_str(),
                 info.width, info.height, info.framesPerSecond,
                 static_cast<unsigned long long>(info.frameCount),
                 info.hasAudio ? ", with audio" : "");
  }

  GLSession gl;
  if (!gl.Start(&error)) return Fail(kExitFailure, error);
  InputTexture texture;
  texture.Create(info.width, info.height);
  HostFramebuffer target;
  if (!target.Create(info.width, info.height, line.Has("float"), &error)) {
    return Fail(kExitFailure, error);
  }
  PluginInstance instance;
  const std::size_t frameCount = static_cast<std::size_t>(info.frameCount);
  if (const int status =
          StartInstance(module, info.width, info.height, settings, frameCount, &instance)) {
    return status;
  }
  FrameRenderer renderer(module, instance.get(), texture, target, settings, info);

  if (renderOnly) {
    VideoDecoder decoder;
    if (!decoder.Start(inputPath, info, &error)) return Fail(kExitFailure, error);
    CatchInterrupts();
    return RenderOnly(renderer, decoder, info, inputPath, module);
  }

  // End to end: from starting the decoder to the encoder's last byte on disk.
  const Clock::time_point runStart = Clock::now();
  OutputFile output;
  if (!output.Begin(outputPath, &error)) return Fail(kExitFailure, error);
  VideoDecoder decoder;
  VideoEncoder encoder;
  if (!decoder.Start(inputPath, info, &error)) return Fail(kExitFailure, error);
  if (!encoder.Start(output.TemporaryPath(), outputPath, inputPath, info, line.Value("encode"),
                     &error)) {
    decoder.Abort();
    decoder.Finish(&error);
    return Fail(kExitFailure, error);
  }
  CatchInterrupts();

  const std::size_t frameBytes = static_cast<std::size_t>(info.width) * info.height * 4;
  Pipeline pipeline(frameBytes);
  std::thread reader([&] {
    Frame frame;
    while (pipeline.freeInputs.Pop(&frame)) {
      if (!decoder.ReadFrame(frame->data()) || !pipeline.decoded.Push(std::move(frame))) break;
    }
    pipeline.decoded.Close();
  });
  std::atomic<bool> writeFailed{false};
  std::thread writer([&] {
    Frame frame;
    while (pipeline.rendered.Pop(&frame)) {
      if (!encoder.WriteFrame(frame->data())) {
        writeFailed = true;
        break;
      }
      pipeline.freeOutputs.Push(std::move(frame));
    }
    // Unblocks the GL thread if the encoder went away.
    pipeline.freeOutputs.Close();
    pipeline.rendered.Close();
  });

  // Where the GL thread's time goes, for --verbose: waiting on either neighbour, or working.
  double waitedForDecoder = 0.0, waitedForEncoder = 0.0;

  // Hands the oldest started read-back to the writer; false when the writer is gone.
  auto passOn = [&]() {
    Frame out;
    Clock::time_point start = Clock::now();
    if (!pipeline.freeOutputs.Pop(&out)) return false;
    waitedForEncoder += SecondsSince(start);
    renderer.FinishRead(out->data());
    start = Clock::now();
    const bool pushed = pipeline.rendered.Push(std::move(out));
    waitedForEncoder += SecondsSince(start);
    return pushed;
  };

  Progress progress("video", frameCount);
  std::string failure;
  Frame frame;
  for (;;) {
    const Clock::time_point waitStart = Clock::now();
    if (!failure.empty() || !pipeline.decoded.Pop(&frame)) break;
    waitedForDecoder += SecondsSince(waitStart);
    if (InterruptRequested()) {
      failure = "interrupted";
      break;
    }
    renderer.Upload(frame->data());
    pipeline.freeInputs.Push(std::move(frame));
    if (!renderer.Draw(&failure)) break;
    if (renderer.ReadsFull() && !passOn()) break;
    progress.Update(renderer.Frames());
  }
  // Ctrl-C reaches ffmpeg too, so the decoder may have ended first.
  if (failure.empty() && InterruptRequested()) failure = "interrupted";
  while (failure.empty() && !writeFailed && renderer.ReadsQueued()) {
    if (!passOn()) break;
  }
  const std::size_t frames = renderer.Frames();
  progress.Update(frames);
  const double glSeconds = progress.Finish();

  // Stop the stages: an early stop kills the decoder, which may be blocked writing to us.
  const bool stoppedEarly = !failure.empty() || writeFailed;
  if (stoppedEarly) decoder.Abort();
  pipeline.freeInputs.Close();
  pipeline.decoded.Close();
  pipeline.rendered.Close();
  reader.join();
  writer.join();
  std::string decodeError, encodeError;
  const bool decoded = decoder.Finish(&decodeError);
  if (!failure.empty()) encoder.Abort();
  const bool encoded = encoder.Finish(&encodeError);
  const double seconds = SecondsSince(runStart);
  if (verbose && frames > 0) {
    const double perFrame = 1000.0 / static_cast<double>(frames);
    std::fprintf(stderr,
                 "plughost: per frame %.1f ms end to end; the GL thread took %.1f ms, of which "
                 "it waited %.1f ms for decoded frames and %.1f ms for the encoder, and worked "
                 "%.1f ms\n",
                 seconds * perFrame, glSeconds * perFrame, waitedForDecoder * perFrame,
                 waitedForEncoder * perFrame,
                 (glSeconds - waitedForDecoder - waitedForEncoder) * perFrame);
  }

  if (failure == "interrupted") {
    Fail(kExitInterrupted, "interrupted; '" + outputPath + "' was not written");
    return kExitInterrupted;
  }
  if (!failure.empty()) {
    Fail(kExitFailure, failure);
    PrintModuleLog();
    return kExitFailure;
  }
  if (!decoded) return Fail(kExitFailure, decodeError);
  if (!encoded || writeFailed) {
    return Fail(kExitFailure,
                encoded ? "ffmpeg stopped taking frames for '" + outputPath + "'" : encodeError);
  }
  if (frames == 0) return Fail(kExitFailure, "no frames could be decoded from '" + inputPath + "'");
  if (!output.Commit(&error)) return Fail(kExitFailure, error);
  std::printf("wrote %s: %zu frames, %ux%u, %g fps (%.1f fps end to end)\n", outputPath.c_str(),
              frames, info.width, info.height, info.framesPerSecond,
              seconds > 0.0 ? static_cast<double>(frames) / seconds : 0.0);
  return kExitSuccess;
}

}  // namespace plughost
