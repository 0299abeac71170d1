// plughost driven as its users drive it: the built binary run on the built effect and on the
// tests' own modules, its files read back with stb and ffprobe. The parameter resolution is
// also run in-process against the loaded effect.
#include <gtest/gtest.h>
#include <stdlib.h>

#include <cmath>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <regex>
#include <sstream>
#include <string>
#include <vector>

#include "tests/support/LoadedModule.h"
#include "tools/glcontext/GLContext.h"
#include "tools/plughost/ParameterSettings.h"
#include "tools/plughost/Picture.h"
#include "tools/plughost/PluginModule.h"
#include "tools/plughost/platform/ChildProcess.h"

namespace {

namespace fs = std::filesystem;
using plughost::Picture;

struct Outcome {
  int status = -1;
  std::string out;
  std::string err;
};

// One display for every plughost this test process starts, instead of one Xvfb each.
void ShareOneDisplay() {
  static glhost::HeadlessDisplay display;
  std::string error;
  display.Ensure(&error);
}

// Runs a program and collects what it says; `path` replaces PATH when not empty.
Outcome Execute(std::vector<std::string> argv, const std::string& path = "") {
  if (!path.empty()) argv.insert(argv.begin(), {"env", "PATH=" + path});
  Outcome run;
  std::string startError;
  if (!plughost::RunAndCollect(argv, &run.out, &run.status, &run.err, &startError)) {
    run.err = "cannot start " + argv[0] + ": " + startError;
  }
  return run;
}

Outcome Plughost(std::vector<std::string> args, const std::string& path = "") {
  args.insert(args.begin(), PLUGHOST_PATH);
  return Execute(args, path);
}

std::string Vex() {
  return testhost::VexModulePath();
}

void WritePicture(const std::string& path, std::uint32_t width, std::uint32_t height,
                  std::uint8_t grey) {
  Picture picture;
  picture.width = width;
  picture.height = height;
  picture.rgba.assign(static_cast<std::size_t>(width) * height * 4, grey);
  for (std::size_t i = 3; i < picture.rgba.size(); i += 4) picture.rgba[i] = 255;
  std::string error;
  ASSERT_TRUE(plughost::WritePng(path, picture, &error)) << error;
}

Picture ReadBack(const std::string& path) {
  Picture picture;
  std::string error;
  EXPECT_TRUE(plughost::ReadPicture(path, &picture, &error)) << error;
  return picture;
}

std::string FileText(const std::string& path) {
  std::ifstream file(path, std::ios::binary);
  std::stringstream text;
  text << file.rdbuf();
  return text.str();
}

std::vector<std::string> FolderEntries(const std::string& folder) {
  std::vector<std::string> names;
  for (const auto& entry : fs::directory_iterator(folder)) {
    names.push_back(entry.path().filename().string());
  }
  std::sort(names.begin(), names.end());
  return names;
}

class PlughostTest : public ::testing::Test {
 protected:
  void SetUp() override {
    ShareOneDisplay();
    char pattern[] = "/tmp/plughost-test-XXXXXX";
    ASSERT_NE(mkdtemp(pattern), nullptr);
    dir = pattern;
  }
  void TearDown() override {
    std::error_code ignored;
    fs::remove_all(dir, ignored);
  }
  std::string In(const std::string& name) const { return dir + "/" + name; }

  // A two-second 320x240 clip at 10 fps with a sine tone.
  std::string MakeClip() {
    const std::string clip = In("clip.mp4");
    const Outcome made = Execute({"ffmpeg", "-v", "error", "-y", "-f", "lavfi", "-i",
                                  "testsrc2=size=320x240:rate=10:duration=2", "-f", "lavfi", "-i",
                                  "sine=duration=2", "-shortest", "-pix_fmt", "yuv420p", clip});
    EXPECT_EQ(made.status, 0) << made.err;
    return clip;
  }

