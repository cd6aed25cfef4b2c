#include "app_support.h"

#include <OpenImageIO/deepdata.h>
#include <OpenImageIO/imageio.h>
#include <fcntl.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <stdexcept>
#include <tuple>

namespace fs = std::filesystem;

ScratchFolder::ScratchFolder() {
  std::string pattern = (fs::temp_directory_path() / "orvel-test-XXXXXX").string();
  const char* made = ::mkdtemp(pattern.data());
  folder_ = made ? made : pattern;
}

ScratchFolder::~ScratchFolder() {
  std::error_code ec;
  fs::remove_all(folder_, ec);
}

std::vector<std::string> ScratchFolder::files() const {
  std::vector<std::string> names;
  for (const auto& entry : fs::directory_iterator(folder_)) names.push_back(entry.path().filename().string());
  std::sort(names.begin(), names.end());
  return names;
}

RunResult runOrvel(std::vector<std::string> args) {
  ScratchFolder capture;
  const std::string outPath = capture.path("stdout"), errPath = capture.path("stderr");
  if (!args.empty() && args[0] == "render") args.insert(args.begin() + 1, "--quiet");
  args.insert(args.begin(), ORVEL_EXECUTABLE);
  const pid_t pid = ::fork();
  if (pid == 0) {
    ::dup2(::open(outPath.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644), 1);
    ::dup2(::open(errPath.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644), 2);
    ::dup2(::open("/dev/null", O_RDONLY), 0);
    std::vector<char*> raw;
    for (std::string& a : args) raw.push_back(a.data());
    raw.push_back(nullptr);
    ::execv(raw[0], raw.data());
    ::_exit(127);
  }
  RunResult result;
  int status = 0;
  if (pid > 0 && ::waitpid(pid, &status, 0) == pid)
    result.exitCode = WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
  result.out = readBytes(outPath);
  result.err = readBytes(errPath);
  return result;
}

int TestImage::channel(const std::string& name) const {
  const auto it = std::find(channels.begin(), channels.end(), name);
  return it == channels.end() ? -1 : int(it - channels.begin());
}

float TestImage::at(int px, int py, int c) const {
  return pixels[(size_t(py - y) * size_t(width) + size_t(px - x)) * channels.size() + size_t(c)];
}

float& TestImage::at(int px, int py, int c) {
  return pixels[(size_t(py - y) * size_t(width) + size_t(px - x)) * channels.size() + size_t(c)];
}

TestImage makeImage(int width, int height, const std::vector<std::string>& channels,
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

void writeImage(const std::string& path, const TestImage& image) {
  OIIO::ImageSpec spec(image.width, image.height, int(image.channels.size()), OIIO::TypeDesc::FLOAT);
  std::tie(spec.x, spec.y, spec.full_x, spec.full_y, spec.full_width, spec.full_height, spec.channelnames) =
      std::tie(image.x, image.y, image.fullX, image.fullY, image.fullWidth, image.fullHeight, image.channels);
  if (image.tileSize > 0) spec.tile_width = spec.tile_height = image.tileSize;
  auto out = OIIO::ImageOutput::create(path);
  if (!out || !out->open(path, spec) || !out->write_image(OIIO::TypeDesc::FLOAT, image.pixels.data()))
    throw std::runtime_error("cannot write test image " + path);
  out->close();
}

TestImage readImage(const std::string& path) {
  TestImage image;
  auto in = OIIO::ImageInput::open(path);
  if (!in) return image;
  const OIIO::ImageSpec& spec = in->spec();
  std::tie(image.x, image.y, image.width, image.height, image.fullX, image.fullY, image.fullWidth,
           image.fullHeight, image.channels) =
      std::tie(spec.x, spec.y, spec.width, spec.height, spec.full_x, spec.full_y, spec.full_width,
               spec.full_height, spec.channelnames);
  image.pixels.resize(size_t(spec.width) * size_t(spec.height) * size_t(spec.nchannels));
  if (!in->read_image(0, 0, 0, spec.nchannels, OIIO::TypeDesc::FLOAT, image.pixels.data()))
    return TestImage();
  return image;
}

void writeDeepImage(const std::string& path, int width, int height, const std::vector<std::string>& channels,
                    const std::function<void(int, int, std::vector<float>&)>& samples, int tileSize) {
  const int n = int(channels.size());
  OIIO::ImageSpec spec(width, height, n, OIIO::TypeDesc::FLOAT);
  spec.channelnames = channels;
  spec.deep = true;
  if (tileSize > 0) spec.tile_width = spec.tile_height = tileSize;
  std::vector<std::vector<float>> pixels(size_t(width) * size_t(height));
  for (int row = 0; row < height; ++row)
    for (int x = 0; x < width; ++x) samples(x, row, pixels[size_t(row) * size_t(width) + size_t(x)]);
  OIIO::DeepData data;
  data.init(spec);
  for (size_t p = 0; p < pixels.size(); ++p) data.set_samples(int64_t(p), int(pixels[p].size()) / n);
  for (size_t p = 0; p < pixels.size(); ++p)
    for (size_t i = 0; i < pixels[p].size(); ++i)
      data.set_deep_value(int64_t(p), int(i % size_t(n)), int(i / size_t(n)), pixels[p][i]);
  auto out = OIIO::ImageOutput::create(path);
  if (!out || !out->open(path, spec) || !out->write_deep_image(data))
    throw std::runtime_error("cannot write deep test image " + path);
  out->close();
}

bool fileExists(const std::string& path) { return fs::exists(path); }

void writeText(const std::string& path, const std::string& text) { std::ofstream(path) << text; }

std::string readBytes(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  std::ostringstream s;
  s << in.rdbuf();
  return s.str();
}
