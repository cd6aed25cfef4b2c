#include "files/imageWriter.h"

#include <OpenEXR/ImfChannelList.h>
#include <OpenEXR/ImfFrameBuffer.h>
#include <OpenEXR/ImfOutputFile.h>
#include <OpenEXR/ImfThreading.h>

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <ctime>
#include <filesystem>
#include <type_traits>

#include "files/deflatedExrWriter.h"
#include "files/exrSettings.h"
#include "files/fileMapping.h"
#include "files/imageModule.h"
#include "render/interruption.h"

using namespace DD::Image;
using namespace standin;

namespace {

const char* formatName(OutputKind kind) {
  switch (kind) {
    case OutputKind::Png:
      return "png";
    case OutputKind::Jpeg:
      return "jpg";
    case OutputKind::Tiff:
      return "tif";
    case OutputKind::Exr:
      break;
  }
  return "exr";
}

Imath::Box2i exrBox(const FileWindow& w) {
  return Imath::Box2i({w.x, w.y}, {w.x + w.width - 1, w.y + w.height - 1});
}

// The local time as EXR's capture date, "YYYY:MM:DD hh:mm:ss".
std::string captureDate() {
  const std::time_t now = std::time(nullptr);
  std::tm local{};
  localtime_r(&now, &local);
  char text[32];
  std::strftime(text, sizeof text, "%Y:%m:%d %H:%M:%S", &local);
  return text;
}

// A slice reading plane row (h - 1 - r) for file row r of the data window: the plane's rows count up.
Imf::Slice flippedSlice(const float* plane, const Imath::Box2i& data) {
  const intptr_t width = intptr_t(data.max.x) - data.min.x + 1;
  const intptr_t origin =
      (intptr_t(data.max.y) - data.min.y) * width - intptr_t(data.min.x) + intptr_t(data.min.y) * width;
  char* base = reinterpret_cast<char*>(reinterpret_cast<intptr_t>(plane) + origin * intptr_t(sizeof(float)));
  return Imf::Slice(Imf::FLOAT, base, sizeof(float), size_t(-width * intptr_t(sizeof(float))));
}

// Channels of another type than float: the library writes the type a slice holds, so the planes
// are converted first, into rows top-down. Integer channels take the nearest whole number in
// their range (NaN: 0).
template <typename T>
std::vector<char> convertedPlane(const float* plane, size_t width, size_t height) {
  std::vector<char> out(width * height * sizeof(T));
  T* to = reinterpret_cast<T*>(out.data());
  for (size_t row = 0; row < height; ++row) {
    const float* src = plane + (height - 1 - row) * width;
    for (size_t x = 0; x < width; ++x) {
      if constexpr (std::is_same_v<T, half>)
        to[row * width + x] = half(src[x]);
      else
        to[row * width + x] = src[x] > 0 ? T(std::min(double(src[x]) + 0.5, 4294967295.0)) : T(0);
    }
  }
  return out;
}

Imf::Slice convertedSlice(const std::vector<char>& plane, Imf::PixelType type, const Imath::Box2i& data) {
  const size_t bytes = type == Imf::HALF ? sizeof(half) : sizeof(uint32_t);
  const intptr_t width = intptr_t(data.max.x) - data.min.x + 1;
  const intptr_t origin = -intptr_t(data.min.x) - intptr_t(data.min.y) * width;
  char* base = reinterpret_cast<char*>(reinterpret_cast<intptr_t>(plane.data()) + origin * intptr_t(bytes));
  return Imf::Slice(type, base, bytes, size_t(width) * bytes);
}

// B44 compresses half channels only; others go into the file as they are.
void warnUncompressed(const Imf::Header& header, const WriteOptions& options,
                      std::vector<std::string>& warnings) {
  if (options.compression != "b44" && options.compression != "b44a") return;
  std::string names;
  bool notDepth = false;  // a channel --half would make half
  for (auto c = header.channels().begin(); c != header.channels().end(); ++c) {
    if (c.channel().type == Imf::HALF) continue;
    names += (names.empty() ? "" : ", ") + std::string(c.name());
    notDepth =
        notDepth || std::find(options.depth.begin(), options.depth.end(), c.name()) == options.depth.end();
  }
  if (!names.empty())
    warnings.push_back(
        "--compression " + options.compression +
        " compresses half channels only; these 32-bit channels are stored uncompressed: " + names +
        (notDepth && options.pixels != PixelChoice::Half ? " (--half writes all but the depth as half)"
                                                         : ""));
}

// Every channel over the box, under its file name: floats straight from the planes, other types
// converted.
void writeExr(const MemoryIop& image, const ChannelNames& names, const WriteOptions& options,
              const std::string& temporary, std::vector<std::string>& warnings) {
  Imf::Compression compression = Imf::ZIP_COMPRESSION;
  exrCompressionNamed(options.compression, compression);
  const Imath::Box2i data = exrBox(fileWindow(image.info().box(), image.format()));
  Imf::Header header =
      outputHeader(options.source, exrBox(displayWindow(image.format())), data, compression, captureDate());
  Imf::FrameBuffer frame;
  std::vector<std::vector<char>> converted;
  converted.reserve(image.channels().size());
  const size_t width = size_t(image.info().box().w()), height = size_t(image.info().box().h());
  for (Channel z : image.channels()) {
    const std::string name = fileChannelName(names, z);
    const bool depth = std::find(options.depth.begin(), options.depth.end(), name) != options.depth.end();
    const Imf::PixelType type = outputPixelType(options.source, name, options.pixels, depth);
    header.channels().insert(name, Imf::Channel(type));
    if (type == Imf::FLOAT) {
      frame.insert(name, flippedSlice(image.plane(z), data));
      continue;
    }
    converted.push_back(type == Imf::HALF ? convertedPlane<half>(image.plane(z), width, height)
                                          : convertedPlane<uint32_t>(image.plane(z), width, height));
    frame.insert(name, convertedSlice(converted.back(), type, data));
  }
  warnUncompressed(header, options, warnings);
  if (writesDeflated(header, frame)) return writeDeflatedExr(header, frame, temporary, Imf::globalThreadCount());
  Imf::OutputFile out(temporary.c_str(), header, Imf::globalThreadCount());
  out.setFrameBuffer(frame);
  out.writePixels(data.max.y - data.min.y + 1);
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
std::vector<float> viewPixels(const MemoryIop& image, bool alpha) {
  const Format& f = image.format();
  const int n = alpha ? 4 : 3;
  std::vector<float> pixels(size_t(f.w()) * size_t(f.h()) * size_t(n), 0.0f);
  const Channel rgb[3] = {Chan_Red, Chan_Green, Chan_Blue};
  for (int fileRow = 0; fileRow < f.h(); ++fileRow) {
    const int y = f.t() - 1 - fileRow;
    for (int i = 0; i < f.w(); ++i) {
      float* px = pixels.data() + (size_t(fileRow) * size_t(f.w()) + size_t(i)) * size_t(n);
      const float a = alpha ? sample(image, Chan_Alpha, f.x() + i, y) : 1.0f;
      const float unpremultiply = alpha && a > 0.0f ? 1.0f / a : 1.0f;
      for (int c = 0; c < 3; ++c) px[c] = linearToSrgb(sample(image, rgb[c], f.x() + i, y) * unpremultiply);
      if (alpha) px[3] = clamp01(a);
    }
  }
  return pixels;
}

Status writeView(const MemoryIop& image, OutputKind kind, const std::string& temporary,
                 const std::string& path) {
  const imagemodule::Functions* module = nullptr;
  if (Status s = imageModule(path, module); !s.ok()) return s;
  const bool alpha = kind != OutputKind::Jpeg && image.channels().contains(Chan_Alpha);
  imagemodule::Raster raster;
  raster.width = image.format().w(), raster.height = image.format().h();
  raster.channels =
      alpha ? std::vector<std::string>{"R", "G", "B", "A"} : std::vector<std::string>{"R", "G", "B"};
  const auto encoding =
      kind == OutputKind::Tiff ? imagemodule::Encoding::Uint16 : imagemodule::Encoding::Uint8;
  std::string error;
  if (!module->write(temporary, formatName(kind), raster, viewPixels(image, alpha).data(), encoding, alpha,
                     error))
    return Status::usage("cannot write '" + path + "': " + error);
  return Status::success();
}

Status checkWritable(const MemoryIop& image, const std::string& path, OutputKind kind,
                     std::vector<std::string>& warnings) {
  if (image.format().w() <= 0 || image.format().h() <= 0)
    return Status::usage("cannot write '" + path + "': the format is empty");
  if (kind == OutputKind::Exr &&
      (image.info().box().w() <= 0 || image.info().box().h() <= 0 || image.channels().empty()))
    return Status::usage("cannot write '" + path + "': the image has no pixels");
  const ChannelSet& c = image.channels();
  if (kind != OutputKind::Exr && !c.contains(Chan_Red) && !c.contains(Chan_Green) && !c.contains(Chan_Blue))
    warnings.push_back("'" + path + "': the image has no red, green or blue; the picture is black");
  return Status::success();
}

// Writes the file to `temporary`; removes it on failure.
Status writeFile(const MemoryIop& image, const ChannelNames& names, OutputKind kind,
                 const WriteOptions& options, const std::string& temporary, const std::string& path,
                 std::vector<std::string>& warnings) {
  Status written;
  if (kind != OutputKind::Exr) {
    written = writeView(image, kind, temporary, path);
  } else {
    try {
      writeExr(image, names, options, temporary, warnings);
    } catch (const std::exception& e) {
      const std::string line = std::string(e.what()).substr(0, std::string(e.what()).find('\n'));
      written = Status::usage("cannot write '" + path +
                              "': " + (line.empty() ? "the EXR library gave no reason" : line));
    }
  }
  if (!written.ok()) {
    std::error_code ec;
    std::filesystem::remove(temporary, ec);
  }
  return written;
}

}  // namespace

Status writeImage(const MemoryIop& image, const ChannelNames& names, const std::string& path,
                  const WriteOptions& options, std::vector<std::string>& warnings) {
  OutputKind kind;
  if (Status s = outputKindOf(path, kind); !s.ok()) return s;
  if (Status s = checkWritable(image, path, kind, warnings); !s.ok()) return s;
  const std::string temporary = temporaryPathFor(path);
  if (Status s = writeFile(image, names, kind, options, temporary, path, warnings); !s.ok()) return s;
  // Interrupted while writing: the file is complete but unwanted; nothing takes the output's name.
  if (const int signal = interruptSignal()) {
    std::error_code ec;
    std::filesystem::remove(temporary, ec);
    return interruptedStatus(signal);
  }
  return commitOutput(temporary, path);
}
