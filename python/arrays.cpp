#include "arrays.h"

#include <algorithm>

#include "nodeCall.h"

using namespace DD::Image;
using standin::MemoryDeepOp;
using standin::MemoryIop;

namespace {

std::string typeName(const py::handle& v) { return py::str(py::type::of(v).attr("__name__")); }

std::string shapeText(const py::array& a) {
  std::string out;
  for (py::ssize_t i = 0; i < a.ndim(); ++i) out += (i ? " x " : "") + std::to_string(a.shape(i));
  return out;
}

// `value` as a float32 array of `ndim` dimensions.
py::array_t<float> floatArray(const py::handle& value, const std::string& what, int ndim) {
  if (!py::isinstance<py::array>(value))
    throw py::type_error(what + " must be a NumPy float32 array, not " + typeName(value));
  const auto a = py::reinterpret_borrow<py::array>(value);
  if (!a.dtype().is(py::dtype::of<float>()))
    throw py::type_error(what + " must be float32, not " + std::string(py::str(a.dtype())) +
                         " (convert it with .astype(numpy.float32))");
  if (a.ndim() != ndim)
    throw py::value_error(what + " must have " + std::to_string(ndim) + " dimensions (" +
                          (ndim == 2 ? "H x W" : "H x W x C") + "), not " + shapeText(a));
  return py::array_t<float>(a);
}

void checkSize(const py::array& a, const std::string& what, const FileWindow& window) {
  if (a.shape(0) != window.height || a.shape(1) != window.width)
    throw py::value_error(what + " is " + shapeText(a) + ", but the data window is " +
                          std::to_string(window.height) + " x " + std::to_string(window.width) + " (H x W)");
}

FileWindow windowOf(const py::object& value, const char* what, int width, int height) {
  if (value.is_none()) return FileWindow{0, 0, width, height};
  const auto v = value.cast<std::vector<int>>();
  if (v.size() != 4 || v[2] < 1 || v[3] < 1)
    throw py::value_error(std::string(what) + " must be (x, y, w, h) with w and h above 0");
  return FileWindow{v[0], v[1], v[2], v[3]};
}

// A named plane of an image argument.
struct NamedPlane {
  std::string name;
  py::array_t<float> pixels;  // H x W, or H x W x C with `column` its channel
  py::ssize_t column = -1;
};

std::vector<NamedPlane> namedPlanes(const py::object& value, const std::string& what, const ArrayLayout& layout) {
  std::vector<NamedPlane> planes;
  if (py::isinstance<py::dict>(value)) {
    for (const auto& [key, plane] : py::reinterpret_borrow<py::dict>(value)) {
      const std::string name = py::cast<std::string>(key);
      planes.push_back({name, floatArray(plane, what + "['" + name + "']", 2)});
      checkSize(planes.back().pixels, what + "['" + name + "']", layout.data);
    }
    return planes;
  }
  const py::array_t<float> a = floatArray(value, what, 3);
  checkSize(a, what, layout.data);
  if (a.shape(2) < 1 || size_t(a.shape(2)) > layout.channels.size())
    throw py::value_error(what + " has " + std::to_string(a.shape(2)) + " channels, but channels names " +
                          std::to_string(layout.channels.size()));
  for (py::ssize_t c = 0; c < a.shape(2); ++c) planes.push_back({layout.channels[size_t(c)], a, c});
  return planes;
}

Channel channelOf(const std::string& name, const ChannelSet& taken, const std::string& what) {
  const Channel z = hostChannel(name);
  if (z == Chan_Black) throw py::value_error(what + ": no channel id is left for '" + name + "'");
  if (taken.contains(z)) throw py::value_error(what + ": '" + name + "' repeats an earlier channel");
  return z;
}

}  // namespace

std::vector<std::string> namesOf(const py::handle& names, const char* what) {
  std::vector<std::string> out;
  if (py::isinstance<py::sequence>(names))
    for (const py::handle& name : names)
      if (py::isinstance<py::str>(name)) out.push_back(name.cast<std::string>());
  if (out.empty() || out.size() != size_t(py::len(names)))
    throw py::type_error(std::string(what) + " must be a sequence of channel names");
  return out;
}

