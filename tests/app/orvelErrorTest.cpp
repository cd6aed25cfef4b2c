// End-to-end: every bad input gives one clear line, the right exit status, and no output file.
#include <gtest/gtest.h>

#include <sstream>

#include "orvelTestSupport.h"

namespace {

// Files every case may use: a good input, one without depth, a garbage file, a script with a
// bad line, a script with an unknown knob.
void writeFixtures(const ScratchFolder& dir) {
  writeImage(dir.path("in.exr"), makeImage(8, 6, {"R", "G", "B", "A", "Z"},
                                           [](int, int, int c) { return c == 4 ? 100.0f : 0.5f; }));
  writeImage(dir.path("flat.exr"), makeImage(8, 6, {"R", "G", "B"}, [](int, int, int) { return 0.5f; }));
  writeText(dir.path("garbage.exr"), "this is not an image at all");
  writeText(dir.path("badline.txt"), "bloom 0.5\nmultiplier\n");
  writeText(dir.path("unknown.txt"), "# fine\nfocalPlan 10\n");
}

struct ErrorCase {
  const char* name;
  std::vector<std::string> args;  // "@" stands for the scratch folder
  int exitCode;
  const char* mentions;  // expected in stderr
};

std::vector<std::string> resolve(const std::vector<std::string>& args, const ScratchFolder& dir) {
  std::vector<std::string> out;
  for (const std::string& a : args) {
    std::string s = a;
    for (size_t at; (at = s.find('@')) != std::string::npos;) s.replace(at, 1, dir.path(""));
    out.push_back(s);
  }
  return out;
}

class BadInputs : public ::testing::TestWithParam<ErrorCase> {};

TEST_P(BadInputs, ExitWithOneClearMessageAndNoOutput) {
  ScratchFolder dir;
  writeFixtures(dir);
  const std::vector<std::string> before = dir.files();
  const RunResult r = runOrvel(resolve(GetParam().args, dir));
  EXPECT_EQ(r.exitCode, GetParam().exitCode) << r.err;
  EXPECT_NE(r.err.find(GetParam().mentions), std::string::npos) << r.err;
  // Messages only: each line an error or a warning, and one error at least.
  std::istringstream lines(r.err);
  int errors = 0;
  for (std::string line; std::getline(lines, line);) {
    errors += line.rfind("error: ", 0) == 0;
    EXPECT_TRUE(line.rfind("error: ", 0) == 0 || line.rfind("warning: ", 0) == 0) << line;
  }
  EXPECT_GE(errors, 1) << r.err;
  EXPECT_EQ(dir.files(), before) << "an output or temporary file was left behind";
}

const std::vector<ErrorCase> kCases = {
    {"MissingInput", {"render", "@nothere.exr", "-o", "@out.exr"}, 2, "no such file"},
    {"UnreadableInput", {"render", "@garbage.exr", "-o", "@out.exr"}, 2, "cannot read"},
    {"FolderAsInput", {"render", "@", "-o", "@out.exr"}, 2, "folder"},
    {"NoDepthChannel", {"render", "@flat.exr", "-o", "@out.exr"}, 2, "its channels: R, G, B"},
    {"UnknownChannelName",
     {"render", "@in.exr", "-o", "@out.exr", "--set", "depthChannel=nochannel"},
     2,
     "unknown channel 'nochannel'"},
    {"DepthChannelNotInFile",
     {"render", "@flat.exr", "-o", "@out.exr", "--set", "depthChannel=A"},
     2,
     "no depth channel rgba.alpha"},
    {"UnknownKnob",
     {"render", "@in.exr", "-o", "@out.exr", "--set", "focalPlan=10"},
     2,
     "did you mean focalPlane"},
    {"FarFromAnyKnob",
     {"render", "@in.exr", "-o", "@out.exr", "--set", "qqqqqq=1"},
     2,
     "unknown knob 'qqqqqq'"},
    {"BadNumber", {"render", "@in.exr", "-o", "@out.exr", "--set", "focalPlane=abc"}, 2, "focalPlane"},
    {"BadWholeNumber",
     {"render", "@in.exr", "-o", "@out.exr", "--set", "max_kernelsize=2.5"},
     2,
     "whole number"},
    {"BadChoice",
     {"render", "@in.exr", "-o", "@out.exr", "--set", "kernelType=Hexagon"},
     2,
     "Aperture Blades"},
    {"BadBoolean",
     {"render", "@in.exr", "-o", "@out.exr", "--set", "realWorldLens=maybe"},
     2,
     "realWorldLens"},
    {"BadColour", {"render", "@in.exr", "-o", "@out.exr", "--set", "kChrAbbOff=1,2"}, 2, "3 numbers"},
    {"SetWithoutEquals", {"render", "@in.exr", "-o", "@out.exr", "--set", "focalPlane"}, 2, "KNOB=VALUE"},
    {"MissingScript", {"render", "@in.exr", "-o", "@out.exr", "--script", "@none.txt"}, 2, "none.txt"},
    {"ScriptLineWithoutValue",
     {"render", "@in.exr", "-o", "@out.exr", "--script", "@badline.txt"},
     2,
     "badline.txt:2"},
    {"ScriptUnknownKnob",
     {"render", "@in.exr", "-o", "@out.exr", "--script", "@unknown.txt"},
     2,
     "unknown.txt:2: unknown knob 'focalPlan'"},
    {"NoOutputFolder", {"render", "@in.exr", "-o", "/nonexistent-orvel-folder/out.exr"}, 2, "cannot write"},
    {"OutputUnderAFile", {"render", "@in.exr", "-o", "@in.exr/out.exr"}, 2, "cannot write"},
    {"OutputIsAFolder", {"render", "@in.exr", "-o", "@"}, 2, "cannot write"},
    {"UnknownOutputType", {"render", "@in.exr", "-o", "@out.bmp"}, 2, ".bmp"},
    {"CameraUnknownValue",
     {"render", "@in.exr", "-o", "@out.exr", "--camera", "focalpoint=10"},
     2,
     "focal_point"},
    {"CameraBadNumber", {"render", "@in.exr", "-o", "@out.exr", "--camera", "fstop=wide"}, 2, "fstop"},
    {"BadFrames", {"render", "@in.#.exr", "-o", "@out.#.exr", "--frames", "9-1"}, 2, "--frames"},
    {"FramesWithoutPattern", {"render", "@in.exr", "-o", "@out.exr", "--frames", "1-2"}, 2, "#"},
    {"ZeroThreads", {"render", "@in.exr", "-o", "@out.exr", "--threads", "0"}, 2, "--threads"},
    {"NoOutputOption", {"render", "@in.exr"}, 2, "--output"},
    {"UnknownOption", {"render", "@in.exr", "-o", "@out.exr", "--blur", "3"}, 2, "--blur"},
    {"NoCommand", {}, 2, "subcommand"},
    {"MissingKernelFile", {"render", "@in.exr", "-o", "@out.exr", "--kernel", "@k.exr"}, 2, "k.exr"},
    {"MissingMattesFile", {"render", "@in.exr", "-o", "@out.exr", "--mattes", "@m.exr"}, 2, "m.exr"},
    {"DemoNotExr", {"demo", "-o", "@demo.png"}, 2, ".exr"},
    {"NoKernelConnected",
     {"render", "@in.exr", "-o", "@out.exr", "--set", "kernelType=Input"},
     1,
     "error: No input kernel connected!"},
};

INSTANTIATE_TEST_SUITE_P(Cases, BadInputs, ::testing::ValuesIn(kCases),
                         [](const auto& info) { return std::string(info.param.name); });

TEST(Help, PrintsTheCommandsAndSucceeds) {
  const RunResult r = runOrvel({"--help"});
  EXPECT_EQ(r.exitCode, 0);
  for (const char* command : {"render", "demo", "knobs"}) EXPECT_NE(r.out.find(command), std::string::npos);
  const RunResult sub = runOrvel({"render", "--help"});
  EXPECT_EQ(sub.exitCode, 0);
  for (const char* option : {"--set", "--script", "--kernel", "--mattes", "--camera", "--threads", "--frames",
                             "--quiet", "--half"})
    EXPECT_NE(sub.out.find(option), std::string::npos) << option;
}

}  // namespace
