#include "files/deepReader.h"

#include <OpenEXR/ImfChannelList.h>
#include <OpenEXR/ImfDeepFrameBuffer.h>
#include <OpenEXR/ImfDeepScanLineInputPart.h>
#include <OpenEXR/ImfDeepTiledInputPart.h>
#include <OpenEXR/ImfPartType.h>
#include <OpenEXR/ImfThreading.h>

#include <algorithm>
#include <cstdint>

#include "files/exrInput.h"
#include "files/fileMapping.h"
#include "files/inputChecks.h"

using namespace DD::Image;
using namespace standin;

namespace {

// Rows read at a time from a scanline file: few enough that one strip stays small.
constexpr int kStripRows = 16;

// The layout of the samples: a host channel per file channel (Chan_Black: skipped), and the front and back.
struct DeepLayout {
  ChannelSet channels;
  std::vector<std::string> names;  // the file's, in the order listed
  std::vector<Channel> ids;        // by listed channel
  bool hasBack = false;
};

Status mapDeepChannels(const std::string& path, const Imf::Header& header, DeepLayout& layout,
                       LoadedDeep& out, std::vector<std::string>& warnings) {
  layout.names = presentedChannels(header);
  layout.ids.assign(layout.names.size(), Chan_Black);
  for (size_t c = 0; c < layout.names.size(); ++c) {
    const std::string& name = layout.names[c];
    out.fileChannels.push_back(name);
    const Channel z = deepHostChannel(name);
    if (z == Chan_Black || z == Chan_Z) {
      warnings.push_back("'" + path + "': channel '" + name + "' cannot be given a channel id; skipped");
    } else if (layout.channels.contains(z)) {
      warnings.push_back("'" + path + "': channel '" + name + "' repeats an earlier channel; skipped");
    } else {
      layout.ids[c] = z;
      layout.channels += z;
    }
  }
  if (!layout.channels.contains(Chan_DeepFront))
    return Status::usage("'" + path + "' has no Z channel, which a deep image needs for its sample depths");
  layout.hasBack = layout.channels.contains(Chan_DeepBack);
  layout.channels += Chan_DeepBack;
  return Status::success();
}

// A base for a slice of `width`-wide rows of `bytes`-sized entries whose first entry is file
// pixel (x0, y0): the library addresses pixel (x, y) at base + x * bytes + y * width * bytes.
char* stripBase(void* first, int x0, int y0, intptr_t width, size_t bytes) {
  const intptr_t offset = -(intptr_t(x0) + intptr_t(y0) * width) * intptr_t(bytes);
  return reinterpret_cast<char*>(reinterpret_cast<intptr_t>(first) + offset);
}

// One strip of file rows: sample counts, the samples in the deep operator's layout, and for each
// file channel read a pointer per pixel to its first value.
class Strip {
 public:
  Strip(const DeepLayout& layout, const MemoryDeepOp& image, const Imath::Box2i& data, int rows)
      : layout_(layout),
        stride_(image.channelMap().size()),
        x0_(data.min.x),
        width_(data.max.x - data.min.x + 1) {
    const ChannelMap& map = image.channelMap();
    for (Channel z : layout.ids) column_.push_back(z == Chan_Black ? -1 : map.chanNo(z));
    front_ = map.chanNo(Chan_DeepFront), back_ = map.chanNo(Chan_DeepBack);
    counts_.resize(size_t(width_) * size_t(rows));
    pointers_.assign(layout.ids.size(), std::vector<char*>(counts_.size()));
  }

  // The frame buffer for rows from `top`: the sample counts, and a slice per channel read whose
  // pointers are set once the counts are known.
  Imf::DeepFrameBuffer frame(int top) {
    top_ = top;
    Imf::DeepFrameBuffer frame;
    frame.insertSampleCountSlice(Imf::Slice(Imf::UINT,
                                            stripBase(counts_.data(), x0_, top, width_, sizeof(unsigned)),
                                            sizeof(unsigned), sizeof(unsigned) * size_t(width_)));
    for (size_t c = 0; c < column_.size(); ++c)
      if (column_[c] >= 0)
        frame.insert(
            layout_.names[c],
            Imf::DeepSlice(Imf::FLOAT, stripBase(pointers_[c].data(), x0_, top, width_, sizeof(char*)),
                           sizeof(char*), sizeof(char*) * size_t(width_), sizeof(float) * size_t(stride_)));
    return frame;
  }