ArrayLayout arrayLayout(const py::object& image, const std::vector<std::string>& channels,
                        const py::object& dataWindow, const py::object& displayWindow, const py::object& deep) {
  ArrayLayout layout;
  layout.channels = channels;
  layout.dict = py::isinstance<py::dict>(image);
  py::array sized;
  if (layout.dict && !py::reinterpret_borrow<py::dict>(image).empty())
    sized = floatArray(py::reinterpret_borrow<py::dict>(image).begin()->second, "image plane", 2);
  else if (!image.is_none() && !layout.dict)
    sized = floatArray(image, "image", 3);
  if (sized && !layout.dict && !image.is_none() && size_t(sized.shape(2)) < channels.size())
    layout.channels.resize(size_t(std::max<py::ssize_t>(sized.shape(2), 1)));
  else if (!deep.is_none() && py::len(deep) > 0 && py::isinstance<py::array>(deep[py::int_(0)]))
    sized = deep[py::int_(0)].cast<py::array>();
  if (!sized || sized.ndim() < 2) throw py::value_error("give an image (H x W x C or a dict of planes) or deep=");
  layout.data = windowOf(dataWindow, "data_window", int(sized.shape(1)), int(sized.shape(0)));
  layout.display = displayWindow.is_none() ? layout.data : windowOf(displayWindow, "display_window", 0, 0);
  return layout;
}

LoadedImage imageInput(const py::object& value, const char* what, const ArrayLayout& layout,
                       const py::object& extra, Channel extraChannel) {
  LoadedImage out;
  if (value.is_none() && extra.is_none()) return out;
  std::vector<NamedPlane> planes = value.is_none() ? std::vector<NamedPlane>() : namedPlanes(value, what, layout);
  if (!extra.is_none() && extraChannel != Chan_Black) {
    planes.push_back({getName(extraChannel), floatArray(extra, "depth", 2)});
    checkSize(planes.back().pixels, "depth", layout.data);
  }
  ChannelSet channels;
  std::vector<Channel> ids;
  for (size_t i = 0; i < planes.size(); ++i) {
    const bool depth = !extra.is_none() && i + 1 == planes.size() && extraChannel != Chan_Black;
    // A separate depth plane fills the depth channel, in place of one the image has.
    const Channel z = depth ? extraChannel : channelOf(planes[i].name, channels, what);
    if (!depth) out.names[z] = planes[i].name, out.fileChannels.push_back(planes[i].name);
    channels += z;
    ids.push_back(z);
  }
  const Box box = hostBox(layout.data, layout.display);
  out.image = std::make_unique<MemoryIop>(hostFormat(layout.display), box, channels);
  // One pass over the rows, each source row read once into every plane's row.
  const size_t width = size_t(layout.data.width);
  std::vector<float*> rows(planes.size());
  for (py::ssize_t r = 0; r < layout.data.height; ++r) {
    const size_t row = size_t(hostRow(layout.data.y + int(r), layout.display) - box.y());
    for (size_t i = 0; i < planes.size(); ++i) rows[i] = out.image->plane(ids[i]) + row * width;
    for (size_t i = 0; i < planes.size(); ++i) {
      const NamedPlane& p = planes[i];
      const char* from = reinterpret_cast<const char*>(p.pixels.data()) + r * p.pixels.strides(0) +
                         (p.column < 0 ? 0 : p.column * p.pixels.strides(2));
      const py::ssize_t step = p.pixels.strides(1);
      float* to = rows[i];
      for (size_t x = 0; x < width; ++x) to[x] = *reinterpret_cast<const float*>(from + py::ssize_t(x) * step);
    }
  }
  return out;
}

