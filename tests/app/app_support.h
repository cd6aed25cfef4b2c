// End-to-end support: a scratch folder, running the orvel executable, and small flat and deep
// images written and read with OpenImageIO.
#pragma once

#include <OpenImageIO/deepdata.h>
#include <OpenImageIO/imageio.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <functional>
#include <sstream>
#include <stdexcept>
#include <string>
#include <tuple>
#include <vector>

inline std::string readBytes(const std::string& path) {
  std::ostringstream s;
  s << std::ifstream(path, std::ios::binary).rdbuf();
  return s.str();
}
inline void writeText(const std::string& path, const std::string& text) { std::ofstream(path) << text; }
inline bool fileExists(const std::string& path) { return std::filesystem::exists(path); }

// A folder under the system's temporary folder, removed with its contents on destruction.
class ScratchFolder {
 public:
  ScratchFolder() {
    std::string pattern = (std::filesystem::temp_directory_path() / "orvel-test-XXXXXX").string();
    folder_ = ::mkdtemp(pattern.data()) ? pattern : std::string();
  }
  ~ScratchFolder() {
    std::error_code ec;
    std::filesystem::remove_all(folder_, ec);
  }
  ScratchFolder(const ScratchFolder&) = delete;
  ScratchFolder& operator=(const ScratchFolder&) = delete;
  std::string path(const std::string& name) const { return folder_ + "/" + name; }
  std::vector<std::string> files() const {  // sorted names
    std::vector<std::string> names;
    for (const auto& e : std::filesystem::directory_iterator(folder_)) names.push_back(e.path().filename());
    std::sort(names.begin(), names.end());
    return names;
  }

 private:
  std::string folder_;
};

struct RunResult {
  int exitCode = -1;  // 128 + signal number when orvel died of a signal
  std::string out, err;
};

// Runs orvel (or the copy `executable`, after `environment` settings) with `args` ("render" runs
// get --quiet), its output and errors captured.
inline RunResult runOrvel(std::vector<std::string> args, const std::string& executable = ORVEL_EXECUTABLE,
                          const std::string& environment = "") {
  ScratchFolder capture;
  if (!args.empty() && args[0] == "render") args.insert(args.begin() + 1, "--quiet");
  std::string command = environment + " '" + executable + "'";
  for (const std::string& a : args) command += " '" + a + "'";  // no argument holds a quote
  const int status = std::system(
      (command + " >" + capture.path("out") + " 2>" + capture.path("err") + " </dev/null").c_str());
  return {WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status), readBytes(capture.path("out")),
          readBytes(capture.path("err"))};
}

using Args = std::vector<std::string>;

// orvel run with "@" in an argument standing for the scratch folder `dir`.
inline std::string at(const ScratchFolder& dir, std::string s) {
  for (size_t i; (i = s.find('@')) != std::string::npos;) s.replace(i, 1, dir.path(""));
  return s;
}
inline RunResult run(const ScratchFolder& dir, Args args) {
  for (std::string& s : args) s = at(dir, s);
  return runOrvel(args);
}

// A flat image as a file holds it: interleaved channels, rows top-down over the data window.
struct TestImage {
  int x = 0, y = 0, width = 0, height = 0;                  // data window
  int fullX = 0, fullY = 0, fullWidth = 0, fullHeight = 0;  // display window
  std::vector<std::string> channels;
  std::vector<float> pixels;
  int tileSize = 0;  // written in square tiles of this size; 0: scanlines

  int channel(const std::string& name) const {  // -1 when absent
    const auto it = std::find(channels.begin(), channels.end(), name);
    return it == channels.end() ? -1 : int(it - channels.begin());
  }
  // Value at file column px, file row py (absolute coordinates) of channel c.
  float& at(int px, int py, int c) {
    return pixels[(size_t(py - y) * size_t(width) + size_t(px - x)) * channels.size() + size_t(c)];
  }
  float at(int px, int py, int c) const { return const_cast<TestImage*>(this)->at(px, py, c); }
};