  double sampleCount(int rows) const {
    double total = 0;
    for (size_t p = 0; p < size_t(width_) * size_t(rows); ++p) total += counts_[p];
    return total;
  }

  // Sizes the sample buffer by the counts and points each pixel of each channel read into it.
  void placeSamples(int rows) {
    samples_.assign(size_t(sampleCount(rows)) * size_t(stride_), 0.0f);
    for (size_t c = 0; c < column_.size(); ++c) {
      if (column_[c] < 0) continue;
      size_t offset = 0;
      for (size_t p = 0; p < size_t(width_) * size_t(rows); offset += counts_[p++])
        pointers_[c][p] =
            reinterpret_cast<char*>(samples_.data() + offset * size_t(stride_) + size_t(column_[c]));
    }
  }

  // Hands the strip's pixels to the deep operator, rows flipped.
  void copyTo(MemoryDeepOp& image, int rows, const FileWindow& display) {
    size_t offset = 0;
    for (int row = 0; row < rows; ++row)
      for (int i = 0; i < width_; ++i) {
        const size_t n = counts_[size_t(row) * size_t(width_) + size_t(i)];
        float* first = samples_.data() + offset * size_t(stride_);
        if (!layout_.hasBack)
          for (size_t s = 0; s < n; ++s)
            first[s * size_t(stride_) + size_t(back_)] = first[s * size_t(stride_) + size_t(front_)];
        image.setPixel(x0_ + i, hostRow(top_ + row, display), first, n);
        offset += n;
      }
  }

