#include "imageReader.h"

#include <OpenImageIO/imageio.h>

#include <algorithm>
#include <cmath>

#include "fileGeometry.h"
#include "inputFile.h"
#include "memoryLimit.h"

using namespace DD::Image;
using namespace standin;

namespace {

Status checkSpec(const std::string& path, const OIIO::ImageSpec& spec, double maxBytes) {
  if (spec.deep) return Status::usage("'" + path + "' is a deep image: give it with --deep");
  if (spec.depth > 1) return Status::usage("'" + path + "' is a volume image; orvel reads flat images");
  if (spec.nchannels < 1 || spec.width < 1 || spec.height < 1)
    return Status::usage("'" + path + "' holds no pixels");
  if (spec.full_width < 1 || spec.full_height < 1)
    return Status::usage("'" + path + "' has an empty display window");
  const auto far = [](long long v) { return v < -(1LL << 30) || v > (1LL << 30); };
  if (far(spec.x) || far(spec.y) || far(spec.full_x) || far(spec.full_y) || far(spec.width) ||
      far(spec.height) || far(spec.full_width) || far(spec.full_height))
    return Status::usage("'" + path + "' has windows beyond the supported coordinates");
  // The decoded file and the host's planes, a float each per sample, and the image library's
  // own buffer of at least 256 rows (or a row of tiles) of file pixels, however few rows there are.
  const double samples = double(spec.width) * double(spec.height) * double(spec.nchannels);
  const double bufferRows = std::max(256, spec.tile_height);
  const double buffer = bufferRows * double(spec.width) * double(spec.nchannels) * sizeof(float);
  return checkMemory(2.0 * sizeof(float) * samples + buffer, maxBytes, path);
}

float srgbToLinear(float v) { return v <= 0.04045f ? v / 12.92f : std::pow((v + 0.055f) / 1.055f, 2.4f); }

bool isSrgbInteger(const OIIO::ImageSpec& spec) {
  const std::string space = spec.get_string_attribute("oiio:ColorSpace");
  return !spec.format.is_floating_point() && (space == "sRGB" || space == "srgb");
}

// Host ids of the file's channels; a channel whose id is taken already is skipped with a warning.
std::vector<Channel> mapChannels(const std::string& path, const OIIO::ImageSpec& spec, LoadedImage& out,
                                 std::vector<std::string>& warnings) {
  std::vector<Channel> ids(spec.nchannels, Chan_Black);
  for (int c = 0; c < spec.nchannels; ++c) {
    std::string name = spec.channel_name(c);
    if (name.empty()) name = "channel" + std::to_string(c);
    out.fileChannels.push_back(name);
    const Channel z = hostChannel(name);
    if (z == Chan_Black) {
      warnings.push_back("'" + path + "': channel '" + name + "' cannot be given a channel id; skipped");
    } else if (out.names.count(z)) {
      warnings.push_back("'" + path + "': channel '" + name + "' is the same channel as '" + out.names[z] +
                         "'; skipped");
    } else {
      out.names[z] = name;
      ids[c] = z;
    }
  }
  return ids;
}

// Copies interleaved file pixels (rows top-down) into the planes (rows bottom-up).
void fillPlanes(const std::vector<float>& pixels, const OIIO::ImageSpec& spec,
                const std::vector<Channel>& ids, bool linearise, MemoryIop& image) {
  const size_t w = size_t(spec.width), h = size_t(spec.height), n = size_t(spec.nchannels);
  for (size_t c = 0; c < n; ++c) {
    float* plane = image.plane(ids[c]);
    if (!plane) continue;
    const bool colour = linearise && (ids[c] == Chan_Red || ids[c] == Chan_Green || ids[c] == Chan_Blue);
    for (size_t fileRow = 0; fileRow < h; ++fileRow) {
      const float* src = pixels.data() + fileRow * w * n + c;
      float* dst = plane + (h - 1 - fileRow) * w;
      for (size_t x = 0; x < w; ++x) dst[x] = colour ? srgbToLinear(src[x * n]) : src[x * n];
    }
  }
}

}  // namespace

Status readImage(const std::string& path, double maxBytes, LoadedImage& out,
                 std::vector<std::string>& warnings, const std::string& part) {
  std::unique_ptr<OIIO::ImageInput> in;
  if (Status s = openInputFile(path, maxBytes, in, warnings, part); !s.ok()) return s;
  const OIIO::ImageSpec spec = in->spec();
  if (Status s = checkSpec(path, spec, maxBytes); !s.ok()) return s;

  std::vector<float> pixels(size_t(spec.width) * size_t(spec.height) * size_t(spec.nchannels));
  if (!in->read_image(in->current_subimage(), 0, 0, spec.nchannels, OIIO::TypeDesc::FLOAT, pixels.data()))
    return Status::usage("cannot read the pixels of '" + path + "': " + firstLine(in->geterror()));
  in->close();

  LoadedImage loaded;
  const std::vector<Channel> ids = mapChannels(path, spec, loaded, warnings);
  ChannelSet channels;
  for (Channel z : ids) channels += z;
  const FileWindow display{spec.full_x, spec.full_y, spec.full_width, spec.full_height};
  const FileWindow data{spec.x, spec.y, spec.width, spec.height};
  loaded.image = std::make_unique<MemoryIop>(hostFormat(display), hostBox(data, display), channels);
  fillPlanes(pixels, spec, ids, isSrgbInteger(spec), *loaded.image);
  out = std::move(loaded);
  return Status::success();
}
