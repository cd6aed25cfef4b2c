// End-to-end: orvel renders small EXR files written here, and the results are read back.
#include <gtest/gtest.h>

#include <cmath>

#include "orvelTestSupport.h"

namespace {

const std::vector<std::string> kRGBAZ = {"R", "G", "B", "A", "Z"};

// A colour that differs in every pixel and channel, so that a shifted or flipped copy shows.
float pattern(int x, int row, int c) { return 0.05f + 0.01f * float((x * 7 + row * 13 + c * 29) % 89); }

// An image of `pattern` colours with alpha 1 and the same depth everywhere.
TestImage flatDepthImage(int width, int height, float depth) {
  return makeImage(width, height, kRGBAZ, [depth](int x, int row, int c) {
    return c == 3 ? 1.0f : c == 4 ? depth : pattern(x, row, c);
  });
}

void expectSameWindows(const TestImage& a, const TestImage& b) {
  EXPECT_EQ(a.x, b.x);
  EXPECT_EQ(a.y, b.y);
  EXPECT_EQ(a.width, b.width);
  EXPECT_EQ(a.height, b.height);
  EXPECT_EQ(a.fullX, b.fullX);
  EXPECT_EQ(a.fullY, b.fullY);
  EXPECT_EQ(a.fullWidth, b.fullWidth);
  EXPECT_EQ(a.fullHeight, b.fullHeight);
}

// Every channel of `expected` equals the same-named channel of `actual` within `tolerance`.
void expectSamePixels(const TestImage& expected, const TestImage& actual, float tolerance) {
  expectSameWindows(expected, actual);
  for (size_t c = 0; c < expected.channels.size(); ++c) {
    const int ac = actual.channel(expected.channels[c]);
    ASSERT_GE(ac, 0) << "missing channel " << expected.channels[c];
    int bad = 0;
    for (int row = expected.y; row < expected.y + expected.height; ++row)
      for (int x = expected.x; x < expected.x + expected.width; ++x) {
        const float e = expected.at(x, row, int(c)), a = actual.at(x, row, ac);
        if (!(std::fabs(e - a) <= tolerance) && bad++ < 5)
          ADD_FAILURE() << expected.channels[c] << " at (" << x << ", " << row << "): expected " << e
                        << ", got " << a;
      }
  }
}

RunResult render(const std::vector<std::string>& args) {
  std::vector<std::string> all{"render", "--quiet"};
  all.insert(all.end(), args.begin(), args.end());
  return runOrvel(all);
}

#define ASSERT_RAN(result) ASSERT_EQ((result).exitCode, 0) << (result).err

// Everything on the focal plane (the default focal plane is 100) reproduces the input.
struct IdentityCase {
  const char* name;
  std::vector<std::string> sets;
};

class InFocus : public ::testing::TestWithParam<IdentityCase> {};

TEST_P(InFocus, ReproducesTheInput) {
  ScratchFolder dir;
  const TestImage in = flatDepthImage(23, 17, 100.0f);
  writeImage(dir.path("in.exr"), in);
  std::vector<std::string> args{dir.path("in.exr"), "-o", dir.path("out.exr")};
  for (const std::string& s : GetParam().sets) args.insert(args.end(), {"--set", s});
  const RunResult r = render(args);
  ASSERT_RAN(r);
  expectSamePixels(in, readImage(dir.path("out.exr")), 1e-5f);
}

INSTANTIATE_TEST_SUITE_P(
    Cases, InFocus,
    ::testing::Values(IdentityCase{"Defaults", {}},
                      IdentityCase{"Blades",
                                   {"kernelType=Aperture Blades", "multiplier=30", "max_kernelsize=32"}},
                      IdentityCase{"OneSlice", {"correctiveSlices=1", "multiplier=20", "max_kernelsize=32"}},
                      IdentityCase{"QuotedFocus", {"focalPlane=\"100\"", "frontmultiplier=4"}}),
    [](const auto& info) { return std::string(info.param.name); });

// A constant colour stays constant however its depth varies.
class Constant : public ::testing::TestWithParam<IdentityCase> {};

TEST_P(Constant, StaysConstant) {
  ScratchFolder dir;
  const float colour[4] = {0.25f, 0.5f, 0.75f, 1.0f};
  const TestImage in = makeImage(31, 21, kRGBAZ, [&](int x, int row, int c) {
    return c < 4 ? colour[c] : 60.0f + 5.0f * float(x) + 2.0f * float(row);
  });
  writeImage(dir.path("in.exr"), in);
  std::vector<std::string> args{dir.path("in.exr"), "-o", dir.path("out.exr"), "--set", "max_kernelsize=24"};
  for (const std::string& s : GetParam().sets) args.insert(args.end(), {"--set", s});
  const RunResult r = render(args);
  ASSERT_RAN(r);
  const TestImage out = readImage(dir.path("out.exr"));
  ASSERT_EQ(out.width, in.width);
  ASSERT_EQ(out.height, in.height);
  const char* names[4] = {"R", "G", "B", "A"};
  for (int c = 0; c < 4; ++c) {
    const int oc = out.channel(names[c]);
    ASSERT_GE(oc, 0);
    for (int row = 0; row < out.height; ++row)
      for (int x = 0; x < out.width; ++x)
        ASSERT_NEAR(out.at(x, row, oc), colour[c], 1e-4f) << names[c] << " at (" << x << ", " << row << ")";
  }
}

INSTANTIATE_TEST_SUITE_P(
    Cases, Constant,
    ::testing::Values(IdentityCase{"Circular", {"multiplier=10"}},
                      IdentityCase{"Blades", {"kernelType=Aperture Blades", "multiplier=8", "kNumSides=5"}},
                      IdentityCase{"OneSlice", {"multiplier=10", "correctiveSlices=1"}},
                      IdentityCase{"RealLens", {"realWorldLens=true", "focalPlane=80", "fStop=0.5"}}),
    [](const auto& info) { return std::string(info.param.name); });

// Each of the node's output types renders, with the input's windows and channels.
class OutputTypes : public ::testing::TestWithParam<const char*> {};

TEST_P(OutputTypes, Render) {
  ScratchFolder dir;
  TestImage in = makeImage(20, 14, kRGBAZ, [](int x, int row, int c) {
    return c == 3 ? 1.0f : c == 4 ? 40.0f + 10.0f * float(x) : pattern(x, row, c);
  });
  writeImage(dir.path("in.exr"), in);
  const RunResult r =
      render({dir.path("in.exr"), "-o", dir.path("out.exr"), "--set", std::string("outputType=") + GetParam(),
              "--set", "multiplier=6", "--set", "max_kernelsize=16"});
  ASSERT_RAN(r);
  const TestImage out = readImage(dir.path("out.exr"));
  expectSameWindows(in, out);
  for (const std::string& name : kRGBAZ) EXPECT_GE(out.channel(name), 0) << name;
  for (float v : out.pixels) ASSERT_TRUE(std::isfinite(v));
}

INSTANTIATE_TEST_SUITE_P(Cases, OutputTypes,
                         ::testing::Values("Defocused Image", "Lens Bloom", "Focal Distance Visualization",
                                           "Filter Shape", "Focus Matte"),
                         [](const auto& info) {
                           std::string name = info.param;
                           name.erase(std::remove(name.begin(), name.end(), ' '), name.end());
                           return name;
                         });

// Viewing formats hold the display window's RGB(A) with the sRGB transfer: linear 0.5 becomes
// 1.055 * 0.5^(1/2.4) - 0.055 = 0.73536. EXR keeps every channel, linear.
struct FileKindCase {
  const char* extension;
  int channels;
  float grey;       // what linear 0.5 becomes
  float tolerance;  // quantisation, and JPEG's few levels
};

class FileKinds : public ::testing::TestWithParam<FileKindCase> {};

TEST_P(FileKinds, WriteTheDisplayWindow) {
  ScratchFolder dir;
  const TestImage in = makeImage(12, 9, kRGBAZ, [](int, int, int c) {
    return c == 4 ? 100.0f : c == 3 ? 1.0f : 0.5f;
  });
  writeImage(dir.path("in.exr"), in);
  const std::string out = dir.path(std::string("out.") + GetParam().extension);
  const RunResult r = render({dir.path("in.exr"), "-o", out});
  ASSERT_RAN(r);
  const TestImage image = readImage(out);
  ASSERT_EQ(int(image.channels.size()), GetParam().channels);
  EXPECT_EQ(image.width, 12);
  EXPECT_EQ(image.height, 9);
  for (int row = 0; row < 9; ++row)
    for (int x = 0; x < 12; ++x)
      for (int c = 0; c < 3; ++c) ASSERT_NEAR(image.at(x, row, c), GetParam().grey, GetParam().tolerance);
}

INSTANTIATE_TEST_SUITE_P(Cases, FileKinds,
                         ::testing::Values(FileKindCase{"png", 4, 0.73536f, 1.0f / 255},
                                           FileKindCase{"jpg", 3, 0.73536f, 4.0f / 255},
                                           FileKindCase{"tif", 4, 0.73536f, 2.0f / 65535},
                                           FileKindCase{"exr", 5, 0.5f, 0.0f}),
                         [](const auto& info) { return std::string(info.param.extension); });

// An asymmetric image comes out the same way up.
TEST(Rows, AnAsymmetricImageComesOutTheSameWayUp) {
  ScratchFolder dir;
  // Bright in the top-left corner only, dimmer down the rows.
  const TestImage in = makeImage(16, 10, kRGBAZ, [](int x, int row, int c) {
    if (c == 3) return 1.0f;
    if (c == 4) return 100.0f;
    return x < 3 && row < 2 ? 5.0f : 0.1f * float(10 - row);
  });
  writeImage(dir.path("in.exr"), in);
  const RunResult r = render({dir.path("in.exr"), "-o", dir.path("out.exr")});
  ASSERT_RAN(r);
  const TestImage out = readImage(dir.path("out.exr"));
  expectSamePixels(in, out, 1e-5f);
  EXPECT_FLOAT_EQ(out.at(0, 0, out.channel("R")), 5.0f);
}

// The box grows by max_kernelsize / 2 at the host's bottom and left and by (max_kernelsize - 1) / 2
// at its top and right: in the file that is two rows at the bottom and one at the top for 4.
TEST(Rows, AGrownBoxFlipsBackIntoTheFile) {
  ScratchFolder dir;
  const TestImage in = flatDepthImage(16, 12, 100.0f);
  writeImage(dir.path("in.exr"), in);
  const RunResult r = render({dir.path("in.exr"), "-o", dir.path("out.exr"), "--set",
                              "expandBBoxToMaxKernelSize=true", "--set", "max_kernelsize=4"});
  ASSERT_RAN(r);
  const TestImage out = readImage(dir.path("out.exr"));
  EXPECT_EQ(out.x, -2);
  EXPECT_EQ(out.width, 16 + 2 + 1);
  EXPECT_EQ(out.y, -1);
  EXPECT_EQ(out.height, 12 + 1 + 2);
  EXPECT_EQ(out.fullWidth, 16);
  EXPECT_EQ(out.fullHeight, 12);
  for (int row = 0; row < 12; ++row)
    for (int x = 0; x < 16; ++x) ASSERT_NEAR(out.at(x, row, out.channel("G")), in.at(x, row, 1), 1e-5f);
}

// The filter-shape preview fills the square at the host's origin, the bottom of a file; here the
// format is twice as tall as wide, so the file's top half stays black.
TEST(Rows, TheFilterShapeSitsAtTheBottomOfATallFormat) {
  ScratchFolder dir;
  writeImage(dir.path("in.exr"), flatDepthImage(20, 40, 100.0f));
  const RunResult r =
      render({dir.path("in.exr"), "-o", dir.path("out.exr"), "--set", "outputType=Filter Shape"});
  ASSERT_RAN(r);
  const TestImage out = readImage(dir.path("out.exr"));
  const int red = out.channel("R");
  ASSERT_GE(red, 0);
  for (int row = 0; row < 20; ++row)
    for (int x = 0; x < 20; ++x) ASSERT_EQ(out.at(x, row, red), 0.0f) << "(" << x << ", " << row << ")";
  // The disc's centre: host (10, 10) is file row 39 - 10.
  EXPECT_NEAR(out.at(10, 29, red), 1.0f, 1e-6f);
}

// Windows that start at negative coordinates or reach past each other survive the trip.
TEST(Rows, OffsetWindowsAreKept) {
  ScratchFolder dir;
  TestImage in = flatDepthImage(14, 6, 100.0f);
  in.x = -5;
  in.y = -3;
  in.fullX = -2;
  in.fullY = -1;
  in.fullWidth = 8;
  in.fullHeight = 9;
  writeImage(dir.path("in.exr"), in);
  const RunResult r = render({dir.path("in.exr"), "-o", dir.path("out.exr")});
  ASSERT_RAN(r);
  expectSamePixels(in, readImage(dir.path("out.exr")), 1e-5f);
}

// Channels beyond RGBA and Z keep their names and, in focus, their values.
TEST(Channels, EveryInputChannelIsKept) {
  ScratchFolder dir;
  const std::vector<std::string> names = {"R", "G", "B", "A", "Z", "mask", "N.x", "rgba.extra"};
  const TestImage in =
      makeImage(9, 7, names, [](int x, int row, int c) { return c == 4 ? 100.0f : pattern(x, row, c); });
  writeImage(dir.path("in.exr"), in);
  const RunResult r = render({dir.path("in.exr"), "-o", dir.path("out.exr")});
  ASSERT_RAN(r);
  const TestImage out = readImage(dir.path("out.exr"));
  EXPECT_EQ(out.channels.size(), names.size());
  expectSamePixels(in, out, 1e-5f);
}

// Knob values set through --script equal those set through --set, and they matter.
TEST(Scripts, GiveTheSameResultAsSetOptions) {
  ScratchFolder dir;
  const TestImage in = makeImage(24, 18, kRGBAZ, [](int x, int row, int c) {
    if (c == 3) return 1.0f;
    if (c == 4) return 30.0f + 8.0f * float(x);
    return (x == 12 && row == 9) ? 20.0f : pattern(x, row, c);
  });
  writeImage(dir.path("in.exr"), in);
  writeText(dir.path("look.txt"),
            "# a look\n"
            "kernelType \"Aperture Blades\"\n"
            "kNumSides 5\n"
            "multiplier 9   # pixels\n"
            "max_kernelsize 20\n"
            "kChrAbbOff {0.5 1 1.5}\n"
            "bloom 0.3\n"
            "normalizeVisualization false\n");
  const RunResult fromScript =
      render({dir.path("in.exr"), "-o", dir.path("script.exr"), "--script", dir.path("look.txt")});
  ASSERT_RAN(fromScript);
  const RunResult fromSets =
      render({dir.path("in.exr"), "-o", dir.path("sets.exr"), "--set", "kernelType=Aperture Blades", "--set",
              "kNumSides=5", "--set", "multiplier=9", "--set", "max_kernelsize=20", "--set",
              "kChrAbbOff=0.5,1,1.5", "--set", "bloom=0.3", "--set", "normalizeVisualization=0"});
  ASSERT_RAN(fromSets);
  const RunResult defaults = render({dir.path("in.exr"), "-o", dir.path("defaults.exr")});
  ASSERT_RAN(defaults);
  const TestImage a = readImage(dir.path("script.exr")), b = readImage(dir.path("sets.exr"));
  expectSamePixels(a, b, 0.0f);
  const TestImage c = readImage(dir.path("defaults.exr"));
  float largest = 0.0f;
  for (size_t i = 0; i < a.pixels.size() && i < c.pixels.size(); ++i)
    largest = std::max(largest, std::fabs(a.pixels[i] - c.pixels[i]));
  EXPECT_GT(largest, 1e-3f) << "the script's values changed nothing";
}

// --set after --script wins.
TEST(Scripts, SetOptionsOverrideTheScript) {
  ScratchFolder dir;
  writeImage(dir.path("in.exr"), flatDepthImage(10, 8, 100.0f));
  writeText(dir.path("look.txt"), "kernelType Input\n");
  const RunResult r = render({dir.path("in.exr"), "-o", dir.path("out.exr"), "--script", dir.path("look.txt"),
                              "--set", "kernelType=Circular"});
  EXPECT_EQ(r.exitCode, 0) << r.err;
}

// One process renders a frame range; # and %04d stand for the frame number.
TEST(Frames, ARangeRendersEachFrame) {
  ScratchFolder dir;
  for (int frame = 3; frame <= 5; ++frame) {
    char name[32];
    std::snprintf(name, sizeof name, "in.%04d.exr", frame);
    writeImage(dir.path(name), makeImage(8, 6, kRGBAZ, [frame](int, int, int c) {
                 return c == 4 ? 100.0f : c == 3 ? 1.0f : float(frame) / 10.0f;
               }));
  }
  const RunResult r = render({dir.path("in.####.exr"), "-o", dir.path("out.%04d.exr"), "--frames", "3-5"});
  ASSERT_RAN(r);
  for (int frame = 3; frame <= 5; ++frame) {
    char name[32];
    std::snprintf(name, sizeof name, "out.%04d.exr", frame);
    const TestImage out = readImage(dir.path(name));
    ASSERT_EQ(out.width, 8) << name;
    EXPECT_NEAR(out.at(4, 3, out.channel("R")), float(frame) / 10.0f, 1e-6f) << name;
  }
  EXPECT_FALSE(fileExists(dir.path("out.0002.exr")));
  EXPECT_FALSE(fileExists(dir.path("out.0006.exr")));
}

TEST(Frames, AMissingFrameStopsTheRangeAfterTheFramesBefore) {
  ScratchFolder dir;
  writeImage(dir.path("in.1.exr"), flatDepthImage(8, 6, 100.0f));
  writeImage(dir.path("in.3.exr"), flatDepthImage(8, 6, 100.0f));
  const RunResult r = render({dir.path("in.#.exr"), "-o", dir.path("out.#.exr"), "--frames", "1-3"});
  EXPECT_EQ(r.exitCode, 2);
  EXPECT_NE(r.err.find("in.2.exr"), std::string::npos) << r.err;
  EXPECT_TRUE(fileExists(dir.path("out.1.exr")));
  EXPECT_FALSE(fileExists(dir.path("out.2.exr")));
  EXPECT_FALSE(fileExists(dir.path("out.3.exr")));
}

// --half writes 16-bit floats, equal to the input to half precision.
TEST(Half, WritesHalfFloats) {
  ScratchFolder dir;
  const TestImage in = flatDepthImage(11, 7, 100.0f);
  writeImage(dir.path("in.exr"), in);
  const RunResult r = render({dir.path("in.exr"), "-o", dir.path("out.exr"), "--half"});
  ASSERT_RAN(r);
  const TestImage out = readImage(dir.path("out.exr"));
  EXPECT_TRUE(out.half);
  // Half floats keep 11 significant bits: a relative error of at most 2^-11.
  for (size_t c = 0; c < in.channels.size(); ++c) {
    const int oc = out.channel(in.channels[c]);
    for (int row = 0; row < 7; ++row)
      for (int x = 0; x < 11; ++x) {
        const float e = in.at(x, row, int(c));
        ASSERT_NEAR(out.at(x, row, oc), e, std::fabs(e) / 2048.0f);
      }
  }
  EXPECT_FALSE(readImage(dir.path("in.exr")).half);
}

// A render that fails leaves no output, and no temporary file, behind; an older output stays.
TEST(Failures, LeaveNoOutputBehind) {
  ScratchFolder dir;
  writeImage(dir.path("in.exr"), flatDepthImage(8, 6, 100.0f));
  const RunResult r = render({dir.path("in.exr"), "-o", dir.path("out.exr"), "--set", "kernelType=Input"});
  EXPECT_EQ(r.exitCode, 1);
  EXPECT_NE(r.err.find("error: No input kernel connected!"), std::string::npos) << r.err;
  EXPECT_EQ(dir.files(), std::vector<std::string>{"in.exr"});

  writeText(dir.path("old.exr"), "an older file");
  const RunResult again =
      render({dir.path("in.exr"), "-o", dir.path("old.exr"), "--set", "kernelType=Input"});
  EXPECT_EQ(again.exitCode, 1);
  EXPECT_EQ(readBytes(dir.path("old.exr")), "an older file");
  EXPECT_EQ(dir.files(), (std::vector<std::string>{"in.exr", "old.exr"}));
}

// The camera on input 2 sets the focus: focused on the image's depth it changes nothing; focused
// close by, a single bright pixel spreads.
TEST(Camera, FocusesTheRealWorldLens) {
  ScratchFolder dir;
  const TestImage in = makeImage(21, 21, kRGBAZ, [](int x, int row, int c) {
    if (c == 3) return 1.0f;
    if (c == 4) return 250.0f;
    return x == 10 && row == 10 ? 10.0f : 0.0f;
  });
  writeImage(dir.path("in.exr"), in);
  const std::vector<std::string> lens{"--set", "realWorldLens=true", "--set", "max_kernelsize=16"};
  std::vector<std::string> focused{dir.path("in.exr"), "-o", dir.path("focused.exr"), "--camera",
                                   "focal=50,focal_point=250,fstop=2"};
  focused.insert(focused.end(), lens.begin(), lens.end());
  ASSERT_RAN(render(focused));
  expectSamePixels(in, readImage(dir.path("focused.exr")), 1e-5f);

  // Focused at 20 cm with f = 50 mm, f/2: about 10 pixels of blur on this film back.
  std::vector<std::string> close{dir.path("in.exr"), "-o", dir.path("close.exr"), "--camera",
                                 "focal=50,focal_point=20,fstop=2"};
  close.insert(close.end(), lens.begin(), lens.end());
  ASSERT_RAN(render(close));
  const TestImage out = readImage(dir.path("close.exr"));
  const int red = out.channel("R");
  EXPECT_LT(out.at(10, 10, red), 1.0f);
  EXPECT_GT(out.at(12, 10, red), 0.01f);
  EXPECT_GT(out.at(10, 8, red), 0.01f);
}

// A defocus matte of 0 keeps every pixel sharp, whatever the depth says.
TEST(Mattes, ADefocusMatteOfZeroKeepsTheImageSharp) {
  ScratchFolder dir;
  const TestImage in = flatDepthImage(15, 11, 300.0f);
  writeImage(dir.path("in.exr"), in);
  writeImage(dir.path("mattes.exr"), makeImage(15, 11, {"sharpness"}, [](int, int, int) { return 0.0f; }));
  const std::vector<std::string> blur{dir.path("in.exr"), "--set", "multiplier=8", "--set",
                                      "max_kernelsize=16"};
  std::vector<std::string> withMatte = blur;
  withMatte.insert(withMatte.end(), {"-o", dir.path("matte.exr"), "--mattes", dir.path("mattes.exr"), "--set",
                                     "defocusMatteChannel=sharpness"});
  ASSERT_RAN(render(withMatte));
  expectSamePixels(in, readImage(dir.path("matte.exr")), 1e-5f);

  std::vector<std::string> without = blur;
  without.insert(without.end(), {"-o", dir.path("blurred.exr")});
  ASSERT_RAN(render(without));
  const TestImage blurred = readImage(dir.path("blurred.exr"));
  EXPECT_GT(std::fabs(blurred.at(7, 5, 0) - in.at(7, 5, 0)), 1e-3f) << "the depth alone should blur";
}

// An aperture image on the Kernel input: normalised kernels keep a constant constant.
TEST(Kernel, AnInputKernelKeepsAConstantConstant) {
  ScratchFolder dir;
  writeImage(dir.path("in.exr"), makeImage(17, 13, kRGBAZ, [](int x, int, int c) {
               return c == 4 ? 50.0f + 20.0f * float(x) : c == 3 ? 1.0f : 0.3f;
             }));
  // An L-shaped aperture.
  writeImage(dir.path("kernel.exr"), makeImage(9, 9, {"R", "G", "B", "A"}, [](int x, int row, int) {
               return x < 3 || row > 5 ? 1.0f : 0.0f;
             }));
  const RunResult r =
      render({dir.path("in.exr"), "-o", dir.path("out.exr"), "--kernel", dir.path("kernel.exr"), "--set",
              "kernelType=Input", "--set", "multiplier=7", "--set", "max_kernelsize=16"});
  ASSERT_RAN(r);
  const TestImage out = readImage(dir.path("out.exr"));
  for (int row = 0; row < 13; ++row)
    for (int x = 0; x < 17; ++x) ASSERT_NEAR(out.at(x, row, out.channel("G")), 0.3f, 1e-4f);
}

// Without INPUT the node renders on its default input: the filter shape preview on 640 x 480.
TEST(NoInput, RendersTheDefaultFormat) {
  ScratchFolder dir;
  const RunResult r = render({"-o", dir.path("shape.exr"), "--set", "outputType=Filter Shape", "--set",
                              "kernelType=Aperture Blades"});
  ASSERT_RAN(r);
  const TestImage out = readImage(dir.path("shape.exr"));
  EXPECT_EQ(out.fullWidth, 640);
  EXPECT_EQ(out.fullHeight, 480);
  // The aperture's centre, host (240, 240), is file row 479 - 240.
  EXPECT_NEAR(out.at(240, 239, out.channel("R")), 1.0f, 1e-6f);
}

// Values that are not numbers or infinite do not bring orvel down.
TEST(Robustness, NonFiniteValuesRender) {
  ScratchFolder dir;
  const TestImage in = makeImage(12, 8, kRGBAZ, [](int x, int row, int c) {
    if ((x + row) % 3 == 0) return std::nanf("");
    if ((x + row) % 3 == 1) return c == 4 ? -INFINITY : INFINITY;
    return 1.0f;
  });
  writeImage(dir.path("in.exr"), in);
  const RunResult r = render({dir.path("in.exr"), "-o", dir.path("out.exr"), "--set", "multiplier=5", "--set",
                              "max_kernelsize=12", "--set", "bloom=0.5"});
  ASSERT_RAN(r);
  EXPECT_EQ(readImage(dir.path("out.exr")).width, 12);
}

// Warnings go to stderr prefixed `warning:`, and the render still succeeds.
TEST(Warnings, ADisabledKnobIsReported) {
  ScratchFolder dir;
  writeImage(dir.path("in.exr"), flatDepthImage(8, 6, 100.0f));
  const RunResult r = render({dir.path("in.exr"), "-o", dir.path("out.exr"), "--camera", "focal_point=100",
                              "--set", "focalPlane=40"});
  ASSERT_RAN(r);
  EXPECT_NE(r.err.find("warning: knob focalPlane is disabled"), std::string::npos) << r.err;
}

TEST(Demo, WritesTheExrAndThePngBesideIt) {
  ScratchFolder dir;
  const RunResult r = runOrvel({"demo", "--quiet", "-o", dir.path("scene.exr")});
  ASSERT_RAN(r);
  const TestImage exr = readImage(dir.path("scene.exr"));
  EXPECT_EQ(exr.fullWidth, 960);
  EXPECT_EQ(exr.fullHeight, 540);
  EXPECT_GE(exr.channel("Z"), 0);
  EXPECT_EQ(readImage(dir.path("scene.png")).width, 960);
}

TEST(Knobs, ListsTheParametersInPanelOrder) {
  const RunResult r = runOrvel({"knobs"});
  ASSERT_RAN(r);
  const size_t first = r.out.find("\norvelChannels\t"), last = r.out.find("\ndepthSlicesNearAndFar\t");
  EXPECT_NE(first, std::string::npos) << r.out;
  EXPECT_NE(last, std::string::npos) << r.out;
  EXPECT_LT(first, last);
  EXPECT_NE(r.out.find("\nkernelType\tKernel Type\tenumeration"), std::string::npos);
}

}  // namespace