 private:
  const DeepLayout& layout_;
  const int stride_, x0_, width_;
  int top_ = 0, front_ = 0, back_ = 0;
  std::vector<int> column_;
  std::vector<unsigned> counts_;
  std::vector<float> samples_;
  std::vector<std::vector<char*>> pointers_;
};

void readCounts(Imf::DeepScanLineInputPart& part, int top, int rows) {
  part.readPixelSampleCounts(top, top + rows - 1);
}
void readSamples(Imf::DeepScanLineInputPart& part, int top, int rows) {
  part.readPixels(top, top + rows - 1);
}

// A tiled file's strip is a row of tiles at level 0.
int tileRow(const Imf::DeepTiledInputPart& part, int top) {
  return (top - part.header().dataWindow().min.y) / int(part.tileYSize());
}
void readCounts(Imf::DeepTiledInputPart& part, int top, int) {
  part.readPixelSampleCounts(0, part.numXTiles(0) - 1, tileRow(part, top), tileRow(part, top));
}
void readSamples(Imf::DeepTiledInputPart& part, int top, int) {
  part.readTiles(0, part.numXTiles(0) - 1, tileRow(part, top), tileRow(part, top));
}

// Reads strips of rows through `readCounts(top, rows)` and `readSamples(top, rows)`, checking the
// samples so far against the limit before each strip's samples are allocated.
template <typename Part>
Status readStrips(const std::string& path, Part& part, const DeepLayout& layout, int stripRows,
                  double maxBytes, MemoryDeepOp& image, const FileWindow& display) {
  const Imath::Box2i& data = part.header().dataWindow();
  stripRows = std::min(stripRows, data.max.y - data.min.y + 1);
  Strip strip(layout, image, data, stripRows);
  const double bytesPerSample = double(sizeof(float)) * image.channelMap().size();
  double samples = 0;
  for (int top = data.min.y; top <= data.max.y; top += stripRows) {
    const int rows = std::min(stripRows, data.max.y - top + 1);
    part.setFrameBuffer(strip.frame(top));
    readCounts(part, top, rows);
    samples += strip.sampleCount(rows);
    if (Status s = checkMemory(samples * bytesPerSample, maxBytes, path); !s.ok()) return s;
    strip.placeSamples(rows);
    readSamples(part, top, rows);
    strip.copyTo(image, rows, display);
  }
  return Status::success();
}

Status readAllSamples(const std::string& path, const ExrPart& exr, const DeepLayout& layout, double maxBytes,
                      MemoryDeepOp& image, const FileWindow& display) {
  if (exr.header().type() == Imf::DEEPTILE) {
    Imf::DeepTiledInputPart part(*exr.file, exr.index);
    return readStrips(path, part, layout, std::max(1, int(part.tileYSize())), maxBytes, image, display);
  }
  Imf::DeepScanLineInputPart part(*exr.file, exr.index);
  return readStrips(path, part, layout, kStripRows, maxBytes, image, display);
}

// The pixel table of the deep operator; for a strip (at most the window's height), a sample count
// and a pointer per channel a pixel; and the EXR library's sample count tables, a pixel of a tile
// (or of a row) each, in a buffer for each of twice its threads.
Status checkDeepTables(const std::string& path, const Imf::Header& h, double maxBytes) {
  const Imath::Box2i& d = h.dataWindow();
  const double width = double(d.max.x) - d.min.x + 1, height = double(d.max.y) - d.min.y + 1;
  const bool tiled = h.hasTileDescription();
  double channels = 0;
  for (auto c = h.channels().begin(); c != h.channels().end(); ++c) ++channels;
  const double stripRows = std::min(height, tiled ? double(h.tileDescription().ySize) : double(kStripRows));
  const double strip = width * stripRows * (sizeof(unsigned) + channels * sizeof(char*));
  const double tile = tiled ? double(h.tileDescription().xSize) * h.tileDescription().ySize : width;
  const double library = tile * sizeof(unsigned) * std::max(1, 2 * Imf::globalThreadCount());
  const double table = width * height * (sizeof(std::vector<float>) + 2 * sizeof(unsigned));
  return checkMemory(table + strip + library, maxBytes, path);
}

}  // namespace

Status readDeepImage(const std::string& path, double maxBytes, LoadedDeep& out,
                     std::vector<std::string>& warnings, const std::string& part) {
  if (Status s = checkInputPath(path); !s.ok()) return s;
  if (!isExrFile(path))
    return Status::usage("'" + path + "' is not an OpenEXR file; deep images are read from OpenEXR files");
  ExrPart exr;
  if (Status s = openExrPart(path, part, maxBytes, exr, warnings); !s.ok()) return s;
  const Imf::Header& h = exr.header();
  if (!h.hasType() || !Imf::isDeepData(h.type()))
    return Status::usage("'" + path + "' is not a deep image: give it as INPUT, not --deep");
  const Imath::Box2i& d = h.dataWindow();
  const Imath::Box2i& f = h.displayWindow();
  if (Status s = checkDeepTables(path, h, maxBytes); !s.ok()) return s;

  LoadedDeep loaded;
  DeepLayout layout;
  if (Status s = mapDeepChannels(path, h, layout, loaded, warnings); !s.ok()) return s;
  const FileWindow display{f.min.x, f.min.y, f.max.x - f.min.x + 1, f.max.y - f.min.y + 1};
  const FileWindow data{d.min.x, d.min.y, d.max.x - d.min.x + 1, d.max.y - d.min.y + 1};
  loaded.image = std::make_unique<MemoryDeepOp>(hostFormat(display), hostBox(data, display), layout.channels);
  try {
    if (Status s = readAllSamples(path, exr, layout, maxBytes, *loaded.image, display); !s.ok()) return s;
  } catch (const std::exception& e) {
    return Status::usage("cannot read the samples of '" + path + "': " + firstLine(e.what()));
  }
  loaded.header = std::make_shared<const Imf::Header>(h);
  out = std::move(loaded);
  return Status::success();
}
