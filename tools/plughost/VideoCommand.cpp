// plughost video MODULE INPUT OUTPUT: every frame of a clip through one instance.
//
// Four stages run at once, joined by bounded queues that recycle a fixed set of frame buffers:
// a reader thread pulls decoded frames from one ffmpeg, this (GL) thread uploads, draws and
// starts each frame's read-back while it finishes the previous one's, and a writer thread
// feeds the encoding ffmpeg. No stage can run more than a few frames ahead of another.
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
    "  -v, --verbose      show the module's log lines\n";

// Frames in flight between the stages: enough to smooth out uneven stage times.
constexpr std::size_t kQueuedFrames = 3;
constexpr std::size_t kFrameBuffers = kQueuedFrames + 2;

using Frame = std::unique_ptr<std::vector<std::uint8_t>>;

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

}  // namespace

int RunVideo(const std::vector<std::string>& args) {
  CommandLine line;
  std::string error;
  if (!line.Parse(args, {{"set", 0, true}, {"float", 0, false}, {"encode", 0, true}}, &error)) {
    return Fail(kExitUsage, error);
  }
  if (line.Has("help")) {
    std::fputs(kUsage, stdout);
    return kExitSuccess;
  }
  if (line.Positionals().size() != 3) {
    std::fputs(kUsage, stderr);
    return Fail(kExitUsage, "video takes MODULE INPUT OUTPUT");
  }
  const std::string& modulePath = line.Positionals()[0];
  const std::string& inputPath = line.Positionals()[1];
  const std::string& outputPath = line.Positionals()[2];
  if (outputPath.find('%') != std::string::npos) {
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
  using Clock = std::chrono::steady_clock;
  double waitedForDecoder = 0.0, waitedForEncoder = 0.0;
  auto secondsSince = [](Clock::time_point start) {
    return std::chrono::duration<double>(Clock::now() - start).count();
  };

  // Hands the oldest queued read-back to the writer; false when the writer is gone.
  auto passOn = [&]() {
    Frame out;
    Clock::time_point start = Clock::now();
    if (!pipeline.freeOutputs.Pop(&out)) return false;
    waitedForEncoder += secondsSince(start);
    target.FinishReadBack(out->data());
    start = Clock::now();
    const bool pushed = pipeline.rendered.Push(std::move(out));
    waitedForEncoder += secondsSince(start);
    return pushed;
  };

  Progress progress("video", frameCount);
  std::string failure;
  std::size_t frames = 0, queuedReads = 0;
  Frame frame;
  for (;;) {
    const Clock::time_point waitStart = Clock::now();
    if (!failure.empty() || !pipeline.decoded.Pop(&frame)) break;
    waitedForDecoder += secondsSince(waitStart);
    if (InterruptRequested()) {
      failure = "interrupted";
      break;
    }
    texture.Upload(frame->data(), false);
    pipeline.freeInputs.Push(std::move(frame));
    if (frames > 0 &&
        !ApplySettings(module, instance.get(), settings, frames, frameCount, true, &failure)) {
      break;
    }
    module.SendHostTime(instance.get(), static_cast<double>(frames) / info.framesPerSecond);
    const TextureInfo* textures[] = {&texture.Info()};
    const FrameInput input{1, 0, textures, target.Name()};
    if (module.DrawFrame(instance.get(), input) != kSuccess) {
      failure = module.DisplayName() + " could not draw frame " + std::to_string(frames) +
                " (DrawFrame failed)";
      break;
    }
    target.StartReadBack();
    ++queuedReads;
    ++frames;
    if (queuedReads == 2) {
      --queuedReads;
      if (!passOn()) break;
    }
    progress.Update(frames);
  }
  // Ctrl-C reaches ffmpeg too, so the decoder may have ended first.
  if (failure.empty() && InterruptRequested()) failure = "interrupted";
  while (failure.empty() && !writeFailed && queuedReads > 0) {
    --queuedReads;
    if (!passOn()) break;
  }
  progress.Update(frames);
  const double seconds = progress.Finish();
  if (verbose && frames > 0) {
    const double perFrame = 1000.0 / static_cast<double>(frames);
    std::fprintf(stderr,
                 "plughost: per frame %.1f ms; the GL thread waited %.1f ms for decoded frames "
                 "and %.1f ms for the encoder, and worked %.1f ms\n",
                 seconds * perFrame, waitedForDecoder * perFrame, waitedForEncoder * perFrame,
                 (seconds - waitedForDecoder - waitedForEncoder) * perFrame);
  }

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
