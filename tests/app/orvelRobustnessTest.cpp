// End-to-end: engine choice, limits before allocation, Ctrl-C, and `orvel bench`.
#include <gtest/gtest.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cmath>
#include <cstring>
#include <sstream>
#include <stdexcept>
#include <thread>

#include "orvelTestSupport.h"

namespace {

const std::vector<std::string> kRGBAZ = {"R", "G", "B", "A", "Z"};

RunResult render(const std::vector<std::string>& args) {
  std::vector<std::string> all{"render", "--quiet"};
  all.insert(all.end(), args.begin(), args.end());
  return runOrvel(all);
}

#define ASSERT_RAN(result) ASSERT_EQ((result).exitCode, 0) << (result).err

// A picture with depths in front of, on and behind the focal plane and bright spots.
TestImage varied(int width, int height) {
  return makeImage(width, height, kRGBAZ, [](int x, int row, int c) {
    if (c == 3) return 1.0f;
    if (c == 4) return 30.0f + 11.0f * float((x * 3 + row * 5) % 23);
    return (x * 5 + row * 3) % 17 == 0 ? 20.0f : 0.1f + 0.02f * float((x + 2 * row + 3 * c) % 29);
  });
}

// The fast and the reference engine give the same picture.
TEST(Engines, FastAndReferenceAgree) {
  ScratchFolder dir;
  writeImage(dir.path("in.exr"), varied(37, 23));
  const std::vector<std::string> knobs{
      "--set", "multiplier=10", "--set", "max_kernelsize=20", "--set", "kernelType=Aperture Blades",
      "--set", "bloom=0.3"};
  std::vector<std::string> fast{dir.path("in.exr"), "-o", dir.path("fast.exr"), "--engine", "fast"};
  std::vector<std::string> reference{dir.path("in.exr"), "-o", dir.path("reference.exr"), "--engine",
                                     "reference"};
  fast.insert(fast.end(), knobs.begin(), knobs.end());
  reference.insert(reference.end(), knobs.begin(), knobs.end());
  const RunResult f = render(fast);
  ASSERT_RAN(f);
  const RunResult r = render(reference);
  ASSERT_RAN(r);
  const TestImage a = readImage(dir.path("fast.exr")), b = readImage(dir.path("reference.exr"));
  ASSERT_EQ(a.pixels.size(), b.pixels.size());
  ASSERT_EQ(a.channels, b.channels);
  int bad = 0;
  for (size_t i = 0; i < a.pixels.size(); ++i) {
    const float size = std::max(std::fabs(a.pixels[i]), std::fabs(b.pixels[i]));
    if (!(std::fabs(a.pixels[i] - b.pixels[i]) <= 1e-5f * std::max(size, 1e-3f)) && bad++ < 5)
      ADD_FAILURE() << "value " << i << ": fast " << a.pixels[i] << ", reference " << b.pixels[i];
  }
}

TEST(Engines, AnUnknownEngineIsAUsageError) {
  ScratchFolder dir;
  writeImage(dir.path("in.exr"), varied(8, 8));
  const RunResult r = render({dir.path("in.exr"), "-o", dir.path("out.exr"), "--engine", "turbo"});
  EXPECT_EQ(r.exitCode, 2);
  EXPECT_NE(r.err.find("--engine"), std::string::npos) << r.err;
}

// A tiny tiled EXR whose header declares a 200000 x 200000 data window: the header of a 1 x 1
// file with one 1 x 1 tile, its windows and tile size patched, and an offset table of zeros (which
// OpenEXR rebuilds by scanning) for the 49 x 49 tiles of 4096 declared.
std::string hugeWindowFile(const ScratchFolder& dir) {
  TestImage one = makeImage(1, 1, {"R", "Z"}, [](int, int, int c) { return c ? 100.0f : 0.5f; });
  one.tileSize = 1;
  const std::string small = dir.path("one.exr");
  writeImage(small, one);
  std::string bytes = readBytes(small);
  const auto patch = [&](const std::string& name, size_t offset, const void* value, size_t size) {
    const size_t at = bytes.find(name);
    if (at == std::string::npos) throw std::runtime_error("the test file lacks an attribute");
    std::memcpy(&bytes[at + name.size() + 4 + offset], value, size);
    return at + name.size() + 4;
  };
  const int32_t corner[2] = {199999, 199999};
  const uint32_t tile[2] = {4096, 4096};
  patch(std::string("dataWindow\0box2i\0", 17), 8, corner, sizeof corner);
  patch(std::string("displayWindow\0box2i\0", 20), 8, corner, sizeof corner);
  const size_t tiles = patch(std::string("tiles\0tiledesc\0", 15), 0, tile, sizeof tile);
  const size_t headerEnd = tiles + 9 + 1;  // the tile description, then the header's closing zero
  const std::string chunk = bytes.substr(headerEnd + 8);
  const std::string path = dir.path("huge.exr");
  writeText(path, bytes.substr(0, headerEnd) + std::string(49 * 49 * 8, '\0') + chunk);
  return path;
}

// Rendering dir/in.exr as a flat and as a deep input both exit 2, calling the file invalid.
void expectRefusedAsFlatAndDeep(const ScratchFolder& dir) {
  for (const std::vector<std::string>& args : {std::vector<std::string>{dir.path("in.exr")},
                                               std::vector<std::string>{"--deep", dir.path("in.exr")}}) {
    std::vector<std::string> all = args;
    all.insert(all.end(), {"-o", dir.path("out.exr")});
    const RunResult r = render(all);
    EXPECT_EQ(r.exitCode, 2) << r.err;
    EXPECT_NE(r.err.find("not a valid EXR file"), std::string::npos) << r.err;
  }
}

TEST(Limits, AHugeDeclaredWindowIsRefusedBeforeReading) {
  ScratchFolder dir;
  const std::string huge = hugeWindowFile(dir);
  const RunResult r = render({huge, "-o", dir.path("out.exr")});
  EXPECT_EQ(r.exitCode, 2) << r.err;
  EXPECT_NE(r.err.find("would need"), std::string::npos) << r.err;
  EXPECT_NE(r.err.find("--max-memory"), std::string::npos) << r.err;
  EXPECT_FALSE(fileExists(dir.path("out.exr")));
}

// Headers the EXR library would believe and allocate for: refused before it reads them.
TEST(Limits, AnAttributeLargerThanTheFileIsRefused) {
  ScratchFolder dir;
  writeImage(dir.path("in.exr"), varied(2, 2));
  std::string bytes = readBytes(dir.path("in.exr"));
  // OpenImageIO records the date of writing as a string attribute, read by its declared size.
  const std::string date("capDate\0string\0", 15);
  const size_t at = bytes.find(date);
  ASSERT_NE(at, std::string::npos);
  const uint32_t size = 0x7fffff00;  // about 2 GB, in a file of a few hundred bytes
  std::memcpy(&bytes[at + date.size()], &size, sizeof size);
  writeText(dir.path("in.exr"), bytes);
  expectRefusedAsFlatAndDeep(dir);
}

// The EXR library reads a channel list up to its empty name whatever size the file declares for
// it, and so does the check before it: such a file is read as usual.
TEST(Limits, AChannelListIsReadUpToItsEnd) {
  ScratchFolder dir;
  const TestImage in = varied(3, 2);
  writeImage(dir.path("in.exr"), in);
  std::string bytes = readBytes(dir.path("in.exr"));
  const std::string channels("channels\0chlist\0", 16);
  const size_t at = bytes.find(channels);
  ASSERT_NE(at, std::string::npos);
  const uint32_t size = 0x7fffff00;
  std::memcpy(&bytes[at + channels.size()], &size, sizeof size);
  writeText(dir.path("in.exr"), bytes);
  const RunResult r = render({dir.path("in.exr"), "-o", dir.path("out.exr"), "--set", "focalPlane=1"});
  ASSERT_RAN(r);
  EXPECT_EQ(readImage(dir.path("out.exr")).width, 3);
}

// A channel of an unknown pixel type, which the image library aborts on, is refused first.
TEST(Limits, AnUnknownPixelTypeIsRefused) {
  ScratchFolder dir;
  writeImage(dir.path("in.exr"), varied(2, 2));
  std::string bytes = readBytes(dir.path("in.exr"));
  const std::string firstChannel("chlist\0", 7);
  const size_t at = bytes.find(firstChannel);
  ASSERT_NE(at, std::string::npos);
  const size_t type = at + firstChannel.size() + 4 + 2;  // past the size and the name "A\0"
  const uint32_t unknown = 3;
  std::memcpy(&bytes[type], &unknown, sizeof unknown);
  writeText(dir.path("in.exr"), bytes);
  expectRefusedAsFlatAndDeep(dir);
}

TEST(Limits, AHugeTileTableIsRefused) {
  ScratchFolder dir;
  std::string bytes = readBytes(hugeWindowFile(dir));
  const std::string tiles("tiles\0tiledesc\0", 15);
  const size_t at = bytes.find(tiles);
  ASSERT_NE(at, std::string::npos);
  const uint32_t one[2] = {1, 1};  // 200000 x 200000 tiles: an offset table of 320 GB
  std::memcpy(&bytes[at + tiles.size() + 4], one, sizeof one);
  writeText(dir.path("tiny-tiles.exr"), bytes);
  const RunResult r = render({dir.path("tiny-tiles.exr"), "-o", dir.path("out.exr")});
  EXPECT_EQ(r.exitCode, 2) << r.err;
  EXPECT_NE(r.err.find("--max-memory"), std::string::npos) << r.err;
}

// A long single row: the image library reads at least 256 rows' worth of buffer at a time, here
// 1 GB for 4 MB of pixels, and that counts against the limit too.
TEST(Limits, TheReadBufferOfAVeryWideRowCounts) {
  ScratchFolder dir;
  writeImage(dir.path("wide.exr"), makeImage(1000000, 1, {"Z"}, [](int, int, int) { return 100.0f; }));
  const RunResult r = render({dir.path("wide.exr"), "-o", dir.path("out.exr"), "--max-memory", "0.5"});
  EXPECT_EQ(r.exitCode, 2) << r.err;
  EXPECT_NE(r.err.find("would need"), std::string::npos) << r.err;
}

TEST(Limits, AFileOverTheGivenLimitIsRefused) {
  ScratchFolder dir;
  writeImage(dir.path("in.exr"), varied(64, 64));  // 64 x 64 x 5 floats, twice: 160 KB
  const RunResult refused = render({dir.path("in.exr"), "-o", dir.path("out.exr"), "--max-memory", "0.0001"});
  EXPECT_EQ(refused.exitCode, 2) << refused.err;
  const RunResult accepted = render({dir.path("in.exr"), "-o", dir.path("out.exr"), "--max-memory", "0.001"});
  EXPECT_EQ(accepted.exitCode, 0) << accepted.err;
}

// Ctrl-C during a slow render: status 130, and neither the output nor a temporary file is left.
TEST(Interrupt, LeavesNoOutputAndExitsWith130) {
  ScratchFolder dir;
  writeImage(dir.path("in.exr"), varied(1920, 1080));
  std::vector<std::string> argv{
      ORVEL_EXECUTABLE, "render",    "--quiet", dir.path("in.exr"),   "-o",    dir.path("out.exr"),
      "--engine",       "reference", "--set",   "max_kernelsize=128", "--set", "multiplier=40"};
  const pid_t pid = ::fork();
  ASSERT_GE(pid, 0);
  if (pid == 0) {
    std::vector<char*> raw;
    for (std::string& a : argv) raw.push_back(a.data());
    raw.push_back(nullptr);
    ::execv(raw[0], raw.data());
    ::_exit(127);
  }
  std::this_thread::sleep_for(std::chrono::milliseconds(1500));
  ::kill(pid, SIGINT);
  int status = 0;
  ASSERT_EQ(::waitpid(pid, &status, 0), pid);
  ASSERT_TRUE(WIFEXITED(status)) << "died of signal " << WTERMSIG(status);
  EXPECT_EQ(WEXITSTATUS(status), 130);
  EXPECT_EQ(dir.files(), std::vector<std::string>{"in.exr"});
}

// `orvel bench` on a small frame: five cases with both engines agreeing, and the large-blur case
// again on a forced vector target. Kernels several times the frame's size sum so many taps into
// each pixel that the reference's own rounding passes the 1e-5 the agreement table holds on
// frames the kernels fit; here each channel's largest difference stays below 1e-3 of its value.
TEST(Bench, ReportsEveryCaseAndTheEnginesAgree) {
  const RunResult r = runOrvel({"bench", "--quick", "--size", "64x36"});
  ASSERT_RAN(r);
  EXPECT_NE(r.out.find("processors"), std::string::npos) << r.out;
  EXPECT_NE(r.out.find("vector target"), std::string::npos) << r.out;
  EXPECT_NE(r.out.find("fast / fast on the best target"), std::string::npos) << r.out;
  std::istringstream lines(r.out);
  int compared = 0, budgets = 0;
  for (std::string line; std::getline(lines, line);) {
    // 3 x (64 x 36 pixels x (5 + 4) floats) = 0.237 MB; twice the size 0.949 MB
    if (line.find("peak budget 3 x") != std::string::npos) {
      ++budgets;
      EXPECT_TRUE(line.find("= 0.2 MB") != std::string::npos || line.find("= 0.9 MB") != std::string::npos)
          << line;
    }
    const size_t at = line.find("RGBA:");
    if (at == std::string::npos) continue;
    ++compared;
    std::istringstream figures(line.substr(at + 5));
    for (int k = 0; k < 4; ++k) {
      double difference = -1, relative = -1;
      char open = 0, close = 0;
      figures >> difference >> open >> relative >> close;
      EXPECT_GE(difference, 0.0) << line;
      EXPECT_GE(relative, 0.0) << line;
      EXPECT_LT(relative, 1e-3) << line;
    }
  }
  EXPECT_EQ(compared, 5) << r.out;
  EXPECT_EQ(budgets, 4) << "one budget for each flat case compared\n" << r.out;
}

}  // namespace
