// End-to-end: orvel on small EXR files written here and on the real files of the shared test
// data; every bad input gives one clear line, the right exit status and no output.
#include <OpenEXR/ImfChannelList.h>
#include <OpenEXR/ImfFrameBuffer.h>
#include <OpenEXR/ImfHeader.h>
#include <OpenEXR/ImfInputFile.h>
#include <OpenEXR/ImfOutputFile.h>
#include <OpenEXR/ImfStdIO.h>
#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <filesystem>
#include <map>
#include <sstream>
#include <stdexcept>

#include "app_support.h"
#include "caseName.h"

namespace {

const Args kRGBAZ = {"R", "G", "B", "A", "Z"};

// A colour that differs in every pixel and channel, so that a shifted or flipped copy shows.
float pattern(int x, int row, int c) { return 0.05f + 0.01f * float((x * 7 + row * 13 + c * 29) % 89); }

// Pattern colours, alpha 1, depth(x, row).
TestImage picture(int width, int height, const std::function<float(int, int)>& depth) {
  return makeImage(width, height, kRGBAZ, [&](int x, int row, int c) {
    return c == 3 ? 1.0f : c == 4 ? depth(x, row) : pattern(x, row, c);
  });
}

#define ASSERT_RAN(result) ASSERT_EQ((result).exitCode, 0) << (result).err

// Windows equal, and every channel of `expected` in the same-named channel of `actual`.
void expectSame(const TestImage& expected, const TestImage& actual, float tolerance, bool windows = true,
                size_t channels = 99) {
  if (windows) {
    EXPECT_EQ(std::vector<int>({expected.x, expected.y, expected.width, expected.height}),
              std::vector<int>({actual.x, actual.y, actual.width, actual.height}));
    EXPECT_EQ(std::vector<int>({expected.fullX, expected.fullY, expected.fullWidth, expected.fullHeight}),
              std::vector<int>({actual.fullX, actual.fullY, actual.fullWidth, actual.fullHeight}));
  }
  for (size_t c = 0; c < std::min(channels, expected.channels.size()); ++c) {
    const int ac = actual.channel(expected.channels[c]);
    ASSERT_GE(ac, 0) << "missing channel " << expected.channels[c];
    int bad = 0;
    for (int row = expected.y; row < expected.y + expected.height; ++row)
      for (int x = expected.x; x < expected.x + expected.width; ++x) {
        const float e = expected.at(x, row, int(c)), a = actual.at(x, row, ac);
        if (!(std::fabs(e - a) <= tolerance) && bad++ < 5)
          ADD_FAILURE() << expected.channels[c] << " at (" << x << ", " << row << "): " << e << " vs " << a;
      }
  }
}

// ---- With nothing out of focus (depth 100 is the default focal plane), or a constant colour
// under any blur (normalised kernels), the output is the input, whatever its windows and channels.

struct IdentityCase {
  const char* name;
  std::function<TestImage()> image;
  Args args;
};
void PrintTo(const IdentityCase& c, std::ostream* os) { *os << c.name; }

class Identity : public ::testing::TestWithParam<IdentityCase> {};

TEST_P(Identity, ReproducesTheInput) {
  ScratchFolder dir;
  const TestImage in = GetParam().image();
  writeImage(dir.path("in.exr"), in);
  // An L-shaped aperture for the Input kernel.
  writeImage(dir.path("kernel.exr"), makeImage(9, 9, {"R", "G", "B", "A"}, [](int x, int row, int) {
               return x < 3 || row > 5 ? 1.0f : 0.0f;
             }));
  Args args{"render", "@in.exr", "-o", "@out.exr", "--set", "max_kernelsize=24"};
  args.insert(args.end(), GetParam().args.begin(), GetParam().args.end());
  ASSERT_RAN(run(dir, args));
  expectSame(in, readImage(dir.path("out.exr")), 1e-4f);
}

float at100(int, int) { return 100.0f; }
TestImage offsetWindows() {
  TestImage in = picture(14, 6, at100);
  in.x = -5, in.y = -3, in.fullX = -2, in.fullY = -1, in.fullWidth = 8, in.fullHeight = 9;
  return in;
}
TestImage extraChannels() {
  return makeImage(9, 7, {"R", "G", "B", "A", "Z", "mask", "N.x"},
                   [](int x, int row, int c) { return c == 4 ? 100.0f : pattern(x, row, c); });
}
// A bright pixel at the centre, at depth 250.
TestImage spot() {
  return makeImage(21, 21, kRGBAZ, [](int x, int row, int c) {
    return c == 3 ? 1.0f : c == 4 ? 250.0f : x == 10 && row == 10 ? 10.0f : 0.0f;
  });
}
TestImage constant() {
  return makeImage(31, 21, kRGBAZ, [](int x, int row, int c) {
    return c < 4 ? 0.25f * float(c + 1) : 60.0f + 5.0f * float(x) + 2.0f * float(row);
  });
}

// clang-format off
INSTANTIATE_TEST_SUITE_P(
    Cases, Identity,
    ::testing::Values(
        IdentityCase{"InFocus", [] { return picture(23, 17, at100); }, {"--set", "multiplier=30"}},
        IdentityCase{"QuotedValue", [] { return picture(8, 6, at100); }, {"--set", "focalPlane=\"100\""}},
        IdentityCase{"OffsetWindows", offsetWindows, {}},
        IdentityCase{"ExtraChannels", extraChannels, {}},
        IdentityCase{"CameraFocus", spot, {"--camera", "focal=50,focal_point=250,fstop=2", "--set", "realWorldLens=1"}},
        IdentityCase{"Constant", constant, {"--set", "multiplier=10"}},
        IdentityCase{"ConstantBlades", constant, {"--set", "kernelType=Aperture Blades", "--set", "multiplier=8"}},
        IdentityCase{"ConstantOneSlice", constant, {"--set", "multiplier=10", "--set", "correctiveSlices=1"}},
        IdentityCase{"ConstantLens", constant, {"--set", "realWorldLens=true", "--set", "focalPlane=80", "--set", "fStop=0.5"}},
        IdentityCase{"ConstantKernelImage", constant, {"--kernel", "@kernel.exr", "--set", "kernelType=Input", "--set", "multiplier=7"}}),
    ByName());
// clang-format on

// ---- Rows: the host counts upward, files downward.

// Grown by max_kernelsize / 2 at the host's bottom and left and (max_kernelsize - 1) / 2 at its
// top and right: for 4, two file rows below and one above.
TEST(Rows, AGrownBoxFlipsBackIntoTheFile) {
  ScratchFolder dir;
  const TestImage in = picture(16, 12, at100);
  writeImage(dir.path("in.exr"), in);
  ASSERT_RAN(run(dir, {"render", "@in.exr", "-o", "@out.exr", "--set", "expandBBoxToMaxKernelSize=true",
                       "--set", "max_kernelsize=4"}));
  const TestImage out = readImage(dir.path("out.exr"));
  EXPECT_EQ(std::vector<int>({out.x, out.y, out.width, out.height}), std::vector<int>({-2, -1, 19, 15}));
  expectSame(in, out, 1e-5f, false);
}

// The filter-shape preview fills the square at the host's origin: the bottom of a tall file.
TEST(Rows, TheFilterShapeSitsAtTheBottomOfATallFormat) {
  ScratchFolder dir;
  writeImage(dir.path("in.exr"), picture(20, 40, at100));
  ASSERT_RAN(run(dir, {"render", "@in.exr", "-o", "@out.exr", "--set", "outputType=Filter Shape"}));
  const TestImage out = readImage(dir.path("out.exr"));
  const int red = out.channel("R");
  for (int row = 0; row < 20; ++row)
    for (int x = 0; x < 20; ++x) ASSERT_EQ(out.at(x, row, red), 0.0f) << x << ", " << row;
  EXPECT_NEAR(out.at(10, 29, red), 1.0f, 1e-6f);  // host (10, 10) is file row 39 - 10
}

// ---- Bad inputs: exit status 2 (1 for a node error), each stderr line an error or a warning,
// the text named, nothing written, no temporary file left and an older output kept.
// clang-format off
struct ErrorCase { const char* name; Args args; int exitCode; const char* mentions; };
// clang-format on
void PrintTo(const ErrorCase& c, std::ostream* os) { *os << c.name; }

class BadInputs : public ::testing::TestWithParam<ErrorCase> {};

TEST_P(BadInputs, ExitWithOneClearMessageAndNoOutput) {
  ScratchFolder dir;
  writeImage(dir.path("in.exr"), picture(8, 6, at100));
  writeImage(dir.path("flat.exr"), makeImage(8, 6, {"R", "G", "B"}, [](int, int, int) { return 0.5f; }));
  writeImage(dir.path("rgba.exr"), makeImage(8, 6, {"R", "G", "B", "A"}, [](int, int, int) { return 0.5f; }));
  writeImage(dir.path("small.exr"), picture(4, 3, at100));
  writeText(dir.path("garbage.exr"), "this is not an image at all");
  writeText(dir.path("badline.txt"), "bloom 0.5\nmultiplier\n");
  writeText(dir.path("unknown.txt"), "# fine\nfocalPlan 10\n");
  writeText(dir.path("old.exr"), "an older file");
  writeDeepImage(dir.path("deepnoz.exr"), 4, 3, {"R", "A"}, [](int, int, std::vector<float>& s) {
    s = {0.5f, 1};
  });
  writeDeepImage(dir.path("deep.exr"), 4, 3, {"R", "A", "Z"}, [](int, int, std::vector<float>& s) {
    s = {0.5f, 1, 9};
  });
  const std::vector<std::string> before = dir.files();
  const RunResult r = run(dir, GetParam().args);
  EXPECT_EQ(readBytes(dir.path("old.exr")), "an older file");
  EXPECT_EQ(r.exitCode, GetParam().exitCode) << r.err;
  EXPECT_NE(r.err.find(GetParam().mentions), std::string::npos) << r.err;
  std::istringstream lines(r.err);
  for (std::string line; std::getline(lines, line);)
    EXPECT_TRUE(line.rfind("error: ", 0) == 0 || line.rfind("warning: ", 0) == 0) << line;
  EXPECT_EQ(dir.files(), before);
}

const Args kIn = {"render", "@in.exr", "-o", "@out.exr"};
Args with(Args more) {
  Args a = kIn;
  a.insert(a.end(), more.begin(), more.end());
  return a;
}

// clang-format off
INSTANTIATE_TEST_SUITE_P(
    Cases, BadInputs,
    ::testing::Values(
        ErrorCase{"MissingInput", {"render", "@nothere.exr", "-o", "@out.exr"}, 2, "no such file"},
        ErrorCase{"Unreadable", {"render", "@garbage.exr", "-o", "@out.exr"}, 2, "cannot read"},
        ErrorCase{"NoDepth", {"render", "@flat.exr", "-o", "@out.exr"}, 2, "its channels: R, G, B"},
        ErrorCase{"DepthNotInFile", {"render", "@flat.exr", "-o", "@out.exr", "--set", "depthChannel=A"}, 2,
                  "no depth channel rgba.alpha"},
        ErrorCase{"UnknownChannel", with({"--set", "depthChannel=nochannel"}), 2, "unknown channel 'nochannel'"},
        ErrorCase{"UnknownKnob", with({"--set", "focalPlan=10"}), 2, "did you mean focalPlane"},
        ErrorCase{"BadWholeNumber", with({"--set", "max_kernelsize=2.5"}), 2, "whole number"},
        ErrorCase{"BadChoice", with({"--set", "kernelType=Hexagon"}), 2, "Aperture Blades"},
        ErrorCase{"BadColour", with({"--set", "kChrAbbOff=1,2"}), 2, "3 numbers"},
        ErrorCase{"ScriptLineWithoutValue", with({"--script", "@badline.txt"}), 2, "badline.txt:2"},
        ErrorCase{"ScriptUnknownKnob", with({"--script", "@unknown.txt"}), 2,
                  "unknown.txt:2: unknown knob 'focalPlan'"},
        ErrorCase{"OutputUnderAFile", {"render", "@in.exr", "-o", "@in.exr/out.exr"}, 2, "cannot write"},
        ErrorCase{"UnknownOutputType", {"render", "@in.exr", "-o", "@out.bmp"}, 2, ".bmp"},
        ErrorCase{"CameraUnknownValue", with({"--camera", "focalpoint=10"}), 2, "focal_point"},
        ErrorCase{"BadFrames", {"render", "@in.#.exr", "-o", "@out.#.exr", "--frames", "9-1"}, 2, "--frames"},
        ErrorCase{"DeepWithoutZ", {"render", "--deep", "@deepnoz.exr", "-o", "@out.exr"}, 2, "has no Z channel"},
        ErrorCase{"LayerWithoutAlpha", {"render", "--layer", "@in.exr", "--layer", "@flat.exr", "-o", "@out.exr"},
                  2, "flat.exr' has no alpha"},
        ErrorCase{"LayerWithoutDepth", {"render", "--layer", "@in.exr", "--layer", "@rgba.exr", "-o", "@out.exr"},
                  2, "has no depth channel Z"},
        ErrorCase{"LayersOfTwoFormats", {"render", "--layer", "@in.exr", "--layer", "@small.exr", "-o", "@out.exr"},
                  2, "is 4 x 3, but"},
        ErrorCase{"LayerAndDeep", {"render", "--layer", "@in.exr", "--deep", "@in.exr", "-o", "@out.exr"}, 2,
                  "--layer and --deep"},
        ErrorCase{"FlatAsDeep", {"render", "--deep", "@in.exr", "-o", "@out.exr"}, 2, "is not a deep image"},
        ErrorCase{"InputBesideAnotherDeep", with({"--deep", "@deep.exr"}), 2, "is 8 x 6, but the --deep image is 4 x 3"},
        ErrorCase{"OutputIsAnInput", {"render", "@in.exr", "--mattes", "@old.exr", "-o", "@old.exr"}, 2, "is the input"},
        ErrorCase{"NoKernelConnected", {"render", "@in.exr", "-o", "@old.exr", "--set", "kernelType=Input"}, 1,
                  "error: No input kernel connected!"}),
    ByName());
// clang-format on

// ---- Limits: files that would need more memory than --max-memory are refused before reading,
// and channels of a pixel type the EXR library does not know before it sees them (forged
// attribute sizes are left to the EXR reader's fuzz target).

// Overwrites the value of EXR header attribute `name` (with its type) at `offset` bytes into it.
void patch(std::string& bytes, const std::string& name, size_t offset, const void* value, size_t size) {
  const size_t at = bytes.find(name);
  if (at == std::string::npos) throw std::runtime_error("the test file lacks an attribute");
  std::memcpy(&bytes[at + name.size() + offset], value, size);
}

// A tiled EXR declaring a 200000 x 200000 window: a 1 x 1 file with one 1 x 1 tile, its windows
// and tile size patched, and a table of zero offsets (which OpenEXR rebuilds by scanning) for the
// 49 x 49 tiles of 4096 declared.
TEST(Limits, AHugeDeclaredWindowIsRefusedBeforeReading) {
  ScratchFolder dir;
  TestImage one = makeImage(1, 1, {"R", "Z"}, [](int, int, int c) { return c ? 100.0f : 0.5f; });
  one.tileSize = 1;
  writeImage(dir.path("one.exr"), one);
  std::string bytes = readBytes(dir.path("one.exr"));
  const uint32_t corner[2] = {199999, 199999}, tile[2] = {4096, 4096};
  patch(bytes, std::string("dataWindow\0box2i\0", 17), 4 + 8, corner, sizeof corner);
  patch(bytes, std::string("displayWindow\0box2i\0", 20), 4 + 8, corner, sizeof corner);
  const std::string tiles("tiles\0tiledesc\0", 15);
  patch(bytes, tiles, 4, tile, sizeof tile);
  const size_t headerEnd = bytes.find(tiles) + tiles.size() + 4 + 9 + 1;  // the description, the closing 0
  writeText(dir.path("huge.exr"),
            bytes.substr(0, headerEnd) + std::string(49 * 49 * 8, '\0') + bytes.substr(headerEnd + 8));
  const RunResult r = run(dir, {"render", "@huge.exr", "-o", "@out.exr"});
  EXPECT_EQ(r.exitCode, 2) << r.err;
  EXPECT_NE(r.err.find("would need"), std::string::npos) << r.err;
  EXPECT_FALSE(fileExists(dir.path("out.exr")));
}

TEST(Limits, AFileOverTheGivenLimitIsRefused) {
  ScratchFolder dir;
  writeImage(dir.path("in.exr"), picture(64, 64, at100));  // 64 x 64 x 5 floats, twice: 160 KB
  EXPECT_EQ(run(dir, with({"--max-memory", "0.0001"})).exitCode, 2);
  EXPECT_EQ(run(dir, with({"--max-memory", "0.001"})).exitCode, 0);
  writeDeepImage(dir.path("deep.exr"), 64, 64, kRGBAZ, [](int x, int, std::vector<float>& s) {
    s = {0.3f, 0.4f, 0.5f, 1.0f, 300.0f};
    if (x % 2) s.insert(s.end(), {0.2f, 0.1f, 0.0f, 0.4f, 40.0f});
  });
  const RunResult deep =
      run(dir, {"render", "--deep", "@deep.exr", "-o", "@d.exr", "--max-memory", "0.0001"});
  EXPECT_EQ(deep.exitCode, 2) << deep.err;
  EXPECT_NE(deep.err.find("--max-memory"), std::string::npos) << deep.err;
  // 4 x 4 pixels fit any limit; their 8000 samples of 6 floats (192 KB) do not fit in 107 KB.
  writeDeepImage(dir.path("many.exr"), 4, 4, kRGBAZ, [](int, int, std::vector<float>& s) {
    for (int i = 0; i < 500; ++i) s.insert(s.end(), {0.0f, 0.0f, 0.0f, 0.001f, 100.0f});
  });
  const auto many = [&](const char* gb) {
    return run(dir, {"render", "--deep", "@many.exr", "-o", "@m.exr", "--max-memory", gb});
  };
  const RunResult refused = many("0.0001");
  EXPECT_EQ(refused.exitCode, 2) << refused.err;
  EXPECT_NE(refused.err.find("--max-memory"), std::string::npos) << refused.err;
  EXPECT_EQ(many("0.001").exitCode, 0);
}

TEST(Limits, AnUnknownPixelTypeIsRefused) {
  ScratchFolder dir;
  writeImage(dir.path("in.exr"), picture(4, 3, at100));
  std::string bytes = readBytes(dir.path("in.exr"));
  const uint32_t unknown = 3;  // after uint, half and float
  patch(bytes, std::string("channels\0chlist\0", 16), 4 + 2, &unknown, sizeof unknown);  // A's type
  writeText(dir.path("odd.exr"), bytes);
  const RunResult r = run(dir, {"render", "@odd.exr", "-o", "@out.exr"});
  EXPECT_EQ(r.exitCode, 2) << r.err;
  // The header check's message, not the image library's.
  EXPECT_NE(r.err.find("odd.exr' is not a valid EXR file"), std::string::npos) << r.err;
  EXPECT_FALSE(fileExists(dir.path("out.exr")));
}

// ---- Deep input: opaque point samples defocus like the flat image of the same colour and depth,
// for scanline and tiled files, with and without ZBack; depths asymmetric in the rows.

float depthAt(int x, int row) { return 40.0f + 9.0f * float(x) + 4.0f * float(row * row % 11); }

class PointSamples : public ::testing::TestWithParam<std::pair<bool, int>> {};

TEST_P(PointSamples, DefocusLikeTheFlatImage) {
  const auto [withBack, tile] = GetParam();
  ScratchFolder dir;
  const TestImage flat = picture(21, 13, depthAt);
  writeImage(dir.path("flat.exr"), flat);
  Args channels = kRGBAZ;
  if (withBack) channels.push_back("ZBack");
  writeDeepImage(
      dir.path("deep.exr"), 21, 13, channels,
      [&, withBack = withBack](int x, int row, std::vector<float>& s) {
        s = {pattern(x, row, 0), pattern(x, row, 1), pattern(x, row, 2), 1.0f, depthAt(x, row)};
        if (withBack) s.push_back(depthAt(x, row));
      },
      tile);
  const Args knobs{"--set", "multiplier=8", "--set", "max_kernelsize=12", "--set", "focalPlane=90"};
  Args f{"render", "@flat.exr", "-o", "@f.exr"}, d{"render", "--deep", "@deep.exr", "-o", "@d.exr"};
  f.insert(f.end(), knobs.begin(), knobs.end());
  d.insert(d.end(), knobs.begin(), knobs.end());
  ASSERT_RAN(run(dir, f));
  ASSERT_RAN(run(dir, d));
  const TestImage deep = readImage(dir.path("d.exr"));
  expectSame(readImage(dir.path("f.exr")), deep, 1e-4f, false, 4);  // RGBA: the deep output's Z is its own
  EXPECT_GT(std::fabs(deep.at(10, 6, 0) - flat.at(10, 6, 0)) + std::fabs(deep.at(3, 2, 1) - flat.at(3, 2, 1)),
            1e-3f)
      << "nothing blurred";
}

// Layers: a half-covering near layer over a far one, given far first, render as the deep file
// holding both samples of each pixel; with "See Through" the far layer shows through the blurred
// near one, so the pictures differ from "Visible Share".
TEST(Layers, RenderAsTheDeepFileOfTheirSamples) {
  ScratchFolder dir;
  const auto nearAlpha = [](int x, int row) { return (x + row) % 3 == 0 ? 0.0f : (x % 2 ? 1.0f : 0.5f); };
  writeImage(dir.path("far.exr"), picture(21, 13, depthAt));
  writeImage(dir.path("near.exr"), makeImage(21, 13, kRGBAZ, [&](int x, int row, int c) {
               const float a = nearAlpha(x, row);
               return c == 3 ? a : c == 4 ? 20.0f + float(x % 4) : a * pattern(row, x, c);
             }));
  writeDeepImage(dir.path("deep.exr"), 21, 13, kRGBAZ, [&](int x, int row, std::vector<float>& s) {
    const float a = nearAlpha(x, row);
    s = {pattern(x, row, 0), pattern(x, row, 1), pattern(x, row, 2), 1.0f, depthAt(x, row)};
    if (a > 0)
      s.insert(s.end(), {a * pattern(row, x, 0), a * pattern(row, x, 1), a * pattern(row, x, 2), a,
                         20.0f + float(x % 4)});
  });
  const auto render = [&](Args a, const std::string& method, const std::string& out) {
    for (const char* k : {"multiplier=8", "max_kernelsize=12", "focalPlane=90"})
      a.insert(a.end(), {"--set", k});
    a.insert(a.end(), {"--set", "deepMethod=" + method, "-o", "@" + out});
    return run(dir, a);
  };
  for (const std::string method : {"See Through", "Visible Share"}) {
    ASSERT_RAN(render({"render", "--layer", "@far.exr", "--layer", "@near.exr"}, method, method + ".exr"));
    ASSERT_RAN(render({"render", "--deep", "@deep.exr"}, method, "d.exr"));
    expectSame(readImage(dir.path("d.exr")), readImage(dir.path(method + ".exr")), 0.0f);
  }
  // The same layers holding 1 / depth, with depthStyle "1/z": the depths they stand for order them.
  for (const std::string name : {"far", "near"}) {
    TestImage layer = readImage(dir.path(name + ".exr"));
    for (size_t i = 4; i < layer.pixels.size(); i += 5) layer.pixels[i] = 1 / layer.pixels[i];
    writeImage(dir.path("1z" + name + ".exr"), layer);
  }
  ASSERT_RAN(render({"render", "--layer", "@1zfar.exr", "--layer", "@1znear.exr", "--set", "depthStyle=1/z"},
                    "Visible Share", "1z.exr"));
  expectSame(readImage(dir.path("d.exr")), readImage(dir.path("1z.exr")), 1e-5f, true, 4);
  const TestImage through = readImage(dir.path("See Through.exr")),
                  share = readImage(dir.path("Visible Share.exr"));
  const int red = through.channel("R");
  EXPECT_GT(std::fabs(through.at(10, 6, red) - share.at(10, 6, red)), 1e-3f)
      << "the far layer does not show through";
}

// clang-format off
INSTANTIATE_TEST_SUITE_P(Cases, PointSamples,
                         ::testing::Values(std::pair{false, 0}, std::pair{true, 0}, std::pair{false, 8},
                                           std::pair{true, 4}),
                         [](const auto& info) {
                           return std::string(info.param.first ? "ZBack" : "Z") +
                                  (info.param.second ? "_tiles" + std::to_string(info.param.second) : "_scanlines");
                         });
// clang-format on

// ---- The real files of the shared test data render to finite values; an empty deep file gives
// black. Where a reference is named, the picture and the header's attributes (but the capture
// date) are those the renderer wrote before it read and wrote EXR files through OpenEXR itself,
// when it did through OpenImageIO and wrote 32-bit floats, or half, depth too, with --half
// (tests/app/reference, written by that build).

// Every header attribute, its type and its value's bytes as stored; the capture date's type only.
std::map<std::string, std::string> headerValues(const std::string& path) {
  Imf::InputFile in(path.c_str());
  std::map<std::string, std::string> values;
  for (auto a = in.header().begin(); a != in.header().end(); ++a) {
    Imf::StdOSStream value;
    if (std::string(a.name()) != "capDate") a.attribute().writeValueTo(value, 2);
    values[a.name()] = std::string(a.attribute().typeName()) + ": " + value.str();
  }
  return values;
}

struct SharedCase {
  Args args;  // the last is the file's name in the shared data
  const char* reference = nullptr;
  std::string name() const { return caseName(reference ? reference : args.back()); }
};
void PrintTo(const SharedCase& c, std::ostream* os) { *os << c.name(); }

class SharedFiles : public ::testing::TestWithParam<SharedCase> {};

TEST_P(SharedFiles, Render) {
  const std::string path = std::string(ORVEL_SHARED_DATA) + "/" + GetParam().args.back();
  if (!fileExists(path)) GTEST_SKIP() << "no shared test data at " << path;
  ScratchFolder dir;
  Args args = GetParam().args;
  args.back() = path;
  const std::string output = GetParam().reference ? GetParam().reference : "out.exr";
  const bool half = output.find("half") != std::string::npos;  // the reference's depth is half too
  args.insert(args.end(), {"-o", "@" + output, "--set", "multiplier=4", half ? "--half" : "--float"});
  ASSERT_RAN(run(dir, args));
  const TestImage out = readImage(dir.path(output));
  ASSERT_FALSE(out.pixels.empty());
  for (float v : out.pixels) ASSERT_TRUE(std::isfinite(v));
  if (GetParam().args.back() == "deep-nosamples.exr") {
    for (float v : out.pixels) EXPECT_EQ(v, 0.0f);
  }
  if (!GetParam().reference) return;
  const std::string reference = std::string(ORVEL_REFERENCE_FILES) + "/" + output;
  expectSame(readImage(reference), out, 2e-5f, true, half ? 4 : 99);
  if (output.find(".exr") == std::string::npos) return;
  std::map<std::string, std::string> written = headerValues(dir.path(output));  // and the input's
  for (const auto& [name, value] : headerValues(reference))
    if (!(half && name == "channels")) {
      EXPECT_EQ(written[name], value) << name;
    }
}

// clang-format off
INSTANTIATE_TEST_SUITE_P(Files, SharedFiles,
                         ::testing::Values(SharedCase{{"render", "rgbaz.exr"}, "rgbaz_half.exr"},
                                           SharedCase{{"render", "rgbaz.exr"}, "rgbaz.png"},
                                           SharedCase{{"render", "az.exr"}, "az.exr"},
                                           SharedCase{{"render", "--deep", "manifest.exr"}, "manifest.exr"},
                                           SharedCase{{"render", "--deep", "tinydeep.exr"}, "tinydeep.exr"},
                                           SharedCase{{"render", "--deep", "deep-nosamples.exr"}},
                                           SharedCase{{"render", "--deep", "deep-onesample.exr"}}),
                         [](const auto& info) { return info.param.name(); });
// clang-format on

// "Lens Trace" of a shared deep render with a 50 mm lens at f/1.4, as float, into `out`.
void lensTraceOf(ScratchFolder& dir, const std::string& path, const std::vector<std::string>& more,
                 TestImage& out) {
  std::vector<std::string> args = {"render", "--deep", path, "-o", "@out.exr", "--float"};
  for (const char* knob : {"deepMethod=Lens Trace", "realWorldLens=true", "focalLength=50", "fStop=1.4"})
    args.insert(args.end(), {"--set", knob});
  args.insert(args.end(), more.begin(), more.end());
  ASSERT_RAN(run(dir, args));
  out = readImage(dir.path("out.exr"));
}

// A real deep render with a real lens keeps every colour at or above 0 and alpha within 0 .. 1:
// the scatter it takes where its rays find one opaque layer, and its own empty pixels, must not
// carry the scatter's rounding below 0.
TEST(SharedDeep, LensTraceStaysInRange) {
  const std::string path = std::string(ORVEL_SHARED_DATA) + "/lowres-trunks-deep.exr";
  if (!fileExists(path)) GTEST_SKIP() << "no shared test data at " << path;
  ScratchFolder dir;
  TestImage out;
  lensTraceOf(dir, path, {"--set", "lensTraceSamples=16", "--set", "focalPlane=140"}, out);
  if (HasFatalFailure()) return;
  const int alpha = out.channel("A"), channels = int(out.channels.size());
  ASSERT_GE(alpha, 0);
  for (size_t i = 0; i < out.pixels.size(); ++i) {
    const float v = out.pixels[i];
    ASSERT_GE(v, 0.0f) << out.channels[i % size_t(channels)] << " at " << i / size_t(channels);
    if (int(i % size_t(channels)) == alpha) {
      ASSERT_LE(v, 1.0f);
    }
  }
}

// The nearest ball, far out of focus over nothing: along each row its alpha rises to 1 and falls
// again, without a notch where pixels whose rays all meet the ball (alpha 1) border pixels the
// rays draw themselves (their noise at the faint rim aside).
TEST(SharedDeep, LensTraceBlurredBallHasNoNotch) {
  const std::string path = std::string(ORVEL_SHARED_DATA) + "/lowres-balls-deep.exr";
  if (!fileExists(path)) GTEST_SKIP() << "no shared test data at " << path;
  ScratchFolder dir;
  TestImage out;
  lensTraceOf(dir, path, {"--set", "lensTraceSamples=32"}, out);
  if (HasFatalFailure()) return;
  const int alpha = out.channel("A");
  ASSERT_GE(alpha, 0);
  for (int y = 400; y < 480; ++y) {  // rows 400 to 479, columns 420 to 639: the near ball's image
    // The notch at x: how far alpha falls below the lower of its highest values on either side.
    std::vector<float> left(220), right(220);
    for (int i = 0; i < 220; ++i)
      left[size_t(i)] = std::max(i ? left[size_t(i - 1)] : 0.0f, out.at(420 + i, y, alpha));
    for (int i = 220; i-- > 0;)
      right[size_t(i)] = std::max(i < 219 ? right[size_t(i + 1)] : 0.0f, out.at(420 + i, y, alpha));
    for (int i = 0; i < 220; ++i) {
      const float around = std::min(left[size_t(i)], right[size_t(i)]);
      if (around > 0.9f) {
        ASSERT_LT(around - out.at(420 + i, y, alpha), 0.08f) << 420 + i << "," << y;
      }
    }
  }
}

// ---- EXR compression: every method by its name, lossless ones exactly, lossy ones (half for the
// methods that compress only half channels) within their loss on a pattern that changes at every
// pixel (values from 0.05 to 0.93; B44 quantises each 4 x 4 block against its range).
struct CompressionCase {
  const char* name;
  bool half;
  float tolerance;
};
void PrintTo(const CompressionCase& c, std::ostream* os) { *os << c.name; }

class Compression : public ::testing::TestWithParam<CompressionCase> {};

TEST_P(Compression, RoundTrips) {
  ScratchFolder dir;
  const TestImage in = picture(37, 21, at100);
  writeImage(dir.path("in.exr"), in);
  Args args = with({"--compression", GetParam().name});
  if (GetParam().half) args.push_back("--half");
  ASSERT_RAN(run(dir, args));
  auto file = OIIO::ImageInput::open(dir.path("out.exr"));
  ASSERT_TRUE(file);
  EXPECT_EQ(file->spec().get_string_attribute("compression"), GetParam().name);
  expectSame(in, readImage(dir.path("out.exr")), GetParam().tolerance);
}

// clang-format off
INSTANTIATE_TEST_SUITE_P(Methods, Compression,
                         ::testing::Values(CompressionCase{"none", false, 0}, CompressionCase{"rle", false, 0},
                                           CompressionCase{"zips", false, 0}, CompressionCase{"zip", false, 0},
                                           CompressionCase{"piz", false, 0}, CompressionCase{"pxr24", false, 1e-4f},
                                           CompressionCase{"b44", true, 0.1f}, CompressionCase{"b44a", true, 0.1f},
                                           CompressionCase{"dwaa", false, 2e-2f}, CompressionCase{"dwab", false, 2e-2f}),
                         ByName());
// clang-format on

// ---- Attributes that still describe the pixels come through a render, and so does each
// channel's pixel type; --half leaves the depth float.
TEST(Metadata, AttributesAndPixelTypesSurvive) {
  ScratchFolder dir;
  const TestImage in = picture(12, 9, [](int x, int) { return 60.0f + 9 * float(x); });
  OIIO::ImageSpec spec(12, 9, 5, OIIO::TypeDesc::FLOAT);
  spec.channelnames = kRGBAZ;
  spec.channelformats.assign(4, OIIO::TypeDesc::HALF), spec.channelformats.push_back(OIIO::TypeDesc::FLOAT);
  const float xyz[8] = {1, 0, 0, 1, 0, 0, 1 / 3.0f, 1 / 3.0f};
  const unsigned timeCode[2] = {0x01020304, 0};
  spec.attribute("chromaticities", OIIO::TypeDesc(OIIO::TypeDesc::FLOAT, 8), xyz);
  spec.attribute("smpte:TimeCode", OIIO::TypeTimeCode, timeCode);
  spec.attribute("myStudio:shot", "sh010");
  writeSpec(dir.path("in.exr"), spec,
            [&](OIIO::ImageOutput& o) { return o.write_image(OIIO::TypeDesc::FLOAT, in.pixels.data()); });
  ASSERT_RAN(run(dir, with({"--set", "multiplier=4"})));
  ASSERT_RAN(run(dir, {"render", "@in.exr", "-o", "@half.exr", "--half"}));
  auto before = headerValues(dir.path("in.exr")), after = headerValues(dir.path("out.exr"));
  for (const char* name : {"chromaticities", "timeCode", "myStudio:shot"})
    EXPECT_EQ(after[name], before.at(name)) << name;
  for (const std::string file : {"out.exr", "half.exr"}) {  // R, G, B, A half (1), Z float (2)
    Imf::InputFile f(dir.path(file).c_str());
    for (auto c = f.header().channels().begin(); c != f.header().channels().end(); ++c)
      EXPECT_EQ(c.channel().type, c.name()[0] == 'Z' ? Imf::FLOAT : Imf::HALF) << file << " " << c.name();
  }
}

// ---- A subsampled channel (2 x 2, "chroma", written through OpenEXR: OpenImageIO writes none) is
// refused.
TEST(Sampling, ASubsampledChannelIsRefused) {
  ScratchFolder dir;
  Imf::Header header(8, 6);
  Imf::FrameBuffer frame;
  std::vector<float> zeros(48);
  for (const std::string& c : kRGBAZ) {
    header.channels().insert(c, Imf::Channel(Imf::FLOAT));
    frame.insert(c, Imf::Slice(Imf::FLOAT, (char*)zeros.data(), 4, 32));
  }
  header.channels().insert("chroma", Imf::Channel(Imf::FLOAT, 2, 2));
  frame.insert("chroma", Imf::Slice(Imf::FLOAT, (char*)zeros.data(), 4, 16, 2, 2));
  {
    Imf::OutputFile out(dir.path("in.exr").c_str(), header);
    out.setFrameBuffer(frame);
    out.writePixels(6);
  }
  const RunResult r = run(dir, kIn);
  EXPECT_EQ(r.exitCode, 2);
  EXPECT_NE(r.err.find("channel 'chroma' is subsampled"), std::string::npos) << r.err;
}

// ---- Files other than EXR go through the image module beside the executable: a PNG aperture reads
// as the same EXR one, and without the module EXR jobs still run while a PNG output is refused
// with the module named.

TEST(ImageModule, APngKernelReadsAsTheExrOne) {
  ScratchFolder dir;
  writeImage(dir.path("in.exr"), spot());
  const auto lShape = [](int x, int row, int) { return x < 3 || row > 5 ? 1.0f : 0.0f; };
  writeImage(dir.path("kernel.exr"), makeImage(9, 9, {"R", "G", "B"}, lShape));
  std::vector<unsigned char> bytes(9 * 9 * 3);
  for (size_t i = 0; i < bytes.size(); ++i) bytes[i] = lShape(int(i / 3 % 9), int(i / 27), 0) ? 255 : 0;
  writeSpec(dir.path("kernel.png"), OIIO::ImageSpec(9, 9, 3, OIIO::TypeDesc::UINT8),
            [&](OIIO::ImageOutput& o) { return o.write_image(OIIO::TypeDesc::UINT8, bytes.data()); });
  for (const std::string kernel : {"exr", "png"})
    ASSERT_RAN(run(dir, {"render", "@in.exr", "-o", "@" + kernel + ".exr", "--kernel", "@kernel." + kernel,
                         "--set", "kernelType=Input", "--set", "multiplier=7"}));
  expectSame(readImage(dir.path("exr.exr")), readImage(dir.path("png.exr")), 0);
}

TEST(ImageModule, WithoutItOnlyNonExrFilesFail) {
  ScratchFolder dir;
  writeImage(dir.path("in.exr"), picture(8, 6, at100));
  const std::string copy = dir.path("orvel");
  std::filesystem::copy_file(ORVEL_EXECUTABLE, copy);
  const std::string plugins =
      "ORVEL_PLUGIN_PATH='" + std::filesystem::path(ORVEL_EXECUTABLE).parent_path().string() + "'";
  ASSERT_RAN(runOrvel({"render", dir.path("in.exr"), "-o", dir.path("out.exr")}, copy, plugins));
  const RunResult png = runOrvel({"render", dir.path("in.exr"), "-o", dir.path("out.png")}, copy, plugins);
  EXPECT_EQ(png.exitCode, 2);
  EXPECT_NE(png.err.find("orvel_imageio.so"), std::string::npos) << png.err;
  EXPECT_FALSE(fileExists(dir.path("out.png")));
}

}  // namespace
