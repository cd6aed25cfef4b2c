#include "deepReader.h"

#include <OpenImageIO/deepdata.h>
#include <OpenImageIO/imageio.h>

#include <algorithm>

#include "channelNames.h"
#include "fileGeometry.h"
#include "inputFile.h"
#include "memoryLimit.h"

using namespace DD::Image;
using namespace standin;

namespace {

// Rows read at a time from a scanline file: few enough that one strip stays small.
constexpr int kStripRows = 16;

Status checkDeepSpec(const std::string& path, const OIIO::ImageSpec& spec, double maxBytes) {
  if (!spec.deep) return Status::usage("'" + path + "' is not a deep image: give it as INPUT, not --deep");
  if (spec.depth > 1) return Status::usage("'" + path + "' is a volume image; orvel reads 2D deep images");
  if (spec.nchannels < 1 || spec.width < 1 || spec.height < 1)
    return Status::usage("'" + path + "' holds no pixels");
  if (spec.full_width < 1 || spec.full_height < 1)
    return Status::usage("'" + path + "' has an empty display window");
  const auto far = [](long long v) { return v < -(1LL << 30) || v > (1LL << 30); };
  if (far(spec.x) || far(spec.y) || far(spec.full_x) || far(spec.full_y) || far(spec.width) ||
      far(spec.height) || far(spec.full_width) || far(spec.full_height))
    return Status::usage("'" + path + "' has windows beyond the supported coordinates");
  // The pixel table of the deep operator and a sample count per pixel while reading.
  const double pixels = double(spec.width) * double(spec.height);
  return checkMemory(pixels * (sizeof(std::vector<float>) + 2 * sizeof(unsigned)), maxBytes, path);
}

// The host channel of a deep file's channel: Z and ZBack are the sample depths.
Channel deepHostChannel(const std::string& name) {
  if (name == "Z" || name == "depth.Z") return Chan_DeepFront;
  if (name == "ZBack" || name == "depth.ZBack") return Chan_DeepBack;
  return hostChannel(name);
}

// The layout of the samples: a column per file channel (-1: skipped), and the front and back.
struct DeepLayout {
  ChannelSet channels;
  std::vector<Channel> ids;  // by file channel
  bool hasBack = false;
};

Status mapDeepChannels(const std::string& path, const OIIO::ImageSpec& spec, DeepLayout& layout,
                       LoadedDeep& out, std::vector<std::string>& warnings) {
  layout.ids.assign(spec.nchannels, Chan_Black);
  for (int c = 0; c < spec.nchannels; ++c) {
    std::string name = spec.channel_name(c);
    if (name.empty()) name = "channel" + std::to_string(c);
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

// Copies the samples of a strip of file rows [fileTop, fileTop + rows) into the deep operator.
void copyStrip(const OIIO::DeepData& data, const OIIO::ImageSpec& spec, const DeepLayout& layout, int fileTop,
               int rows, MemoryDeepOp& image) {
  const ChannelMap& map = image.channelMap();
  const int stride = map.size();
  const int front = map.chanNo(Chan_DeepFront), back = map.chanNo(Chan_DeepBack);
  const FileWindow display{spec.full_x, spec.full_y, spec.full_width, spec.full_height};
  std::vector<int> column(layout.ids.size());
  std::vector<bool> isUint(layout.ids.size());
  for (size_t c = 0; c < layout.ids.size(); ++c) {
    column[c] = layout.ids[c] == Chan_Black ? -1 : map.chanNo(layout.ids[c]);
    isUint[c] = data.channeltype(int(c)).basetype == OIIO::TypeDesc::UINT;
  }
  std::vector<float> buffer;
  for (int row = 0; row < rows; ++row)
    for (int i = 0; i < spec.width; ++i) {
      const int64_t p = int64_t(row) * spec.width + i;
      const int n = data.samples(p);
      buffer.assign(size_t(n) * stride, 0.0f);
      for (int s = 0; s < n; ++s) {
        float* sample = buffer.data() + size_t(s) * stride;
        for (size_t c = 0; c < column.size(); ++c)
          if (column[c] >= 0)
            sample[column[c]] =
                isUint[c] ? float(data.deep_value_uint(p, int(c), s)) : data.deep_value(p, int(c), s);
        if (!layout.hasBack) sample[back] = sample[front];
      }
      image.setPixel(spec.x + i, hostRow(fileTop + row, display), buffer.data(), size_t(n));
    }
}

// Reads file rows [top, top + rows) of every channel, from scanlines or whole tiles.
bool readStrip(OIIO::ImageInput& in, const OIIO::ImageSpec& spec, int top, int rows, OIIO::DeepData& data) {
  if (spec.tile_width > 0)
    return in.read_native_deep_tiles(0, 0, spec.x, spec.x + spec.width, top, top + rows, spec.z, spec.z + 1,
                                     0, spec.nchannels, data);
  return in.read_native_deep_scanlines(0, 0, top, top + rows, spec.z, 0, spec.nchannels, data);
}

Status readSamples(const std::string& path, OIIO::ImageInput& in, const OIIO::ImageSpec& spec,
                   const DeepLayout& layout, double maxBytes, MemoryDeepOp& image) {
  const int stripRows = spec.tile_width > 0 ? std::max(1, spec.tile_height) : kStripRows;
  const double bytesPerSample = double(sizeof(float)) * image.channelMap().size();
  double samples = 0;
  for (int top = spec.y; top < spec.y + spec.height; top += stripRows) {
    const int rows = std::min(stripRows, spec.y + spec.height - top);
    OIIO::DeepData data;
    if (!readStrip(in, spec, top, rows, data))
      return Status::usage("cannot read the samples of '" + path + "': " + firstLine(in.geterror()));
    for (int64_t p = 0; p < data.pixels(); ++p) samples += data.samples(p);
    if (Status s = checkMemory(samples * bytesPerSample, maxBytes, path); !s.ok()) return s;
    copyStrip(data, spec, layout, top, rows, image);
  }
  return Status::success();
}

}  // namespace

Status readDeepImage(const std::string& path, double maxBytes, LoadedDeep& out,
                     std::vector<std::string>& warnings) {
  std::unique_ptr<OIIO::ImageInput> in;
  if (Status s = openInputFile(path, maxBytes, in, warnings); !s.ok()) return s;
  const OIIO::ImageSpec spec = in->spec();
  if (Status s = checkDeepSpec(path, spec, maxBytes); !s.ok()) return s;

  LoadedDeep loaded;
  DeepLayout layout;
  if (Status s = mapDeepChannels(path, spec, layout, loaded, warnings); !s.ok()) return s;
  const FileWindow display{spec.full_x, spec.full_y, spec.full_width, spec.full_height};
  const FileWindow data{spec.x, spec.y, spec.width, spec.height};
  loaded.image = std::make_unique<MemoryDeepOp>(hostFormat(display), hostBox(data, display), layout.channels);
  if (Status s = readSamples(path, *in, spec, layout, maxBytes, *loaded.image); !s.ok()) return s;
  out = std::move(loaded);
  return Status::success();
}
