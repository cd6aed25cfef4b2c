// End-to-end: what a new user meets. Each refusal and warning through the exit status and its
// line; `orvel depth` against statistics worked here; --focus-at; --part on a two-part file.
#include <gtest/gtest.h>

#include <cmath>
#include <limits>

#include "app_support.h"
#include "caseName.h"

namespace {

// Colour 0.5 with one light of 100 at (8, 6), depth 100 + x (file coordinates).
TestImage scene(int w = 17, int h = 13) {
  return makeImage(w, h, {"R", "G", "B", "A", "Z"}, [](int x, int row, int c) {
    return c == 4 ? 100.0f + float(x) : c == 3 ? 1.0f : x == 8 && row == 6 ? 100.0f : 0.5f;
  });
}

// Parts named as given, each a whole image over the same windows.
void writeParts(const std::string& path, const std::vector<std::pair<std::string, TestImage>>& parts) {
  std::vector<OIIO::ImageSpec> specs;
  for (const auto& [name, image] : parts) {
    specs.emplace_back(image.width, image.height, int(image.channels.size()), OIIO::TypeDesc::FLOAT);
    specs.back().channelnames = image.channels;
    specs.back().attribute("oiio:subimagename", name);
  }
  auto out = OIIO::ImageOutput::create(path);
  bool ok = out && out->open(path, int(specs.size()), specs.data());
  for (size_t i = 0; ok && i < parts.size(); ++i)
    ok = (i == 0 || out->open(path, specs[i], OIIO::ImageOutput::AppendSubimage)) &&
         out->write_image(OIIO::TypeDesc::FLOAT, parts[i].second.pixels.data());
  if (!ok || !out->close()) throw std::runtime_error("cannot write " + path);
}

struct MessageCase {
  const char* name;
  Args args;
  int exitCode;
  const char* line;  // the start of a line of stderr, after its "error: " or "warning: "
  bool present = true;
};
void PrintTo(const MessageCase& c, std::ostream* os) { *os << c.name; }

class Messages : public ::testing::TestWithParam<MessageCase> {};

TEST_P(Messages, ExitStatusAndTheirLine) {
  ScratchFolder dir;
  TestImage in = scene();
  writeImage(dir.path("in.exr"), in);
  in.at(2, 2, 0) = std::numeric_limits<float>::quiet_NaN(), in.at(3, 9, 3) = INFINITY;
  writeImage(dir.path("nan.exr"), in);
  writeImage(dir.path("m.exr"), makeImage(17, 13, {"R", "G", "B"}, [](int, int, int) { return 1.0f; }));
  writeImage(dir.path("c.png"), makeImage(4, 4, {"R", "G", "B"}, [](int, int, int) { return 0.5f; }));
  writeImage(dir.path("zd.exr"), makeImage(4, 4, {"R", "zDepth"}, [](int, int, int) { return 5.0f; }));
  writeParts(dir.path("two.exr"), {{"rgba", in}, {"depth", in}});
  const RunResult r = run(dir, GetParam().args);
  EXPECT_EQ(r.exitCode, GetParam().exitCode) << r.err;
  const std::string prefix = GetParam().exitCode && GetParam().present ? "error: " : "warning: ";
  EXPECT_EQ(("\n" + r.err).find("\n" + prefix + at(dir, GetParam().line)) != std::string::npos,
            GetParam().present)
      << r.err;
  EXPECT_EQ(fileExists(dir.path("out.exr")), r.exitCode == 0);
}

Args in(Args more) {
  more.insert(more.begin(), {"render", "@in.exr", "-o", "@out.exr"});
  return more;
}

// clang-format off
INSTANTIATE_TEST_SUITE_P(Cases, Messages, ::testing::Values(
    MessageCase{"NothingToRender", {"render", "-o", "@out.exr"}, 2, "nothing to render: give an INPUT"},
    MessageCase{"MatteChannelMissing", in({"--mattes", "@m.exr", "--set", "defocusMatteChannel=A"}), 2,
                "'@m.exr' has no channel A for defocusMatteChannel (its channels: R, G, B)"},
    MessageCase{"SetWithoutEquals", in({"--set", "focalPlane", "10"}), 2, "--set wants KNOB=VALUE, not 'focalPlane': write --set focalPlane=10"},
    MessageCase{"PatternWithoutFrames", {"render", "@s.####.exr", "-o", "@out.exr"}, 2, "no such file '@s.####.exr': # and %04d stand for a frame number only with --frames"},
    MessageCase{"PngHasNoDepth", {"render", "@c.png", "-o", "@out.exr"}, 2, "'@c.png' has no depth channel (its channels: R, G, B): a .png file holds colour only"},
    MessageCase{"CameraFocus", in({"--camera", "focus=10"}), 2, "--camera: unknown value 'focus' (did you mean focal_point"},
    MessageCase{"ChannelCase", {"render", "@zd.exr", "-o", "@out.exr", "--set", "depthChannel=zdepth"}, 2, "the input's channels: R, zDepth (did you mean zDepth?)"},
    MessageCase{"NoKernel", in({"--set", "kernelType=Input"}), 1, "give the aperture image with --kernel FILE"},
    MessageCase{"SeveralParts", {"render", "@two.exr", "-o", "@out.exr"}, 0, "'@two.exr' has several parts; only the first is read"},
    MessageCase{"NoSuchPart", {"render", "@two.exr", "-o", "@out.exr", "--part", "2"}, 2, "'@two.exr' has no part '2' (its parts: 0 rgba, 1 depth)"},
    MessageCase{"KnobMistyped", {"knobs", "focalPlan"}, 2, "no knob 'focalPlan' (did you mean focalPlane?)"},
    MessageCase{"CameraArtistic", in({"--camera", "focal_point=104"}), 0, "--camera without realWorldLens=true: only its focus distance is used, as focalPlane (104)"},
    MessageCase{"KernelNotUsed", in({"--kernel", "@m.exr", "--set", "multiplier=5"}), 0, "--kernel is used only with kernelType=Input (it is Circular here)"},
    MessageCase{"Clamped", in({"--set", "focalLength=600"}), 0, "knob focalLength: 600 is beyond its range 0 .. 300; 300 is used"},
    MessageCase{"ClampedInt", in({"--set", "max_kernelsize=1000"}), 0, "knob max_kernelsize: 1000 is beyond its range 1 .. 256; 256 is used"},
    MessageCase{"InRange", in({"--set", "max_kernelsize=256", "--set", "multiplier=5"}), 0, "knob max_kernelsize", false},
    MessageCase{"MatteWithoutMattes", in({"--set", "defocusMatteChannel=A"}), 0, "knob defocusMatteChannel names A, but there is no Mattes input"},
    MessageCase{"NonFinite", {"render", "@nan.exr", "-o", "@out.exr"}, 0, "'@nan.exr': 2 pixels have a NaN or infinite colour"},
    MessageCase{"NothingInFocus", in({}), 0, "nothing was out of focus"},
    MessageCase{"SomethingBlurred", in({"--set", "multiplier=3"}), 0, "nothing was out of focus", false},
    MessageCase{"NoChannelBlurred", in({"--set", "multiplier=3", "--set", "orvelChannels=none"}), 0, "the picture is the input unchanged: orvelChannels (none) holds none of its channels (R, G, B, A, Z)"},
    MessageCase{"KernelSizeAtTop", in({"--set", "multiplier=400", "--set", "focusRegionSize=2"}), 0, "max_kernelsize is at its largest (256)"},
    MessageCase{"KernelSizeBelowTop", in({"--set", "multiplier=40", "--set", "max_kernelsize=8"}), 0, "raise max_kernelsize (now 8, at most 256)"}),
    ByName());
// clang-format on

}  // namespace

