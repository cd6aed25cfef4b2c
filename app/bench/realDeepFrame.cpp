#include "bench/realDeepFrame.h"

#include <OpenEXR/ImfHeader.h>
#include <OpenEXR/ImfMultiPartInputFile.h>

#include <exception>
#include <vector>

#include "DDImage/DeepPlane.h"
#include "files/deepReader.h"
#include "files/inputChecks.h"

using namespace DD::Image;
using namespace standin;

namespace {

const char* const kFiles[2] = {"lowres-balls-deep.exr", "lowres-trunks-deep.exr"};

bool exists(const std::string& path) { return checkInputPath(path).ok(); }

}  // namespace

std::string realDeepDataFolder() {
  for (const char* folder : {"../shared/data/", "../../shared/data/"})
    if (exists(std::string(folder) + kFiles[0]) && exists(std::string(folder) + kFiles[1])) return folder;
  return "";
}

Status realDeepFrameSize(const std::string& folder, int& width, int& height) {
  try {
    Imf::MultiPartInputFile file((folder + kFiles[0]).c_str());
    const Imath::Box2i window = file.header(0).displayWindow();
    width = window.max.x - window.min.x + 1, height = window.max.y - window.min.y + 1;
  } catch (const std::exception& e) {
    return Status::usage(folder + kFiles[0] + ": " + e.what());
  }
  return Status::success();
}

Status readRealDeepFrame(const std::string& folder, std::unique_ptr<MemoryDeepOp>& out) {
  LoadedDeep parts[2];
  std::vector<std::string> warnings;
  for (int k = 0; k < 2; ++k)
    if (Status s = readDeepImage(folder + kFiles[k], defaultMemoryLimit(), parts[k], warnings); !s.ok())
      return s;
  const Format format = *parts[0].image->deepInfo().format();
  Box box = parts[0].image->deepInfo().box();
  box.merge(parts[1].image->deepInfo().box());
  const ChannelSet channels = ChannelSet(Mask_RGBA) + Mask_Deep;
  out = std::make_unique<MemoryDeepOp>(format, box, channels);
  const ChannelMap& map = out->channelMap();
  std::vector<float> samples;
  for (int y = box.y(); y < box.t(); ++y) {
    DeepPlane planes[2];
    for (int k = 0; k < 2; ++k)
      parts[k].image->deepEngine(Box(box.x(), y, box.r(), y + 1), channels, planes[k]);
    for (int x = box.x(); x < box.r(); ++x) {
      samples.clear();
      for (const DeepPlane& plane : planes) {
        const Box& b = plane.box();
        if (x < b.x() || x >= b.r() || y < b.y() || y >= b.t()) continue;
        const DeepPixel pixel = plane.getPixel(y, x);
        for (size_t j = 0; j < pixel.getSampleCount(); ++j) {
          samples.resize(samples.size() + size_t(map.size()), 0.0f);
          float* to = samples.data() + samples.size() - size_t(map.size());
          for (Channel z : channels)
            if (pixel.channels().contains(z)) to[map.chanNo(z)] = pixel.getUnorderedSample(j, z);
        }
      }
      out->setPixel(x, y, samples.data(), samples.size() / size_t(map.size()));
    }
  }
  return Status::success();
}
