// End-to-end support: a scratch folder, running the orvel executable, and small flat and deep
// images written and read with OpenImageIO.
#pragma once

#include <functional>
#include <string>
#include <vector>

// A folder under the system's temporary folder, removed with its contents on destruction.
class ScratchFolder {
 public:
  ScratchFolder();
  ~ScratchFolder();
  ScratchFolder(const ScratchFolder&) = delete;
  ScratchFolder& operator=(const ScratchFolder&) = delete;
  std::string path(const std::string& name) const { return folder_ + "/" + name; }
  std::vector<std::string> files() const;  // sorted names

 private:
  std::string folder_;
};

struct RunResult {
  int exitCode = -1;  // 128 + signal number when orvel died of a signal
  std::string out, err;
};

// Runs orvel with `args` ("render" runs get --quiet) and waits for it.
RunResult runOrvel(std::vector<std::string> args);

// A flat image as a file holds it: interleaved channels, rows top-down over the data window.
struct TestImage {
  int x = 0, y = 0, width = 0, height = 0;                  // data window
  int fullX = 0, fullY = 0, fullWidth = 0, fullHeight = 0;  // display window
  std::vector<std::string> channels;
  std::vector<float> pixels;
  int tileSize = 0;  // written in square tiles of this size; 0: scanlines

  int channel(const std::string& name) const;  // -1 when absent
  // Value at file column px, file row py (absolute coordinates) of channel c.
  float at(int px, int py, int c) const;
  float& at(int px, int py, int c);
};

// Display window = data window, filled by value(x, fileRow, channel index).
TestImage makeImage(int width, int height, const std::vector<std::string>& channels,
                    const std::function<float(int, int, int)>& value);
void writeImage(const std::string& path, const TestImage& image);
TestImage readImage(const std::string& path);  // no channels when unreadable

// Deep samples per pixel (rows top-down), channels interleaved.
void writeDeepImage(const std::string& path, int width, int height, const std::vector<std::string>& channels,
                    const std::function<void(int, int, std::vector<float>&)>& samples, int tileSize = 0);

bool fileExists(const std::string& path);
void writeText(const std::string& path, const std::string& text);
std::string readBytes(const std::string& path);
