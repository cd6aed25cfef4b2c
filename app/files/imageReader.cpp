#include "files/imageReader.h"

#include <OpenEXR/ImfChannelList.h>
#include <OpenEXR/ImfFrameBuffer.h>
#include <OpenEXR/ImfInputPart.h>
#include <OpenEXR/ImfPartType.h>
#include <OpenEXR/ImfThreading.h>

#include <algorithm>
#include <cmath>
#include <cstdint>

#include "files/exrInput.h"
#include "files/exrSettings.h"
#include "files/fileMapping.h"
#include "files/imageModule.h"
#include "files/inputChecks.h"
#include "files/zipPartDecoder.h"

using namespace DD::Image;
using namespace standin;

namespace {

// Host ids of the file's channels; a channel whose id is taken already is skipped with a warning.
std::vector<Channel> mapChannels(const std::string& path, const std::vector<std::string>& fileNames,
                                 LoadedImage& out, std::vector<std::string>& warnings) {
  std::vector<Channel> ids(fileNames.size(), Chan_Black);
  for (size_t c = 0; c < fileNames.size(); ++c) {
    std::string name = fileNames[c];
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

ChannelSet channelSet(const std::vector<Channel>& ids) {
  ChannelSet channels;
  for (Channel z : ids) channels += z;
  return channels;
}

// ---- OpenEXR files: the part's pixels decoded straight into the planes, rows flipped.

// The planes, and what the EXR library holds while decoding: a buffer of compressed and of
// decoded chunks (a block of rows, or a tile) for each of twice its threads, at least one.
double exrBytes(const Imf::Header& h, double channels) {
  const Imath::Box2i& d = h.dataWindow();
  const double width = double(d.max.x) - d.min.x + 1, height = double(d.max.y) - d.min.y + 1;
  double chunk = width * exrRowsPerChunk(h.compression());
  if (h.hasTileDescription()) chunk = double(h.tileDescription().xSize) * h.tileDescription().ySize;
  const double buffers = std::max(1, 2 * Imf::globalThreadCount());
  return sizeof(float) * channels * (width * height + 2.0 * buffers * std::max(chunk, width));
}

// A slice writing file row y of the data window to plane row (ymax - y): the plane's rows count up.
Imf::Slice flippedSlice(float* plane, const Imath::Box2i& data) {
  const intptr_t width = intptr_t(data.max.x) - data.min.x + 1;
  const intptr_t top = (intptr_t(data.max.y) - data.min.y) * width;  // file row min.y: the plane's last row
  const intptr_t origin = top - intptr_t(data.min.x) + intptr_t(data.min.y) * width;
  char* base = reinterpret_cast<char*>(reinterpret_cast<intptr_t>(plane) + origin * intptr_t(sizeof(float)));
  return Imf::Slice(Imf::FLOAT, base, sizeof(float), size_t(-width * intptr_t(sizeof(float))));
}

Status readExr(const std::string& path, double maxBytes, const std::string& part, LoadedImage& out,
               std::vector<std::string>& warnings) {
  ExrPart exr;
  if (Status s = openExrPart(path, part, maxBytes, exr, warnings); !s.ok()) return s;
  const Imf::Header& h = exr.header();
  if (h.hasType() && Imf::isDeepData(h.type()))
    return Status::usage("'" + path + "' is a deep image: give it with --deep");
  const std::vector<std::string> names = presentedChannels(h);
  if (Status s = checkMemory(exrBytes(h, double(names.size())), maxBytes, path); !s.ok()) return s;

  LoadedImage loaded;
  const std::vector<Channel> ids = mapChannels(path, names, loaded, warnings);
  const Imath::Box2i& d = h.dataWindow();
  const Imath::Box2i& f = h.displayWindow();
  const FileWindow display{f.min.x, f.min.y, f.max.x - f.min.x + 1, f.max.y - f.min.y + 1};
  const FileWindow data{d.min.x, d.min.y, d.max.x - d.min.x + 1, d.max.y - d.min.y + 1};
  loaded.image = std::make_unique<MemoryIop>(hostFormat(display), hostBox(data, display), channelSet(ids));
  std::map<std::string, float*> planes;
  for (size_t c = 0; c < names.size(); ++c)
    if (ids[c] != Chan_Black) planes[names[c]] = loaded.image->plane(ids[c]);
  try {
    if (exr.decodeZip) {
      decodeZipPart(path, exr.index, h, planes, Imf::globalThreadCount());
    } else {
      Imf::FrameBuffer frame;
      for (const auto& [name, plane] : planes) frame.insert(name, flippedSlice(plane, d));
      Imf::InputPart in(*exr.file, exr.index);
      in.setFrameBuffer(frame);
      in.readPixels(d.min.y, d.max.y);
    }
  } catch (const std::exception& e) {
    return Status::usage("cannot read the pixels of '" + path + "': " + firstLine(e.what()));
  }
  loaded.header = std::make_shared<const Imf::Header>(h);
  out = std::move(loaded);
  return Status::success();
}

// ---- Other formats, through the image module.

Status checkRaster(const std::string& path, const imagemodule::Raster& r, double maxBytes) {
  if (r.deep) return Status::usage("'" + path + "' is a deep image: give it with --deep");
  if (r.depth > 1) return Status::usage("'" + path + "' is a volume image; orvel reads flat images");
  if (r.channels.empty() || r.width < 1 || r.height < 1)
    return Status::usage("'" + path + "' holds no pixels");
  if (r.fullWidth < 1 || r.fullHeight < 1) return Status::usage("'" + path + "' has an empty display window");
  const auto far = [](long long v) { return v < -(1LL << 30) || v > (1LL << 30); };
  if (far(r.x) || far(r.y) || far(r.fullX) || far(r.fullY) || far(r.width) || far(r.height) ||
      far(r.fullWidth) || far(r.fullHeight))
    return Status::usage("'" + path + "' has windows beyond the supported coordinates");
  // The decoded file and the host's planes, a float each per sample, and the image library's
  // own buffer of at least 256 rows (or a row of tiles) of file pixels, however few rows there are.
  const double samples = double(r.width) * double(r.height) * double(r.channels.size());
  const double bufferRows = std::max(256, r.tileHeight);
  const double buffer = bufferRows * double(r.width) * double(r.channels.size()) * sizeof(float);
  return checkMemory(2.0 * sizeof(float) * samples + buffer, maxBytes, path);
}

float srgbToLinear(float v) { return v <= 0.04045f ? v / 12.92f : std::pow((v + 0.055f) / 1.055f, 2.4f); }

// Copies interleaved file pixels (rows top-down) into the planes (rows bottom-up).
void fillPlanes(const std::vector<float>& pixels, const imagemodule::Raster& r,
                const std::vector<Channel>& ids, MemoryIop& image) {
  const size_t w = size_t(r.width), h = size_t(r.height), n = r.channels.size();
  for (size_t c = 0; c < n; ++c) {
    float* plane = image.plane(ids[c]);
    if (!plane) continue;
    const bool colour = r.srgbInteger && (ids[c] == Chan_Red || ids[c] == Chan_Green || ids[c] == Chan_Blue);
    for (size_t fileRow = 0; fileRow < h; ++fileRow) {
      const float* src = pixels.data() + fileRow * w * n + c;
      float* dst = plane + (h - 1 - fileRow) * w;
      for (size_t x = 0; x < w; ++x) dst[x] = colour ? srgbToLinear(src[x * n]) : src[x * n];
    }
  }
}

Status readOther(const std::string& path, double maxBytes, LoadedImage& out,
                 std::vector<std::string>& warnings) {
  const imagemodule::Functions* module = nullptr;
  if (Status s = imageModule(path, module); !s.ok()) return s;
  imagemodule::Raster raster;
  std::vector<float> pixels;
  Status checked;
  std::string error;
  const bool read = module->read(
      path, raster,
      [&](const imagemodule::Raster& r) -> float* {
        checked = checkRaster(path, r, maxBytes);
        if (!checked.ok()) return nullptr;
        pixels.resize(size_t(r.width) * size_t(r.height) * r.channels.size());
        return pixels.data();
      },
      error);
  if (!read)
    return Status::usage((pixels.empty() ? "cannot read '" : "cannot read the pixels of '") + path +
                         "': " + error);
  if (!checked.ok()) return checked;
  if (raster.moreParts) warnings.push_back("'" + path + "' has several parts; only the first is read");

  LoadedImage loaded;
  const std::vector<Channel> ids = mapChannels(path, raster.channels, loaded, warnings);
  const FileWindow display{raster.fullX, raster.fullY, raster.fullWidth, raster.fullHeight};
  const FileWindow data{raster.x, raster.y, raster.width, raster.height};
  loaded.image = std::make_unique<MemoryIop>(hostFormat(display), hostBox(data, display), channelSet(ids));
  fillPlanes(pixels, raster, ids, *loaded.image);
  out = std::move(loaded);
  return Status::success();
}

}  // namespace

Status readImage(const std::string& path, double maxBytes, LoadedImage& out,
                 std::vector<std::string>& warnings, const std::string& part) {
  if (Status s = checkInputPath(path); !s.ok()) return s;
  if (isExrFile(path)) return readExr(path, maxBytes, part, out, warnings);
  return readOther(path, maxBytes, out, warnings);
}
