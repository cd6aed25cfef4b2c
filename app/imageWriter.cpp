#include "imageWriter.h"

#include <OpenImageIO/imageio.h>

#include <algorithm>
#include <cmath>
#include <filesystem>

#include "fileGeometry.h"
#include "interruption.h"

using namespace DD::Image;
using namespace standin;

namespace {

// An image laid out the way the file stores it: interleaved channels, rows top-down.
struct Raster {
  OIIO::ImageSpec spec;
  std::vector<float> pixels;
};

const char* formatName(OutputKind kind) {
  switch (kind) {
    case OutputKind::Exr:
      return "exr";
    case OutputKind::Png:
      return "png";
    case OutputKind::Jpeg:
      return "jpg";
    case OutputKind::Tiff:
      return "tif";
  }
  return "exr";
}

std::string firstLine(const std::string& s) {
  const std::string line = s.substr(0, s.find('\n'));
  return line.empty() ? "the image library gave no reason" : line;
}

void setWindows(OIIO::ImageSpec& spec, const FileWindow& data, const FileWindow& display) {
  spec.x = data.x;
  spec.y = data.y;
  spec.full_x = display.x;
  spec.full_y = display.y;
  spec.full_width = display.width;
  spec.full_height = display.height;
}

// Every channel over the box, under its file name.
Raster exrRaster(const MemoryIop& image, const ChannelNames& names, bool half) {
  const Box& box = image.info().box();
  std::vector<Channel> channels;
  for (Channel z : image.channels()) channels.push_back(z);
  const size_t w = size_t(box.w()), h = size_t(box.h()), n = channels.size();
  Raster r;
  r.spec = OIIO::ImageSpec(box.w(), box.h(), int(n), half ? OIIO::TypeDesc::HALF : OIIO::TypeDesc::FLOAT);
  setWindows(r.spec, fileWindow(box, image.format()), displayWindow(image.format()));
  r.spec.channelnames.clear();
  for (Channel z : channels) r.spec.channelnames.push_back(fileChannelName(names, z));
  r.spec.alpha_channel = r.spec.z_channel = -1;
  r.spec.attribute("compression", "zip");
  r.pixels.assign(w * h * n, 0.0f);
  for (size_t c = 0; c < n; ++c) {
    const float* plane = image.plane(channels[c]);
    for (size_t fileRow = 0; fileRow < h; ++fileRow) {
      const float* src = plane + (h - 1 - fileRow) * w;
      float* dst = r.pixels.data() + fileRow * w * n + c;
      for (size_t x = 0; x < w; ++x) dst[x * n] = src[x];
    }
  }
  return r;
}

float linearToSrgb(float v) {
  if (!(v > 0.0f)) return 0.0f;
  if (v >= 1.0f) return 1.0f;
  return v <= 0.0031308f ? v * 12.92f : 1.055f * std::pow(v, 1.0f / 2.4f) - 0.055f;
}

float clamp01(float v) { return v > 0.0f ? std::min(v, 1.0f) : 0.0f; }

// The value of channel z at (x, y), 0 outside the box or for a missing channel.
float sample(const MemoryIop& image, Channel z, int x, int y) {
  const Box& b = image.info().box();
  const float* p = image.plane(z);
  if (!p || x < b.x() || x >= b.r() || y < b.y() || y >= b.t()) return 0.0f;
  return p[size_t(y - b.y()) * size_t(b.w()) + size_t(x - b.x())];
}

// The format's RGB(A), unpremultiplied and sRGB-encoded, for viewing.
Raster viewRaster(const MemoryIop& image, bool alpha, OIIO::TypeDesc type) {
  const Format& f = image.format();
  const int n = alpha ? 4 : 3;
  Raster r;
  r.spec = OIIO::ImageSpec(f.w(), f.h(), n, type);
  r.spec.attribute("oiio:ColorSpace", "sRGB");
  if (alpha) r.spec.attribute("oiio:UnassociatedAlpha", 1);
  r.pixels.assign(size_t(f.w()) * size_t(f.h()) * size_t(n), 0.0f);
  const Channel rgb[3] = {Chan_Red, Chan_Green, Chan_Blue};
  for (int fileRow = 0; fileRow < f.h(); ++fileRow) {
    const int y = f.t() - 1 - fileRow;
    for (int i = 0; i < f.w(); ++i) {
      float* px = r.pixels.data() + (size_t(fileRow) * size_t(f.w()) + size_t(i)) * size_t(n);
      const float a = alpha ? sample(image, Chan_Alpha, f.x() + i, y) : 1.0f;
      const float unpremultiply = alpha && a > 0.0f ? 1.0f / a : 1.0f;
      for (int c = 0; c < 3; ++c) px[c] = linearToSrgb(sample(image, rgb[c], f.x() + i, y) * unpremultiply);
      if (alpha) px[3] = clamp01(a);
    }
  }
  return r;
}

Status checkWritable(const MemoryIop& image, const std::string& path, OutputKind kind,
                     std::vector<std::string>& warnings) {
  if (image.format().w() <= 0 || image.format().h() <= 0) return Status::usage("cannot write '" + path + "': the format is empty");
  if (kind == OutputKind::Exr && (image.info().box().w() <= 0 || image.info().box().h() <= 0 || image.channels().empty()))
    return Status::usage("cannot write '" + path + "': the image has no pixels");
  const ChannelSet& c = image.channels();
  if (kind != OutputKind::Exr && !c.contains(Chan_Red) && !c.contains(Chan_Green) && !c.contains(Chan_Blue))
    warnings.push_back("'" + path + "': the image has no red, green or blue; the picture is black");
  return Status::success();
}

Raster rasterFor(const MemoryIop& image, const ChannelNames& names, OutputKind kind, const WriteOptions& o) {
  const bool alpha = image.channels().contains(Chan_Alpha);
  switch (kind) {
    case OutputKind::Exr:
      return exrRaster(image, names, o.half);
    case OutputKind::Png:
      return viewRaster(image, alpha, OIIO::TypeDesc::UINT8);
    case OutputKind::Jpeg:
      return viewRaster(image, false, OIIO::TypeDesc::UINT8);
    case OutputKind::Tiff:
      return viewRaster(image, alpha, OIIO::TypeDesc::UINT16);
  }
  return exrRaster(image, names, o.half);
}

// Writes `raster` to `temporary`; removes it on failure.
Status writeRaster(const Raster& raster, OutputKind kind, const std::string& temporary,
                   const std::string& path) {
  auto out = OIIO::ImageOutput::create(formatName(kind));
  const auto failed = [&](const std::string& reason) {
    std::error_code ec;
    std::filesystem::remove(temporary, ec);
    return Status::usage("cannot write '" + path + "': " + firstLine(reason));
  };
  if (!out) return failed(OIIO::geterror());
  if (!out->open(temporary, raster.spec)) return failed(out->geterror());
  const bool wrote = out->write_image(OIIO::TypeDesc::FLOAT, raster.pixels.data());
  const std::string reason = wrote ? "" : out->geterror();
  const bool closed = out->close();
  if (!wrote || !closed) return failed(wrote ? out->geterror() : reason);
  return Status::success();
}

}  // namespace

Status writeImage(const MemoryIop& image, const ChannelNames& names, const std::string& path,
                  const WriteOptions& options, std::vector<std::string>& warnings) {
  OutputKind kind;
  if (Status s = outputKindOf(path, kind); !s.ok()) return s;
  if (Status s = checkWritable(image, path, kind, warnings); !s.ok()) return s;
  const std::string temporary = temporaryPathFor(path);
  if (Status s = writeRaster(rasterFor(image, names, kind, options), kind, temporary, path); !s.ok())
    return s;
  // Interrupted while writing: the file is complete but unwanted; nothing takes the output's name.
  if (const int signal = interruptSignal()) {
    std::error_code ec;
    std::filesystem::remove(temporary, ec);
    return interruptedStatus(signal);
  }
  return commitOutput(temporary, path);
}