LoadedDeep deepInput(const py::object& deep, const ArrayLayout& layout) {
  LoadedDeep out;
  if (deep.is_none()) return out;
  if (!py::isinstance<py::sequence>(deep) || py::len(deep) != 3)
    throw py::type_error("deep must be (counts, samples, channel names)");
  const py::array counts = deep[py::int_(0)].cast<py::array>();
  if (counts.dtype().kind() != 'i' && counts.dtype().kind() != 'u')
    throw py::type_error("deep counts must be integers, not " + std::string(py::str(counts.dtype())));
  if (counts.ndim() != 2) throw py::value_error("deep counts must be H x W, not " + shapeText(counts));
  checkSize(counts, "deep counts", layout.data);
  const auto n = py::array_t<int64_t, py::array::forcecast>(counts).unchecked<2>();
  const py::array_t<float> samples = floatArray(deep[py::int_(1)], "deep samples", 2);
  const std::vector<std::string> names = namesOf(deep[py::int_(2)], "deep channel names");
  if (size_t(samples.shape(1)) != names.size())
    throw py::value_error("deep samples have " + std::to_string(samples.shape(1)) + " channels, but " +
                          std::to_string(names.size()) + " names");
  int64_t total = 0;
  for (py::ssize_t r = 0; r < n.shape(0); ++r)
    for (py::ssize_t x = 0; x < n.shape(1); ++x) {
      if (n(r, x) < 0) throw py::value_error("deep counts must not be negative");
      total += n(r, x);
    }
  if (total != samples.shape(0))
    throw py::value_error("the deep counts add up to " + std::to_string(total) + " samples, but samples has " +
                          std::to_string(samples.shape(0)) + " rows");

  ChannelSet channels;
  std::vector<Channel> ids;
  for (const std::string& name : names) {
    const Channel z = deepHostChannel(name);
    if (z == Chan_Black || z == Chan_Z) throw py::value_error("deep: no channel id is left for '" + name + "'");
    if (channels.contains(z)) throw py::value_error("deep: '" + name + "' repeats an earlier channel");
    ids.push_back(z);
    channels += z;
    out.fileChannels.push_back(name);
  }
  if (!channels.contains(Chan_DeepFront))
    throw CallError("'deep' has no Z channel, which a deep image needs for its sample depths");
  const bool hasBack = channels.contains(Chan_DeepBack);
  out.image = std::make_unique<MemoryDeepOp>(hostFormat(layout.display), hostBox(layout.data, layout.display),
                                             channels + Chan_DeepBack);
  const ChannelMap& map = out.image->channelMap();
  const size_t stride = map.size();
  const int front = map.chanNo(Chan_DeepFront), back = map.chanNo(Chan_DeepBack);
  const auto s = samples.unchecked<2>();
  std::vector<float> pixel;
  py::ssize_t next = 0;
  for (py::ssize_t r = 0; r < n.shape(0); ++r)
    for (py::ssize_t x = 0; x < n.shape(1); ++x) {
      const size_t count = size_t(n(r, x));
      pixel.assign(count * stride, 0.0f);
      for (size_t i = 0; i < count; ++i, ++next) {
        for (size_t c = 0; c < ids.size(); ++c) pixel[i * stride + size_t(map.chanNo(ids[c]))] = s(next, c);
        if (!hasBack) pixel[i * stride + size_t(back)] = pixel[i * stride + size_t(front)];
      }
      out.image->setPixel(layout.data.x + int(x), hostRow(layout.data.y + int(r), layout.display), pixel.data(),
                          count);
    }
  return out;
}

std::vector<float> planeValues(const py::object& plane, const char* what) {
  const auto a = floatArray(plane, what, 2).unchecked<2>();
  std::vector<float> values;
  values.reserve(size_t(a.size()));
  for (py::ssize_t r = 0; r < a.shape(0); ++r)
    for (py::ssize_t x = 0; x < a.shape(1); ++x) values.push_back(a(r, x));
  return values;
}

namespace {

// Host planes over `box` into the rows of `window` top-down, a pixel's values side by side
// (a null plane gives zeros); zeros outside the box too. One pass over the rows.
void copyOut(const std::vector<const float*>& planes, const Box& box, const FileWindow& window,
             const FileWindow& display, float* out) {
  const size_t stride = planes.size();
  for (int r = 0; r < window.height; ++r) {
    const int y = hostRow(window.y + r, display);
    float* to = out + size_t(r) * size_t(window.width) * stride;
    for (size_t k = 0; k < stride; ++k) {
      for (int x = 0; x < window.width; ++x) {
        const int hx = window.x + x;
        const bool inside = planes[k] && y >= box.y() && y < box.t() && hx >= box.x() && hx < box.r();
        to[size_t(x) * stride + k] =
            inside ? planes[k][size_t(y - box.y()) * size_t(box.w()) + size_t(hx - box.x())] : 0.0f;
      }
    }
  }
}

}  // namespace

py::object resultOf(const MemoryIop& image, const ChannelNames& names, const ArrayLayout& layout) {
  const Box& box = image.info().box();
  const py::ssize_t h = layout.data.height, w = layout.data.width;
  if (!layout.dict) {
    std::vector<const float*> planes;
    for (const std::string& name : layout.channels) planes.push_back(image.plane(hostChannel(name)));
    py::array_t<float> out({h, w, py::ssize_t(planes.size())});
    copyOut(planes, box, layout.data, layout.display, out.mutable_data());
    return std::move(out);
  }
  py::dict out;
  for (Channel z : image.channels()) {
    py::array_t<float> plane({h, w});
    copyOut({image.plane(z)}, box, layout.data, layout.display, plane.mutable_data());
    out[py::str(fileChannelName(names, z))] = plane;
  }
  return std::move(out);
}