// Display window = data window, filled by value(x, fileRow, channel index).
inline TestImage makeImage(int width, int height, const std::vector<std::string>& channels,
                           const std::function<float(int, int, int)>& value) {
  TestImage image;
  image.width = image.fullWidth = width;
  image.height = image.fullHeight = height;
  image.channels = channels;
  image.pixels.resize(size_t(width) * size_t(height) * channels.size());
  for (int row = 0; row < height; ++row)
    for (int col = 0; col < width; ++col)
      for (size_t c = 0; c < channels.size(); ++c) image.at(col, row, int(c)) = value(col, row, int(c));
  return image;
}

inline void writeSpec(const std::string& path, const OIIO::ImageSpec& spec,
                      const std::function<bool(OIIO::ImageOutput&)>& write) {
  auto out = OIIO::ImageOutput::create(path);
  if (!out || !out->open(path, spec) || !write(*out)) throw std::runtime_error("cannot write " + path);
  out->close();
}

inline void writeImage(const std::string& path, const TestImage& image) {
  OIIO::ImageSpec spec(image.width, image.height, int(image.channels.size()), OIIO::TypeDesc::FLOAT);
  std::tie(spec.x, spec.y, spec.full_x, spec.full_y, spec.full_width, spec.full_height, spec.channelnames) =
      std::tie(image.x, image.y, image.fullX, image.fullY, image.fullWidth, image.fullHeight, image.channels);
  spec.tile_width = spec.tile_height = image.tileSize;
  writeSpec(path, spec,
            [&](OIIO::ImageOutput& o) { return o.write_image(OIIO::TypeDesc::FLOAT, image.pixels.data()); });
}

inline TestImage readImage(const std::string& path) {  // no channels when unreadable
  TestImage image;
  auto in = OIIO::ImageInput::open(path);
  if (!in) return image;
  const OIIO::ImageSpec& s = in->spec();
  std::tie(image.x, image.y, image.width, image.height, image.fullX, image.fullY, image.fullWidth,
           image.fullHeight, image.channels) =
      std::tie(s.x, s.y, s.width, s.height, s.full_x, s.full_y, s.full_width, s.full_height, s.channelnames);
  image.pixels.resize(size_t(s.width) * size_t(s.height) * size_t(s.nchannels));
  if (!in->read_image(0, 0, 0, s.nchannels, OIIO::TypeDesc::FLOAT, image.pixels.data())) return TestImage();
  return image;
}

// Deep samples per pixel (rows top-down), channels interleaved; with `right`, a second part of
// those samples, the parts named "left" and "right".
using DeepSamples = std::function<void(int, int, std::vector<float>&)>;
inline void writeDeepImage(const std::string& path, int width, int height,
                           const std::vector<std::string>& channels, const DeepSamples& samples,
                           int tileSize = 0, const DeepSamples& right = nullptr) {
  const int n = int(channels.size());
  std::vector<OIIO::ImageSpec> specs(right ? 2 : 1, OIIO::ImageSpec(width, height, n, OIIO::TypeDesc::FLOAT));
  for (size_t part = 0; part < specs.size(); ++part) {
    std::tie(specs[part].channelnames, specs[part].deep, specs[part].tile_width, specs[part].tile_height) =
        std::make_tuple(channels, true, tileSize, tileSize);
    if (right) specs[part].attribute("oiio:subimagename", part ? "right" : "left");
  }
  auto out = OIIO::ImageOutput::create(path);
  bool ok = out && out->open(path, int(specs.size()), specs.data());
  for (size_t part = 0; ok && part < specs.size(); ++part) {
    OIIO::DeepData data;
    data.init(specs[part]);
    std::vector<std::vector<float>> s(size_t(width) * size_t(height));
    for (size_t p = 0; p < s.size(); ++p) (part ? right : samples)(int(p) % width, int(p) / width, s[p]);
    for (size_t p = 0; p < s.size(); ++p) data.set_samples(int64_t(p), int(s[p].size()) / n);
    for (size_t p = 0; p < s.size(); ++p)
      for (size_t i = 0; i < s[p].size(); ++i)
        data.set_deep_value(int64_t(p), int(i % n), int(i / n), s[p][i]);
    ok = (part == 0 || out->open(path, specs[part], OIIO::ImageOutput::AppendSubimage)) &&
         out->write_deep_image(data);
  }
  if (!ok || !out->close()) throw std::runtime_error("cannot write " + path);
}
