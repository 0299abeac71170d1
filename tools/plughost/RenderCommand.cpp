// plughost render MODULE [INPUT...] -o OUTPUT: pictures through one instance into PNG files.
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <set>

#include "tools/plughost/CommandLine.h"
#include "tools/plughost/Commands.h"
#include "tools/plughost/HostGL.h"
#include "tools/plughost/Picture.h"
#include "tools/plughost/platform/OutputFile.h"
#include "tools/plughost/platform/Terminal.h"

namespace plughost {

namespace {

const char kUsage[] =
    "usage: plughost render MODULE [INPUT...] -o OUTPUT [options]\n"
    "\n"
    "Runs pictures (PNG, JPEG, BMP, TGA, ...) through one instance of the plugin and writes\n"
    "PNG files. Without INPUT it renders the built-in test picture. With one picture OUTPUT\n"
    "is the PNG file (or a folder to write it into); with several it is a folder, created if\n"
    "needed, that receives NAME.png for each input.\n"
    "\n"
    "  -o, --output PATH     the PNG file, or the folder for several inputs\n"
    "  --set NAME=VALUE      set a parameter, by name (any case) or id; repeatable.\n"
    "                        Options take an element name, booleans on/off, true/false, 1/0;\n"
    "                        A..B ramps a value from the first picture to the last\n"
    "  --size WxH            size of the built-in test picture (default 1280x720)\n"
    "  --float               let the plugin draw into an RGBA16F framebuffer (default RGBA8)\n"
    "  --print-values        print every parameter as the instance reads it back\n"
    "  -v, --verbose         show the module's log lines\n";

constexpr std::uint32_t kDefaultWidth = 1280;
constexpr std::uint32_t kDefaultHeight = 720;
// Pictures are sent host times as frames of a clip at this rate.
constexpr double kStillFramesPerSecond = 30.0;
constexpr const char* kTestPictureName = "test-picture";

struct Job {
  std::string input;  // empty: the built-in picture
  std::string output;
};

bool IsFolder(const std::string& path) {
  std::error_code code;
  return std::filesystem::is_directory(path, code);
}

std::string OutputNameFor(const std::string& input) {
  const std::string stem =
      input.empty() ? kTestPictureName : std::filesystem::path(input).stem().string();
  return stem + ".png";
}

std::string Join(const std::string& folder, const std::string& name) {
  return (std::filesystem::path(folder) / name).string();
}

}  // namespace

int RunRender(const std::vector<std::string>& args) {
  CommandLine line;
  std::string error;
  if (!line.Parse(args,
                  {{"output", 'o', true},
                   {"set", 0, true},
                   {"size", 0, true},
                   {"float", 0, false},
                   {"print-values", 0, false}},
                  &error)) {
    return Fail(kExitUsage, error);
  }
  if (line.Has("help")) {
    std::fputs(kUsage, stdout);
    return kExitSuccess;
  }
  if (line.Positionals().empty()) {
    std::fputs(kUsage, stderr);
    return Fail(kExitUsage, "render needs a MODULE");
  }
  if (!line.Has("output")) return Fail(kExitUsage, "render needs -o OUTPUT");
  const std::string modulePath = line.Positionals()[0];
  const std::vector<std::string> inputs(line.Positionals().begin() + 1, line.Positionals().end());
  const std::string output = line.Value("output");
  std::uint32_t width = kDefaultWidth, height = kDefaultHeight;
  if (line.Has("size")) {
    if (!inputs.empty()) return Fail(kExitUsage, "--size is for the built-in test picture only");
    if (!ParseSize(line.Value("size"), &width, &height)) {
      return Fail(kExitUsage, "--size '" + line.Value("size") + "': expected WxH, e.g. 1280x720");
    }
  }

  // Where each picture goes; several inputs need a folder and distinct names.
  std::vector<Job> jobs;
  if (inputs.size() <= 1) {
    const std::string input = inputs.empty() ? "" : inputs[0];
    jobs.push_back({input, IsFolder(output) ? Join(output, OutputNameFor(input)) : output});
  } else {
    std::set<std::string> names;
    for (const std::string& input : inputs) {
      const std::string name = OutputNameFor(input);
      if (!names.insert(name).second) {
        return Fail(kExitUsage, "two inputs would both be written to '" + Join(output, name) +
                                    "'; render them separately");
      }
      jobs.push_back({input, Join(output, name)});
    }
  }
  for (const Job& job : jobs) {
    std::FILE* file = job.input.empty() ? nullptr : std::fopen(job.input.c_str(), "rb");
    if (!job.input.empty() && !file) {
      return Fail(kExitFailure, "cannot read input '" + job.input + "': " + std::strerror(errno));
    }
    if (file) std::fclose(file);
  }

  PluginModule module;
  if (const int status = LoadModule(module, modulePath, line.Has("verbose"))) return status;
  std::vector<ParameterSetting> settings;
  if (const int status = ResolveAssignments(module, line.Values("set"), &settings)) {
    return status;
  }

  // The first picture decides the instance's viewport.
  Picture picture;
  if (jobs[0].input.empty()) {
    picture = MakeTestPicture(width, height);
  } else if (!ReadPicture(jobs[0].input, &picture, &error)) {
    return Fail(kExitFailure, error);
  }
  if (inputs.size() > 1 && !EnsureFolder(output, &error)) return Fail(kExitFailure, error);

  GLSession gl;
  if (!gl.Start(&error)) return Fail(kExitFailure, error);
  if (line.Has("verbose")) std::fprintf(stderr, "plughost: OpenGL %s\n", gl.Renderer().c_str());
  const bool floatTarget = line.Has("float");
  InputTexture texture;
  HostFramebuffer target;
  {
    PluginInstance instance;
    if (const int status = StartInstance(module, picture.width, picture.height, settings,
                                         jobs.size(), &instance)) {
      return status;
    }
    if (line.Has("print-values")) PrintValues(module, instance.get());

    CatchInterrupts();
    for (std::size_t i = 0; i < jobs.size(); ++i) {
      const Job& job = jobs[i];
      if (InterruptRequested()) {
        return Fail(kExitInterrupted, "interrupted after " + std::to_string(i) + " of " +
                                          std::to_string(jobs.size()) + " pictures");
      }
      if (i > 0 && !ReadPicture(job.input, &picture, &error)) return Fail(kExitFailure, error);
      if (picture.width != texture.Info().width || picture.height != texture.Info().height) {
        texture.Create(picture.width, picture.height);
        if (!target.Create(picture.width, picture.height, floatTarget, &error)) {
          return Fail(kExitFailure, error);
        }
        if (i > 0 &&
            !module.ResizeInstance(instance.get(), {0, 0, picture.width, picture.height})) {
          return Fail(kExitFailure, module.DisplayName() + " refused the new size " +
                                        std::to_string(picture.width) + "x" +
                                        std::to_string(picture.height) + " (ResizeInstance)");
        }
      }
      texture.Upload(picture.rgba.data(), true);
      if (i > 0 && !ApplySettings(module, instance.get(), settings, i, jobs.size(), true, &error)) {
        return Fail(kExitFailure, error);
      }
      module.SendHostTime(instance.get(), static_cast<double>(i) / kStillFramesPerSecond);
      const TextureInfo* textures[] = {&texture.Info()};
      const FrameInput frame{1, 0, textures, target.Name()};
      if (module.DrawFrame(instance.get(), frame) != kSuccess) {
        Fail(kExitFailure, module.DisplayName() + " could not draw '" +
                               (job.input.empty() ? kTestPictureName : job.input) +
                               "' (DrawFrame failed)");
        PrintModuleLog();
        return kExitFailure;
      }
      const std::string glErrors = TakeGLErrors();
      if (!glErrors.empty() && line.Has("verbose")) {
        std::fprintf(stderr, "plughost: GL errors after DrawFrame: %s\n", glErrors.c_str());
      }
      target.ReadBack(picture.rgba.data(), true);
      if (!WritePng(job.output, picture, &error)) return Fail(kExitFailure, error);
      if (jobs.size() > 1) {
        std::printf("[%zu/%zu] %s -> %s\n", i + 1, jobs.size(), job.input.c_str(),
                    job.output.c_str());
      } else {
        std::printf("wrote %s (%ux%u)\n", job.output.c_str(), picture.width, picture.height);
      }
      std::fflush(stdout);
    }
  }
  return kExitSuccess;
}

}  // namespace plughost
