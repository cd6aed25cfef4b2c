// The interface between orvel and its image module (orvel_imageio.so, beside the executable),
// which reads and writes the files that are not OpenEXR through OpenImageIO. orvel loads the
// module only for such files, so that a job on EXR files never loads that library and the many
// it depends on. Both sides are built from this tree with the same compiler.
#pragma once

#include <functional>
#include <string>
#include <vector>

namespace imagemodule {

constexpr int kVersion = 1;
constexpr const char* kFileName = "orvel_imageio.so";
constexpr const char* kEntryPoint = "orvelImageModule";

// A flat image as a file holds it: channels interleaved, rows top-down over the data window.
struct Raster {
  int x = 0, y = 0, width = 0, height = 0;                  // data window
  int fullX = 0, fullY = 0, fullWidth = 0, fullHeight = 0;  // display window
  int depth = 1;                                            // more than 1: a volume
  bool deep = false;
  int tileHeight = 0;
  bool srgbInteger = false;  // integer pixels tagged sRGB (PNG, JPEG)
  bool moreParts = false;    // the file holds more subimages than the first
  std::vector<std::string> channels;
};

enum class Encoding { Uint8, Uint16 };

struct Functions {
  int version;
  // Opens the first subimage of `path` and describes it in `raster`, then reads its pixels as
  // floats where `destination` says (which sees the description first); a null destination
  // stops before the pixels are read, successfully. False with `error` when the file cannot be read.
  bool (*read)(const std::string& path, Raster& raster,
               const std::function<float*(const Raster&)>& destination, std::string& error);
  // Writes `raster`'s pixels (its channels 3 or 4, interleaved, rows top-down) to `path` in
  // `format` ("png", "jpg", "tif") with the sRGB transfer already applied; `alpha` when the
  // fourth channel is unassociated alpha.
  bool (*write)(const std::string& path, const char* format, const Raster& raster, const float* pixels,
                Encoding encoding, bool alpha, std::string& error);
};

}  // namespace imagemodule

// The module's one exported symbol.
extern "C" const imagemodule::Functions* orvelImageModule();
