#include "orvelTestSupport.h"

#include <OpenImageIO/imageio.h>
#include <fcntl.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <stdexcept>

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

RunResult runOrvel(const std::vector<std::string>& args) {
  ScratchFolder capture;
  const std::string outPath = capture.path("stdout"), errPath = capture.path("stderr");
  std::vector<std::string> argv{ORVEL_EXECUTABLE};
  argv.insert(argv.end(), args.begin(), args.end());
  const pid_t pid = ::fork();
  if (pid == 0) {
    const int out = ::open(outPath.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
    const int err = ::open(errPath.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
    const int in = ::open("/dev/null", O_RDONLY);
    ::dup2(out, 1);
    ::dup2(err, 2);
    ::dup2(in, 0);
    std::vector<char*> raw;
    for (std::string& a : argv) raw.push_back(a.data());
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
  spec.x = image.x;
  spec.y = image.y;
  spec.full_x = image.fullX;
  spec.full_y = image.fullY;
  spec.full_width = image.fullWidth;
  spec.full_height = image.fullHeight;
  spec.channelnames = image.channels;
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
  image.x = spec.x;
  image.y = spec.y;
  image.width = spec.width;
  image.height = spec.height;
  image.fullX = spec.full_x;
  image.fullY = spec.full_y;
  image.fullWidth = spec.full_width;
  image.fullHeight = spec.full_height;
  image.channels = spec.channelnames;
  image.half = spec.format == OIIO::TypeDesc::HALF;
  image.pixels.resize(size_t(spec.width) * size_t(spec.height) * size_t(spec.nchannels));
  if (!in->read_image(0, 0, 0, spec.nchannels, OIIO::TypeDesc::FLOAT, image.pixels.data()))
    return TestImage();
  return image;
}

bool fileExists(const std::string& path) { return fs::exists(path); }

void writeText(const std::string& path, const std::string& text) { std::ofstream(path) << text; }

std::string readBytes(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  std::ostringstream s;
  s << in.rdbuf();
  return s.str();
}