namespace {

// The `index`th number after the first `label` in `text`.
double numberAfter(const std::string& text, const std::string& label, int index = 0) {
  const size_t at = text.find(label);
  std::istringstream rest(at == std::string::npos ? "" : text.substr(at + label.size()));
  double v = NAN;
  for (int i = 0; i <= index; ++i) rest >> v;
  return v;
}

TEST(DepthCommand, StatisticsAndBlurAgainstOnesWorkedHere) {
  ScratchFolder dir;
  const TestImage image = makeImage(20, 15, {"R", "zDepth"}, [](int x, int row, int c) {
    return c ? 60.0f + float((x * 37 + row * 91) % 97) : 1.0f;
  });
  writeImage(dir.path("z.exr"), image);
  const RunResult r =
      runOrvel({"depth", dir.path("z.exr"), "--set", "depthChannel=zDepth", "--set", "focalPlane=100",
                "--set", "focusRegionSize=20", "--set", "multiplier=8", "--set", "frontmultiplier=2"});
  ASSERT_EQ(r.exitCode, 0) << r.err;
  std::vector<double> depths;
  for (size_t i = 1; i < image.pixels.size(); i += 2) depths.push_back(image.pixels[i]);
  // The artistic lens: the depth held within the band 90 .. 110, the blur a linear ramp to
  // multiplier at its edges, twice that in front.
  const auto blur = [](double d) {
    return std::min(1.0, std::fabs(std::clamp(d, 90.0, 110.0) - 100.0) / 10.0) * 8.0 * (d < 100 ? 2 : 1);
  };
  double focus = 0, front = 0;
  for (double d : depths)
    if (blur(d) <= 1)
      ++focus;
    else if (d < 100)
      ++front;
  std::sort(depths.begin(), depths.end());
  const std::pair<const char*, double> percentiles[] = {{"\nmin ", 0},  {"\n5%", 5},   {"\n25%", 25},
                                                        {"\n50%", 50},  {"\n75%", 75}, {"\n99%", 99},
                                                        {"\nmax ", 100}};
  for (const auto& [label, p] : percentiles) {
    const double at = p / 100 * double(depths.size() - 1), t = at - std::floor(at);
    const double d = depths[size_t(at)] * (1 - t) + depths[std::min(depths.size() - 1, size_t(at) + 1)] * t;
    EXPECT_NEAR(numberAfter(r.out, label), d, 1e-4 * d) << label;
    EXPECT_NEAR(numberAfter(r.out, label, 1), blur(d), 2e-3) << label;
  }
  const double n = double(depths.size());
  EXPECT_NEAR(numberAfter(r.out, "in focus (blur at most 1 px)"), 100 * focus / n, 0.051) << r.out;
  EXPECT_NEAR(numberAfter(r.out, "in front"), 100 * front / n, 0.051) << r.out;
}

// A depth ramp of 50 + x + 10 y (pixels from the top-left), or its inverse in a "1/z" file: the
// median of the 5 x 5 pixels around an inner pixel is its own depth; at a corner, of the 3 x 3
// left, the middle one. The picture is the one focalPlane set to the value printed gives.
class FocusAt : public ::testing::TestWithParam<std::tuple<std::string, float>> {};

TEST_P(FocusAt, SetsFocalPlaneToTheDepthThere) {
  const auto [at, depth] = GetParam();
  for (const std::string style : {"Real", "1/z"}) {
    ScratchFolder dir;
    writeImage(dir.path("in.exr"), makeImage(17, 13, {"R", "G", "B", "A", "Z"}, [&](int x, int row, int c) {
                 const float d = 50.0f + float(x + 10 * row);
                 return c == 4 ? (style == "Real" ? d : 1 / d) : float((x * 7 + row * 3 + c) % 5);
               }));
    const auto render = [&](const char* out, const std::string& option, const std::string& value) {
      return run(dir, {"render", "@in.exr", "-o", out, "--set", "multiplier=6", "--set", "focusRegionSize=10",
                       "--set", "depthStyle=" + style, option, value});
    };
    const RunResult r = render("@a.exr", "--focus-at", at);
    ASSERT_EQ(r.exitCode, 0) << r.err;
    EXPECT_NEAR(numberAfter(r.err, "focalPlane="), depth, 1e-5 * depth) << r.err;
    const size_t value = r.err.find("focalPlane=") + 11;
    ASSERT_EQ(render("@b.exr", "--set", "focalPlane=" + r.err.substr(value, r.err.find(' ', value) - value))
                  .exitCode,
              0);
    EXPECT_EQ(readImage(dir.path("a.exr")).pixels, readImage(dir.path("b.exr")).pixels);
  }
}

INSTANTIATE_TEST_SUITE_P(Pixels, FocusAt,
                         ::testing::Values(std::make_tuple("5,3", 85.0f), std::make_tuple("0,0", 61.0f),
                                           std::make_tuple("16,12", 175.0f)),
                         [](const auto& info) { return caseName("at_" + std::get<0>(info.param)); });

// A part chosen by name or index renders as that image alone; a depth channel named PART.CHANNEL
// comes from that part.
TEST(Parts, ChosenByNameOrIndexAndDepthFromAnother) {
  ScratchFolder dir;
  const TestImage whole = scene(),
                  other = makeImage(17, 13, {"R", "G", "B", "A", "Z"}, [](int x, int, int c) {
                    return c == 4 ? 90.0f + float(x) : c == 3 ? 1.0f : float(x % 3);
                  });
  TestImage colour = whole, depth = whole;
  colour.channels = {"R", "G", "B", "A"}, depth.channels = {"Z"};
  colour.pixels.clear(), depth.pixels.clear();
  for (size_t i = 0; i < whole.pixels.size(); ++i)
    (i % 5 == 4 ? depth : colour).pixels.push_back(whole.pixels[i]);
  writeParts(dir.path("two.exr"), {{"rgba", colour}, {"depth", depth}, {"b", other}});
  writeImage(dir.path("whole.exr"), whole);
  writeImage(dir.path("other.exr"), other);
  const auto render = [&](const std::string& in, const std::string& out, Args more) {
    Args args = {"render", dir.path(in),   "-o",    dir.path(out),
                 "--set",  "multiplier=5", "--set", "focusRegionSize=4"};
    args.insert(args.end(), more.begin(), more.end());
    EXPECT_EQ(runOrvel(args).exitCode, 0) << out;
    return readImage(dir.path(out)).pixels;
  };
  const std::vector<float> expected = render("whole.exr", "w.exr", {});
  EXPECT_EQ(render("two.exr", "d.exr", {"--set", "depthChannel=depth.Z"}), expected);
  const std::vector<float> b = render("other.exr", "o.exr", {});
  EXPECT_NE(b, expected);
  EXPECT_EQ(render("two.exr", "b1.exr", {"--part", "b"}), b);
  EXPECT_EQ(render("two.exr", "b2.exr", {"--part", "2"}), b);
}

// The second part of a two-part deep file renders, and measures, as that image alone; an unknown
// part is refused.
TEST(Parts, OfADeepFile) {
  ScratchFolder dir;
  const auto eye = [](float z) {
    return [z](int x, int y, auto& s) { s = {x % 3 * 1.f, z / 100, y % 2 * 1.f, 1, z + x}; };
  };
  writeDeepImage(dir.path("stereo.exr"), 9, 7, {"R", "G", "B", "A", "Z"}, eye(60), 0, eye(130));
  writeDeepImage(dir.path("right.exr"), 9, 7, {"R", "G", "B", "A", "Z"}, eye(130));
  const auto render = [&](const std::string& in, const std::string& part) {
    const RunResult r = runOrvel(
        {"render", "--deep", dir.path(in), "--part", part, "-o", dir.path("o.exr"), "--set", "multiplier=5"});
    EXPECT_EQ(r.exitCode, part == "nosuch" ? 2 : 0) << r.err;
    return readImage(dir.path("o.exr")).pixels;
  };
  const std::vector<float> right = render("right.exr", "0");
  EXPECT_EQ(render("stereo.exr", "1"), right);
  EXPECT_NE(render("stereo.exr", "0"), right);
  render("stereo.exr", "nosuch");
  const auto depths = [](const Args& args) {  // past the line naming the file
    const std::string out = runOrvel(args).out;
    return out.substr(std::min(out.size(), out.find('\n')));
  };
  EXPECT_EQ(depths({"depth", dir.path("stereo.exr"), "--part", "1"}),
            depths({"depth", dir.path("right.exr")}));
}

// A frame range renders every frame it can, then names those it could not.
TEST(Frames, AMissingFrameIsNamedOnceTheOthersAreWritten) {
  ScratchFolder dir;
  for (const char* f : {"1", "3"}) writeImage(dir.path(std::string("in.") + f + ".exr"), scene());
  const RunResult r = run(dir, {"render", "@in.#.exr", "-o", "@out.#.exr", "--frames", "1-3"});
  EXPECT_EQ(r.exitCode, 2);
  EXPECT_NE(r.err.find("error: frame 2: no such file"), std::string::npos) << r.err;
  EXPECT_NE(r.err.find("error: 1 of 3 frames not written: 2 "), std::string::npos) << r.err;
  EXPECT_EQ(dir.files(), (std::vector<std::string>{"in.1.exr", "in.3.exr", "out.1.exr", "out.3.exr"}));
}

}  // namespace
