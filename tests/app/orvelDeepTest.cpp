// End-to-end: orvel renders deep EXR files written here (scanline and tiled) and the small real
// deep files of the shared test data, and refuses broken ones.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <filesystem>

#include "deepTestImage.h"
#include "orvelTestSupport.h"

namespace {

const std::vector<std::string> kRGBAZ = {"R", "G", "B", "A", "Z"};

float pattern(int x, int row, int c) { return 0.05f + 0.01f * float((x * 7 + row * 13 + c * 29) % 89); }

// Depth varying across the picture and asymmetric in the rows, so that a flip shows.
float depthAt(int x, int row) { return 40.0f + 9.0f * float(x) + 4.0f * float(row * row % 11); }

RunResult render(const std::vector<std::string>& args) {
  std::vector<std::string> all{"render", "--quiet"};
  all.insert(all.end(), args.begin(), args.end());
  return runOrvel(all);
}

#define ASSERT_RAN(result) ASSERT_EQ((result).exitCode, 0) << (result).err

// One opaque point sample per pixel, with the colour and depth of flatImage's pixel.
DeepTestImage pointSampleImage(int width, int height, bool withBack, int tileSize) {
  std::vector<std::string> channels = kRGBAZ;
  if (withBack) channels.push_back("ZBack");
  DeepTestImage image = makeDeepImage(width, height, channels, [&](int x, int row, std::vector<float>& s) {
    s = {pattern(x, row, 0), pattern(x, row, 1), pattern(x, row, 2), 1.0f, depthAt(x, row)};
    if (withBack) s.push_back(depthAt(x, row));
  });
  image.tileSize = tileSize;
  return image;
}

TestImage flatImage(int width, int height) {
  return makeImage(width, height, kRGBAZ, [](int x, int row, int c) {
    return c == 3 ? 1.0f : c == 4 ? depthAt(x, row) : pattern(x, row, c);
  });
}

// The RGBA of two renders agree within `tolerance` over the display window.
void expectSameColours(const TestImage& expected, const TestImage& actual, float tolerance) {
  ASSERT_EQ(expected.fullWidth, actual.fullWidth);
  ASSERT_EQ(expected.fullHeight, actual.fullHeight);
  int bad = 0;
  for (const char* name : {"R", "G", "B", "A"}) {
    const int ec = expected.channel(name), ac = actual.channel(name);
    ASSERT_GE(ec, 0) << name;
    ASSERT_GE(ac, 0) << name;
    for (int row = 0; row < expected.fullHeight; ++row)
      for (int x = 0; x < expected.fullWidth; ++x) {
        const float e = expected.at(x, row, ec), a = actual.at(x, row, ac);
        if (!(std::fabs(e - a) <= tolerance) && bad++ < 5)
          ADD_FAILURE() << name << " at (" << x << ", " << row << "): expected " << e << ", got " << a;
      }
  }
}

// A deep image of opaque point samples defocuses like the flat image of the same colour and
// depth, for scanline and tiled files, with and without ZBack.
struct PointCase {
  const char* name;
  bool withBack;
  int tileSize;
};

class PointSamples : public ::testing::TestWithParam<PointCase> {};

TEST_P(PointSamples, DefocusLikeTheFlatImage) {
  ScratchFolder dir;
  const int width = 21, height = 13;  // not a multiple of the tile size
  writeImage(dir.path("flat.exr"), flatImage(width, height));
  writeDeepImage(dir.path("deep.exr"),
                 pointSampleImage(width, height, GetParam().withBack, GetParam().tileSize));
  const std::vector<std::string> knobs{"--set", "multiplier=8", "--set", "max_kernelsize=12",
                                       "--set", "focalPlane=90"};
  std::vector<std::string> flatArgs{dir.path("flat.exr"), "-o", dir.path("flat-out.exr")};
  std::vector<std::string> deepArgs{"--deep", dir.path("deep.exr"), "-o", dir.path("deep-out.exr")};
  flatArgs.insert(flatArgs.end(), knobs.begin(), knobs.end());
  deepArgs.insert(deepArgs.end(), knobs.begin(), knobs.end());
  const RunResult f = render(flatArgs);
  ASSERT_RAN(f);
  const RunResult d = render(deepArgs);
  ASSERT_RAN(d);
  const TestImage flat = readImage(dir.path("flat-out.exr")), deep = readImage(dir.path("deep-out.exr"));
  expectSameColours(flat, deep, 1e-4f);
  // Not the input unchanged: the test would pass trivially if nothing were blurred.
  const TestImage in = flatImage(width, height);
  float moved = 0;
  for (int row = 0; row < height; ++row)
    for (int x = 0; x < width; ++x) moved = std::max(moved, std::fabs(deep.at(x, row, 0) - in.at(x, row, 0)));
  EXPECT_GT(moved, 0.01f);
}

INSTANTIATE_TEST_SUITE_P(Cases, PointSamples,
                         ::testing::Values(PointCase{"Scanlines", false, 0},
                                           PointCase{"ScanlinesWithBack", true, 0},
                                           PointCase{"Tiled", false, 8}, PointCase{"TiledWithBack", true, 4}),
                         [](const auto& info) { return std::string(info.param.name); });

// A layered deep image: an opaque far sample, a thick semi-transparent one and empty pixels.
DeepTestImage layeredImage(int width, int height) {
  return makeDeepImage(width, height, {"R", "G", "B", "A", "Z", "ZBack", "id"},
                       [](int x, int row, std::vector<float>& s) {
                         if ((x + row) % 5 == 0) return;
                         s = {0.3f, 0.4f, 0.5f, 1.0f, 300.0f, 300.0f, 7.0f};
                         if (x % 2) s.insert(s.end(), {0.2f, 0.1f, 0.0f, 0.4f, 40.0f + x, 80.0f + x, 8.0f});
                       });
}

// Every output type renders a deep input, with no flat input, on the deep file's format.
class DeepOutputTypes : public ::testing::TestWithParam<const char*> {};

TEST_P(DeepOutputTypes, Render) {
  ScratchFolder dir;
  writeDeepImage(dir.path("deep.exr"), layeredImage(18, 11));
  const RunResult r = render({"--deep", dir.path("deep.exr"), "-o", dir.path("out.exr"), "--set",
                              std::string("outputType=") + GetParam(), "--set", "multiplier=6", "--set",
                              "max_kernelsize=16"});
  ASSERT_RAN(r);
  const TestImage out = readImage(dir.path("out.exr"));
  EXPECT_EQ(out.fullWidth, 18);
  EXPECT_EQ(out.fullHeight, 11);
  ASSERT_GE(out.channel("A"), 0);
  for (float v : out.pixels) ASSERT_TRUE(std::isfinite(v));
}

INSTANTIATE_TEST_SUITE_P(Cases, DeepOutputTypes,
                         ::testing::Values("Defocused Image", "Lens Bloom", "Focal Distance Visualization",
                                           "Filter Shape", "Focus Matte"),
                         [](const auto& info) {
                           std::string name = info.param;
                           name.erase(std::remove(name.begin(), name.end(), ' '), name.end());
                           return name;
                         });

// Broken deep files: exit status 2, one line naming the problem, and no output.
struct BrokenCase {
  const char* name;
  std::function<void(const std::string&)> make;
  const char* expected;  // in the message
};

void truncatedFile(const std::string& path) {
  writeDeepImage(path, layeredImage(16, 16));
  const std::string bytes = readBytes(path);
  std::filesystem::resize_file(path, bytes.size() * 2 / 3);
}

void noDepth(const std::string& path) {
  writeDeepImage(path, makeDeepImage(4, 3, {"R", "A"}, [](int, int, std::vector<float>& s) {
                   s = {0.5f, 1.0f};
                 }));
}

void flatFile(const std::string& path) { writeImage(path, flatImage(4, 3)); }

void garbage(const std::string& path) {
  writeText(path, std::string("\x76\x2f\x31\x01\x02\x00\x00\x00junk", 12));
}

class BrokenDeep : public ::testing::TestWithParam<BrokenCase> {};

TEST_P(BrokenDeep, ExitsWithOneClearLine) {
  ScratchFolder dir;
  GetParam().make(dir.path("bad.exr"));
  const RunResult r = render({"--deep", dir.path("bad.exr"), "-o", dir.path("out.exr")});
  EXPECT_EQ(r.exitCode, 2) << r.err;
  EXPECT_NE(r.err.find(GetParam().expected), std::string::npos) << r.err;
  EXPECT_EQ(std::count(r.err.begin(), r.err.end(), '\n'), 1) << r.err;
  EXPECT_EQ(dir.files(), std::vector<std::string>{"bad.exr"});
}

INSTANTIATE_TEST_SUITE_P(Cases, BrokenDeep,
                         ::testing::Values(BrokenCase{"Truncated", truncatedFile, "cannot read the samples"},
                                           BrokenCase{"NoZ", noDepth, "has no Z channel"},
                                           BrokenCase{"Flat", flatFile, "is not a deep image"},
                                           BrokenCase{"Garbage", garbage, "not a valid EXR file"}),
                         [](const auto& info) { return std::string(info.param.name); });

// More samples than --max-memory allows are refused before the render.
TEST(DeepLimits, SamplesBeyondTheMemoryLimitAreRefused) {
  ScratchFolder dir;
  writeDeepImage(dir.path("deep.exr"), layeredImage(64, 64));
  // 64 x 64 pixels of about 1.2 samples of 8 floats: some 150 KB, over a limit of 0.0001 GB.
  const RunResult r =
      render({"--deep", dir.path("deep.exr"), "-o", dir.path("out.exr"), "--max-memory", "0.0001"});
  EXPECT_EQ(r.exitCode, 2) << r.err;
  EXPECT_NE(r.err.find("--max-memory"), std::string::npos) << r.err;
  EXPECT_FALSE(fileExists(dir.path("out.exr")));
  const RunResult ok =
      render({"--deep", dir.path("deep.exr"), "-o", dir.path("out.exr"), "--max-memory", "0.01"});
  EXPECT_EQ(ok.exitCode, 0) << ok.err;
}

// The small real deep files: half-float and uint channels, empty pixels, no samples at all.
class SharedDeepFiles : public ::testing::TestWithParam<const char*> {};

TEST_P(SharedDeepFiles, Render) {
  const std::string path = std::string(ORVEL_SHARED_DATA) + "/" + GetParam();
  if (!fileExists(path)) GTEST_SKIP() << "no shared test data at " << path;
  ScratchFolder dir;
  const RunResult r = render({"--deep", path, "-o", dir.path("out.exr"), "--set", "multiplier=4"});
  ASSERT_RAN(r);
  const TestImage out = readImage(dir.path("out.exr"));
  ASSERT_FALSE(out.channels.empty());
  for (float v : out.pixels) ASSERT_TRUE(std::isfinite(v));
}

INSTANTIATE_TEST_SUITE_P(Files, SharedDeepFiles,
                         ::testing::Values("manifest.exr", "tinydeep.exr", "deep-nosamples.exr",
                                           "deep-onesample.exr"),
                         [](const auto& info) {
                           std::string name = info.param;
                           name.erase(std::remove(name.begin(), name.end(), '.'), name.end());
                           name.erase(std::remove(name.begin(), name.end(), '-'), name.end());
                           return name;
                         });

// A deep file with no samples leaves the picture black.
TEST(SharedDeepFiles, NoSamplesGiveBlack) {
  const std::string path = std::string(ORVEL_SHARED_DATA) + "/deep-nosamples.exr";
  if (!fileExists(path)) GTEST_SKIP() << "no shared test data at " << path;
  ScratchFolder dir;
  const RunResult r = render({"--deep", path, "-o", dir.path("out.exr")});
  ASSERT_RAN(r);
  const TestImage out = readImage(dir.path("out.exr"));
  ASSERT_FALSE(out.pixels.empty());
  for (float v : out.pixels) EXPECT_EQ(v, 0.0f);
}

// The deep demo: the sphere at the focal distance stays opaque, the hole in the top-right
// corner, far from every sample, stays empty.
TEST(DeepDemo, RendersTheBuiltInDeepScene) {
  ScratchFolder dir;
  const RunResult r = runOrvel({"demo", "--deep", "--quiet", "-o", dir.path("deep.exr")});
  ASSERT_RAN(r);
  EXPECT_TRUE(fileExists(dir.path("deep.png")));
  const TestImage out = readImage(dir.path("deep.exr"));
  const int a = out.channel("A");
  ASSERT_GE(a, 0);
  ASSERT_EQ(out.fullWidth, 960);
  EXPECT_NEAR(out.at(480, 270, a), 1.0f, 1e-4f);
  EXPECT_EQ(out.at(959, 0, a), 0.0f);
}

}  // namespace