  std::string dir;
};

// --- info -------------------------------------------------------------------------------------

TEST_F(PlughostTest, InfoShowsIdentityParametersAndElements) {
  const Outcome run = Plughost({"info", Vex()});
  ASSERT_EQ(run.status, 0) << run.err;
  for (const char* line : {"Identifier    VA01", "Name          VEX ASCII", "Interface     2.1",
                           "Version       2.1", "Type          effect", "Inputs        1 to 1",
                           "About         Lanternfish Studios", "Parameters (8)"}) {
    EXPECT_NE(run.out.find(line), std::string::npos) << line << "\n" << run.out;
  }
  EXPECT_NE(run.out.find("ASCII art effect \xE2\x80\x94 converts video to character grid"),
            std::string::npos);
  struct Row {
    const char* id;
    const char* name;
    const char* type;
    const char* defaultValue;
  };
  const Row rows[] = {{"0", "Char Size", "float", "0\\.3"},
                      {"1", "Color Mode", "option", "0 \\(Green Terminal\\)"},
                      {"2", "Edge Boost", "float", "0\\.3"},
                      {"3", "Invert", "boolean", "0 \\(off\\)"},
                      {"4", "Blend", "float", "1"},
                      {"5", "Contrast", "float", "0\\.3"},
                      {"6", "Hue Shift", "float", "0"},
                      {"7", "Speed", "float", "0\\.5"}};
  for (const Row& row : rows) {
    const std::regex pattern(std::string("\n +") + row.id + " +" + row.name + " +" + row.type +
                             " +" + row.defaultValue + " +0 \\.\\. 1\n");
    EXPECT_TRUE(std::regex_search(run.out, pattern)) << row.name << "\n" << run.out;
  }
  const char* elements[] = {"0 = Green Terminal", "1 = Source Color", "2 = White",
                            "3 = Zirco Pink"};
  for (const char* element : elements) {
    EXPECT_NE(run.out.find(std::string("element ") + element), std::string::npos) << element;
  }
}

TEST_F(PlughostTest, InfoTakesEverythingFromTheModule) {
  const Outcome run = Plughost({"info", PROBE_MODULE_PATH});
  ASSERT_EQ(run.status, 0) << run.err;
  for (const char* text :
       {"Identifier    PRB1", "Name          Plughost Probe", "Version       3.7",
        "Inputs        0 to 1", "Parameters (4)", "element 0.5 = Mid"}) {
    EXPECT_NE(run.out.find(text), std::string::npos) << text << "\n" << run.out;
  }
  EXPECT_TRUE(std::regex_search(run.out, std::regex("\n +3 +Caption +text +\"\" +-\n"))) << run.out;
  EXPECT_TRUE(std::regex_search(run.out, std::regex("\n +1 +Mode +option +0\\.5 \\(Mid\\)")))
      << run.out;
}

// --- render -----------------------------------------------------------------------------------

TEST_F(PlughostTest, RenderWithBlendZeroGivesTheTestPictureBackUpright) {
  // Blend 0 draws the input unchanged, so this checks the whole road: the picture, the
  // flip on upload, the texture the plugin samples, and the flip on read-back.
  const Outcome run =
      Plughost({"render", Vex(), "--size", "96x54", "--set", "Blend=0", "-o", In("pass.png")});
  ASSERT_EQ(run.status, 0) << run.err;
  EXPECT_NE(run.out.find("wrote " + In("pass.png") + " (96x54)"), std::string::npos);
  const Picture out = ReadBack(In("pass.png"));
  const Picture expected = plughost::MakeTestPicture(96, 54);
  ASSERT_EQ(out.width, 96u);
  ASSERT_EQ(out.height, 54u);
  int worst = 0;
  for (std::size_t i = 0; i < out.rgba.size(); ++i) {
    worst = std::max(worst, std::abs(int(out.rgba[i]) - int(expected.rgba[i])));
  }
  EXPECT_LE(worst, 1);
}

TEST_F(PlughostTest, RenderOfTheTestPictureIsTheGreenCharacterGrid) {
  const Outcome run = Plughost({"render", Vex(), "--size", "320x180", "-o", In("grid.png")});
  ASSERT_EQ(run.status, 0) << run.err;
  const Picture out = ReadBack(In("grid.png"));
  ASSERT_EQ(out.width, 320u);
  ASSERT_EQ(out.height, 180u);
  const Picture input = plughost::MakeTestPicture(320, 180);
  // Green Terminal: every pixel is a shade of (0.2, 1.0, 0.1); bright and dark cells both occur.
  std::size_t changed = 0, bright = 0, dark = 0;
  for (std::size_t i = 0; i < out.rgba.size(); i += 4) {
    const int r = out.rgba[i], g = out.rgba[i + 1], b = out.rgba[i + 2];
    ASSERT_GE(g, r) << "pixel " << i / 4;
    ASSERT_GE(g, b) << "pixel " << i / 4;
    ASSERT_EQ(out.rgba[i + 3], 255);
    if (std::abs(r - input.rgba[i]) + std::abs(g - input.rgba[i + 1]) > 30) ++changed;
    if (g > 200) ++bright;
    if (g < 10) ++dark;
  }
  const std::size_t pixels = out.rgba.size() / 4;
  EXPECT_GT(changed, pixels / 2);
  EXPECT_GT(bright, pixels / 50);
  EXPECT_GT(dark, pixels / 10);
}

class PlughostFramebufferTest : public PlughostTest, public ::testing::WithParamInterface<bool> {};

TEST_P(PlughostFramebufferTest, BlackInputGivesEmptyCellsEverywhere) {
  WritePicture(In("black.png"), 40, 30, 0);
  std::vector<std::string> args = {"render", Vex(), In("black.png"), "-o", In("out.png")};
  if (GetParam()) args.push_back("--float");
  const Outcome run = Plughost(args);
  ASSERT_EQ(run.status, 0) << run.err;
  const Picture out = ReadBack(In("out.png"));
  ASSERT_EQ(out.width, 40u);
  ASSERT_EQ(out.height, 30u);
  // An empty cell is the character colour times 0.03: (0.006, 0.03, 0.003) * 255.
  for (std::size_t i = 0; i < out.rgba.size(); i += 4) {
    ASSERT_NEAR(out.rgba[i], 2, 1) << "pixel " << i / 4;
    ASSERT_NEAR(out.rgba[i + 1], 8, 1) << "pixel " << i / 4;
    ASSERT_NEAR(out.rgba[i + 2], 1, 1) << "pixel " << i / 4;
    ASSERT_EQ(out.rgba[i + 3], 255);
  }
}

INSTANTIATE_TEST_SUITE_P(Rgba8AndFloat, PlughostFramebufferTest, ::testing::Bool(),
                         [](const ::testing::TestParamInfo<bool>& info) {
                           return info.param ? "Rgba16F" : "Rgba8";
                         });

TEST_F(PlughostTest, SettingsByNameIdAndElementReachTheInstance) {
  WritePicture(In("white.png"), 64, 48, 255);
  const Outcome run =
      Plughost({"render", Vex(), In("white.png"), "-o", In("out.png"), "--print-values", "--set",
                "color mode=white", "--set", "0=0.5", "--set", "INVERT=off", "--set", "7=0.875"});
  ASSERT_EQ(run.status, 0) << run.err;
  for (const char* line : {"Color Mode = 2 (White)\n", "Char Size = 0.5\n", "Invert = 0 (off)\n",
                           "Speed = 0.875\n", "Blend = 1\n"}) {
    EXPECT_NE(run.out.find(line), std::string::npos) << line << "\n" << run.out;
  }
  // And the picture shows it: white glyphs, 0.9 grey where lit.
  const Picture out = ReadBack(In("out.png"));
  int brightest = 0;
  for (std::size_t i = 0; i < out.rgba.size(); i += 4) {
    EXPECT_NEAR(out.rgba[i], out.rgba[i + 1], 2);
    EXPECT_NEAR(out.rgba[i + 1], out.rgba[i + 2], 2);
    brightest = std::max<int>(brightest, out.rgba[i]);
  }
  EXPECT_NEAR(brightest, 230, 2);
}

TEST_F(PlughostTest, TextParametersAreSetAndReadBack) {
  const Outcome run =
      Plughost({"render", PROBE_MODULE_PATH, "--size", "8x8", "-o", In("p.png"), "--print-values",
                "--set", "caption=hello..world", "--set", "Mode=High", "--set", "Enabled=false"});
  ASSERT_EQ(run.status, 0) << run.err;
  for (const char* line : {"Caption = \"hello..world\"\n", "Mode = 1 (High)\n",
                           "Enabled = 0 (off)\n", "Level = 0.25\n"}) {
    EXPECT_NE(run.out.find(line), std::string::npos) << line << "\n" << run.out;
  }
}

TEST_F(PlughostTest, SeveralInputsGoToAFolderWithRampsAndFrameTimes) {
  WritePicture(In("a.png"), 32, 24, 0);
  WritePicture(In("b.png"), 40, 30, 255);
  const Outcome run = Plughost({"render", PROBE_MODULE_PATH, In("a.png"), In("b.png"), "-o",
                                In("out"), "--set", "Level=0..1"});
  ASSERT_EQ(run.status, 0) << run.err;
  EXPECT_NE(run.out.find("[1/2] " + In("a.png") + " -> " + In("out/a.png")), std::string::npos)
      << run.out;
  EXPECT_NE(run.out.find("[2/2] " + In("b.png") + " -> " + In("out/b.png")), std::string::npos);
  const Picture first = ReadBack(In("out/a.png"));
  const Picture second = ReadBack(In("out/b.png"));
  ASSERT_EQ(first.width, 32u);
  ASSERT_EQ(second.width, 40u);  // the instance was resized for the second picture
  // Green is Level (ramped 0 to 1); red is the host time, 1/30 s for the second picture.
  EXPECT_EQ(first.rgba[1], 0);
  EXPECT_EQ(second.rgba[1], 255);
  EXPECT_EQ(first.rgba[0], 0);
  EXPECT_NEAR(second.rgba[0], 255.0 / 30.0, 1.0);
  // The probe whitens its lowest GL rows: they must come out as the bottom of the file.
  const std::size_t lastRow = (first.height - 1) * first.width * 4;
  EXPECT_EQ(first.rgba[lastRow + 0], 255);
  EXPECT_EQ(first.rgba[lastRow + 1], 255);
}

// --- parameter resolution against the loaded effect --------------------------------------------

TEST(PlughostParameters, ResolveByTheModulesOwnNamesTypesAndElements) {
  plughost::PluginModule module;
  std::string error;
  ASSERT_TRUE(module.Load(Vex(), &error)) << error;
  struct Case {
    const char* assignment;
    std::uint32_t id;
    float from, to;
    bool ramp;
  };
  const Case cases[] = {
      {"Color Mode=White", 1, 2.0f, 2.0f, false},
      {"color mode = zirco pink", 1, 3.0f, 3.0f, false},
      {"1=Source Color", 1, 1.0f, 1.0f, false},
      {"Color Mode=7", 1, 7.0f, 7.0f, false},
      {"Invert=on", 3, 1.0f, 1.0f, false},
      {"invert=False", 3, 0.0f, 0.0f, false},
      {"Invert=1", 3, 1.0f, 1.0f, false},
      {"CHAR SIZE=0.75", 0, 0.75f, 0.75f, false},
      {"Contrast=1.5", 5, 1.5f, 1.5f, false},
      {"Blend=1..0", 4, 1.0f, 0.0f, true},
      {"Hue Shift=-0.5..0.5", 6, -0.5f, 0.5f, true},
      {"7=.25", 7, 0.25f, 0.25f, false},
  };
  for (const Case& c : cases) {
    plughost::ParameterSetting setting;
    ASSERT_TRUE(plughost::ResolveSetting(module.Parameters(), c.assignment, &setting, &error))
        << c.assignment << ": " << error;
    EXPECT_EQ(setting.parameter->id, c.id) << c.assignment;
    EXPECT_EQ(setting.from, c.from) << c.assignment;
    EXPECT_EQ(setting.to, c.to) << c.assignment;
    EXPECT_EQ(setting.ramp, c.ramp) << c.assignment;
  }
  plughost::ParameterSetting ramp;
  ASSERT_TRUE(plughost::ResolveSetting(module.Parameters(), "Blend=1..0", &ramp, &error));
  EXPECT_EQ(ramp.ValueAt(0, 5), 1.0f);
  EXPECT_EQ(ramp.ValueAt(2, 5), 0.5f);
  EXPECT_EQ(ramp.ValueAt(4, 5), 0.0f);
  EXPECT_EQ(ramp.ValueAt(9, 5), 0.0f);  // more frames than announced stay at the end value
  EXPECT_EQ(ramp.ValueAt(0, 1), 1.0f);
}

TEST(PlughostParameters, RefuseUnknownNamesAndValuesThatDoNotParse) {
  plughost::PluginModule module;
  std::string error;
  ASSERT_TRUE(module.Load(Vex(), &error)) << error;
  const std::pair<const char*, const char*> cases[] = {
      {"Colour Mode=White",
       "no parameter named 'Colour Mode' (valid names: Char Size, Color Mode, Edge Boost, "
       "Invert, Blend, Contrast, Hue Shift, Speed; or ids 0 to 7)"},
      {"8=1", "no parameter named '8'"},
      {"Char Size", "expected NAME=VALUE"},
      {"Char Size=big", "Char Size: 'big' is not a number"},
      {"Char Size=nan", "'nan' is not a number"},
      {"Char Size=", "'' is not a number"},
      {"Blend=1..x", "Blend: 'x' is not a number"},
      {"Color Mode=Blue",
       "Color Mode: 'Blue' is neither one of its elements (Green Terminal, Source Color, White, "
       "Zirco Pink) nor a number"},
      {"Invert=maybe", "Invert: 'maybe' is not a boolean value (use on/off, true/false or 1/0)"},
  };
  for (const auto& c : cases) {
    plughost::ParameterSetting setting;
    EXPECT_FALSE(plughost::ResolveSetting(module.Parameters(), c.first, &setting, &error))
        << c.first;
    EXPECT_NE(error.find(c.second), std::string::npos) << c.first << ": " << error;
  }
}

// --- errors -----------------------------------------------------------------------------------

struct ErrorCase {
  const char* name;
  std::vector<std::string> args;  // $DIR is the test's folder, $VEX the effect
  int status;
  std::vector<std::string> messages;  // $DIR as above
  std::string path = "";              // PATH for the run, when not empty
};

std::string Expand(std::string text, const std::string& dir) {
  for (const auto& [key, value] :
       {std::pair<std::string, std::string>{"$DIR", dir}, {"$VEX", testhost::VexModulePath()}}) {
    for (std::size_t at = text.find(key); at != std::string::npos; at = text.find(key)) {
      text.replace(at, key.size(), value);
    }
  }
  return text;
}

void PrintTo(const ErrorCase& c, std::ostream* out) {
  *out << c.name;
}

class PlughostErrorTest : public PlughostTest, public ::testing::WithParamInterface<ErrorCase> {};

TEST_P(PlughostErrorTest, FailsWithOneClearLineAndLeavesOutputsAlone) {
  const ErrorCase& c = GetParam();
  std::ofstream(In("notes.txt")) << "not a picture, not a video, not a module\n";
  std::ofstream(In("keep.png")) << "old";
  std::ofstream(In("keep.mp4")) << "old";
  if (c.args[0] == "video") MakeClip();
  const std::vector<std::string> before = FolderEntries(dir);
  std::vector<std::string> args;
  for (const std::string& arg : c.args) args.push_back(Expand(arg, dir));

  const Outcome run = Plughost(args, c.path);
  EXPECT_EQ(run.status, c.status) << run.err;
  // One line of plughost's own (progress lines and the module's log may surround it).
  std::size_t ownLines = 0;
  std::istringstream lines(run.err);
  for (std::string line; std::getline(lines, line);) ownLines += line.rfind("plughost: ", 0) == 0;
  EXPECT_EQ(ownLines, 1u) << run.err;
  for (const std::string& message : c.messages) {
    EXPECT_NE(run.err.find(Expand(message, dir)), std::string::npos)
        << "missing: " << Expand(message, dir) << "\nstderr: " << run.err;
  }
  // Nothing was written: no new file (not even a temporary one), the old outputs unchanged.
  EXPECT_EQ(FolderEntries(dir), before);
  EXPECT_EQ(FileText(In("keep.png")), "old");
  EXPECT_EQ(FileText(In("keep.mp4")), "old");
}

const ErrorCase kErrorCases[] = {
    {"ModuleMissing",
     {"info", "$DIR/missing.so"},
     1,
     {"cannot load module '$DIR/missing.so': no such file"}},
    {"ModuleNotALibrary",
     {"render", "$DIR/notes.txt", "-o", "$DIR/keep.png"},
     1,
     {"cannot load module '$DIR/notes.txt': "}},
    {"ModuleWithoutPlugMain",
     {"info", NO_ENTRY_MODULE_PATH},
     1,
     {"is not a plugin module: it does not export plugMain"}},
    {"CreateInstanceFails",
     {"render", REFUSING_MODULE_PATH, "-o", "$DIR/keep.png"},
     1,
     {"Plughost Probe could not create an instance (CreateInstance failed); its log:\n",
      "module log: ProbePlugin: InitGL refused on purpose"}},
    {"UnknownParameter",
     {"render", "$VEX", "-o", "$DIR/keep.png", "--set", "Colour=1"},
     2,
     {"no parameter named 'Colour' (valid names: Char Size, Color Mode, Edge Boost"}},
    {"ValueDoesNotParse",
     {"render", "$VEX", "-o", "$DIR/keep.png", "--set", "Blend=lots"},
     2,
     {"Blend: 'lots' is not a number"}},
    {"InputMissing",
     {"render", "$VEX", "$DIR/none.png", "-o", "$DIR/keep.png"},
     1,
     {"cannot read input '$DIR/none.png': No such file or directory"}},
    {"InputNotAPicture",
     {"render", "$VEX", "$DIR/notes.txt", "-o", "$DIR/keep.png"},
     1,
     {"cannot read input '$DIR/notes.txt': "}},
    {"FfmpegMissing",
     {"video", "$VEX", "$DIR/clip.mp4", "$DIR/keep.mp4"},
     1,
     {"ffprobe not found: install ffmpeg"},
     "/nonexistent"},
    {"VideoInputNotAVideo",
     {"video", "$VEX", "$DIR/notes.txt", "$DIR/keep.mp4"},
     1,
     {"cannot read video '$DIR/notes.txt': "}},
    {"FfmpegCannotEncode",
     {"video", "$VEX", "$DIR/clip.mp4", "$DIR/keep.unknownformat"},
     1,
     {"ffmpeg could not encode '$DIR/keep.unknownformat': "}},
    {"UnknownOption",
     {"render", "$VEX", "-o", "$DIR/keep.png", "--colour"},
     2,
     {"unknown option '--colour'"}},
};

INSTANTIATE_TEST_SUITE_P(Cases, PlughostErrorTest, ::testing::ValuesIn(kErrorCases),
                         [](const ::testing::TestParamInfo<ErrorCase>& info) {
                           return std::string(info.param.name);
                         });

// --- video ------------------------------------------------------------------------------------

struct Probed {
  std::string video;  // "width=..|height=..|nb_read_frames=.."
  bool audio = false;
};

Probed ProbeStreams(const std::string& path) {
  const Outcome run =
      Execute({"ffprobe", "-v", "error", "-count_frames", "-show_entries",
               "stream=codec_type,width,height,nb_read_frames", "-of", "compact=p=0", path});
  EXPECT_EQ(run.status, 0) << run.err;
  Probed probed;
  std::istringstream lines(run.out);
  for (std::string line; std::getline(lines, line);) {
    if (line.rfind("codec_type=video|", 0) == 0) probed.video = line.substr(17);
    if (line.rfind("codec_type=audio", 0) == 0) probed.audio = true;
  }
  return probed;
}

// Every frame of a video as RGBA, top row first.
std::vector<std::uint8_t> DecodeFrames(const std::string& path) {
  const Outcome run =
      Execute({"ffmpeg", "-v", "error", "-i", path, "-f", "rawvideo", "-pix_fmt", "rgba", "-"});
  EXPECT_EQ(run.status, 0) << run.err;
  return std::vector<std::uint8_t>(run.out.begin(), run.out.end());
}

double MeanDifference(const std::vector<std::uint8_t>& a, const std::vector<std::uint8_t>& b,
                      std::size_t frame, std::size_t frameBytes) {
  double sum = 0.0;
  for (std::size_t i = frame * frameBytes; i < (frame + 1) * frameBytes; ++i) {
    sum += std::abs(int(a[i]) - int(b[i]));
  }
  return sum / static_cast<double>(frameBytes);
}

TEST_F(PlughostTest, VideoKeepsFramesSizeAndAudioAndARampChangesTheFrames) {
  const std::string clip = MakeClip();
  const Outcome run = Plughost({"video", Vex(), clip, In("out.mp4"), "--set", "Blend=1..0"});
  ASSERT_EQ(run.status, 0) << run.err;
  EXPECT_NE(run.out.find("wrote " + In("out.mp4") + ": 20 frames, 320x240"), std::string::npos)
      << run.out;
  const Probed source = ProbeStreams(clip);
  const Probed result = ProbeStreams(In("out.mp4"));
  EXPECT_EQ(source.video, "width=320|height=240|nb_read_frames=20");
  EXPECT_EQ(result.video, source.video);
  EXPECT_TRUE(result.audio);

  // Blend runs from 1 (all characters) on the first frame to 0 (the source) on the last.
  const std::size_t frameBytes = 320 * 240 * 4;
  const std::vector<std::uint8_t> in = DecodeFrames(clip);
  const std::vector<std::uint8_t> out = DecodeFrames(In("out.mp4"));
  ASSERT_EQ(in.size(), 20 * frameBytes);
  ASSERT_EQ(out.size(), in.size());
  EXPECT_GT(MeanDifference(in, out, 0, frameBytes), 40.0);
  EXPECT_GT(MeanDifference(in, out, 10, frameBytes), 15.0);
  EXPECT_LT(MeanDifference(in, out, 19, frameBytes), 6.0);
}

// --render-only draws the whole clip but writes nothing, with or without an OUTPUT named.
TEST_F(PlughostTest, VideoRenderOnlyDrawsEveryFrameWritesNothingAndPrintsItsRate) {
  const std::string clip = MakeClip();
  const std::vector<std::string> before = FolderEntries(dir);
  const std::vector<std::vector<std::string>> commands = {
      {"video", Vex(), clip, In("out.mp4"), "--render-only", "--set", "Blend=1..0"},
      {"video", Vex(), clip, "--render-only"}};
  const std::regex rate(R"(render only VEX ASCII: 20 frames, 320x240, ([0-9.]+) fps)");
  for (const std::vector<std::string>& command : commands) {
    const Outcome run = Plughost(command);
    ASSERT_EQ(run.status, 0) << run.err;
    std::smatch found;
    ASSERT_TRUE(std::regex_search(run.out, found, rate)) << run.out;
    EXPECT_GT(std::stod(found[1].str()), 0.0) << run.out;
    EXPECT_EQ(FolderEntries(dir), before);
  }
}

TEST_F(PlughostTest, VideoSendsEachFrameItsTimeAndRampsEveryFrame) {
  const std::string clip = MakeClip();
  const Outcome run =
      Plughost({"video", PROBE_MODULE_PATH, clip, In("probe.mkv"), "--set", "Level=0..1"});
  ASSERT_EQ(run.status, 0) << run.err;
  const std::vector<std::uint8_t> out = DecodeFrames(In("probe.mkv"));
  const std::size_t frameBytes = 320 * 240 * 4;
  ASSERT_EQ(out.size(), 20 * frameBytes);
  for (std::size_t frame = 0; frame < 20; ++frame) {
    const std::uint8_t* centre = &out[frame * frameBytes + (120 * 320 + 160) * 4];
    const double seconds = frame / 10.0;
    // Red: the fraction of the frame's time (10 fps); green: Level, 0 to 1 over 20 frames.
    EXPECT_NEAR(centre[0], (seconds - std::floor(seconds)) * 255.0, 6.0) << "frame " << frame;
    EXPECT_NEAR(centre[1], frame / 19.0 * 255.0, 6.0) << "frame " << frame;
  }
}

}  // namespace
