// orvel's image module: files other than OpenEXR through OpenImageIO.
#include <OpenImageIO/imageio.h>

#include "files/imageModuleInterface.h"

using imagemodule::Encoding;
using imagemodule::Raster;

namespace {

std::string firstLine(const std::string& message) {
  const std::string line = message.substr(0, message.find('\n'));
  return line.empty() ? "not an image this program can read" : line;
}

Raster describe(const OIIO::ImageSpec& spec) {
  Raster r;
  r.x = spec.x, r.y = spec.y, r.width = spec.width, r.height = spec.height;
  r.fullX = spec.full_x, r.fullY = spec.full_y, r.fullWidth = spec.full_width,
  r.fullHeight = spec.full_height;
  r.depth = spec.depth;
  r.deep = spec.deep;
  r.tileHeight = spec.tile_height;
  const std::string space = spec.get_string_attribute("oiio:ColorSpace");
  r.srgbInteger = !spec.format.is_floating_point() && (space == "sRGB" || space == "srgb");
  for (int c = 0; c < spec.nchannels; ++c) r.channels.push_back(spec.channel_name(c));
  return r;
}

bool read(const std::string& path, Raster& raster, const std::function<float*(const Raster&)>& destination,
          std::string& error) {
  auto in = OIIO::ImageInput::open(path);
  if (!in) {
    error = firstLine(OIIO::geterror());
    return false;
  }
  const bool moreParts = in->seek_subimage(1, 0);
  in->seek_subimage(0, 0);
  OIIO::geterror();
  raster = describe(in->spec());
  raster.moreParts = moreParts;
  float* pixels = destination(raster);
  if (!pixels) return true;
  if (!in->read_image(0, 0, 0, in->spec().nchannels, OIIO::TypeDesc::FLOAT, pixels)) {
    error = firstLine(in->geterror());
    return false;
  }
  return true;
}

bool write(const std::string& path, const char* format, const Raster& raster, const float* pixels,
           Encoding encoding, bool alpha, std::string& error) {
  OIIO::ImageSpec spec(raster.width, raster.height, int(raster.channels.size()),
                       encoding == Encoding::Uint8 ? OIIO::TypeDesc::UINT8 : OIIO::TypeDesc::UINT16);
  spec.attribute("oiio:ColorSpace", "sRGB");
  if (alpha) spec.attribute("oiio:UnassociatedAlpha", 1);
  auto out = OIIO::ImageOutput::create(format);
  if (!out) {
    error = firstLine(OIIO::geterror());
    return false;
  }
  if (!out->open(path, spec) || !out->write_image(OIIO::TypeDesc::FLOAT, pixels)) {
    error = firstLine(out->geterror());
    out->close();
    return false;
  }
  if (!out->close()) {
    error = firstLine(out->geterror());
    return false;
  }
  return true;
}

const imagemodule::Functions kFunctions{imagemodule::kVersion, read, write};

}  // namespace

extern "C" const imagemodule::Functions* orvelImageModule() { return &kFunctions; }
