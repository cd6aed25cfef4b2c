// The Python module `orvel`: the node from Python over NumPy arrays, for pipeline tools. Each
// call makes its own node, as `orvel render` does, and keeps nothing afterwards; renders run with
// the interpreter's lock released, so calls on several threads run side by side.
#include <dlfcn.h>

#include <filesystem>
#include <memory>

#include <pybind11/stl.h>

#include "arrays.h"
#include "depth/depthStatistics.h"
#include "nodeCall.h"
#include "render/pluginLoader.h"

using namespace DD::Image;
using namespace pybind11::literals;

namespace {

void check(const Status& status) {
  if (!status.ok()) throw CallError(status.message);
}

// The node's and the renderer's warnings, as Python warnings.
void warn(const std::vector<std::string>& warnings) {
  for (const std::string& w : warnings)
    if (PyErr_WarnEx(PyExc_UserWarning, w.c_str(), 2) < 0) throw py::error_already_set();
}

// A knob value as `--set` would take it: text as given, booleans as true or false, numbers as
// Python writes them, sequences (colours, pairs) as their items with spaces between.
std::string knobText(const py::handle& v) {
  if (py::isinstance<py::str>(v)) return v.cast<std::string>();
  if (py::isinstance<py::bool_>(v)) return v.cast<bool>() ? "true" : "false";
  if (py::isinstance<py::int_>(v)) return py::str(v);
  if (PyNumber_Check(v.ptr()) && !py::isinstance<py::sequence>(v)) return py::repr(py::float_(py::reinterpret_borrow<py::object>(v)));
  if (py::isinstance<py::sequence>(v)) {
    std::string text;
    for (const py::handle& item : v) text += (text.empty() ? "" : " ") + knobText(item);
    return text;
  }
  throw py::type_error("a knob value is a str, bool, number or sequence of numbers, not " +
                       std::string(py::str(py::type::of(v).attr("__name__"))));
}

std::vector<KnobAssignment> assignmentsOf(const py::dict& knobs) {
  std::vector<KnobAssignment> out;
  for (const auto& [name, value] : knobs) out.push_back({py::cast<std::string>(name), knobText(value), "--set"});
  return out;
}

// Makes a node with `knobs` applied; a refusal raises orvel.Error after the warnings so far.
void createNode(NodeCall& call, const py::dict& knobs, bool reference) {
  const Status created = call.create(assignmentsOf(knobs), reference);
  warn(call.warnings);
  call.warnings.clear();
  check(created);
}

// Gives the image's channel names their host ids, so that channel knobs can name them.
void nameChannels(const py::object& image, const ArrayLayout& layout) {
  if (layout.dict)
    for (const auto& item : py::reinterpret_borrow<py::dict>(image)) hostChannel(py::cast<std::string>(item.first));
  else
    for (const std::string& name : layout.channels) hostChannel(name);
}

py::object render(const py::object& image, const py::object& depth, const py::object& deep,
                  const py::object& kernel, const py::object& mattes, const py::dict& knobs,
                  const py::object& threads, const std::string& engine, const py::object& channelNames,
                  const py::object& dataWindow, const py::object& displayWindow) {
  if (engine != "fast" && engine != "reference")
    throw py::value_error("engine is \"fast\" or \"reference\", not \"" + engine + "\"");
  const int threadCount = threads.is_none() ? 0 : threads.cast<int>();
  if (threadCount < 0) throw py::value_error("threads must be 0 or more");
  const std::vector<std::string> channels = namesOf(channelNames, "channels");
  const ArrayLayout layout = arrayLayout(image, channels, dataWindow, displayWindow, deep);
  CallInputs in;
  // The kernel is an image of its own size; the mattes cover the image's windows.
  if (!kernel.is_none())
    in.kernel = imageInput(kernel, "kernel", arrayLayout(kernel, channels, py::none(), py::none(), py::none()));
  in.mattes = imageInput(mattes, "mattes", layout);
  in.deep = deepInput(deep, layout);
  nameChannels(image, layout);
  NodeCall call;
  createNode(call, knobs, engine == "reference");
  in.image = imageInput(image, "image", layout, depth, call.depthChannel());
  std::unique_ptr<standin::MemoryIop> out;
  Status rendered;
  {
    py::gil_scoped_release release;
    rendered = call.render(in, unsigned(threadCount), out);
  }
  warn(call.warnings);
  check(rendered);
  ChannelNames names = in.image.names;
  for (const std::string& name : in.deep.fileChannels) names.emplace(deepHostChannel(name), name);
  return resultOf(*out, names, layout);
}

py::list knobTable() {
  NodeCall call;
  createNode(call, py::dict(), false);
  py::list table;
  for (const KnobEntry& e : knobEntries(call.node())) {
    py::dict entry("name"_a = e.name, "label"_a = e.label, "kind"_a = e.kind, "default"_a = e.defaultText,
                   "range"_a = e.hasRange ? py::object(py::make_tuple(e.rangeMin, e.rangeMax)) : py::none(),
                   "clamped"_a = e.clamped, "tooltip"_a = e.tooltip);
    if (!e.choices.empty()) entry["choices"] = e.choices;
    table.append(entry);
  }
  return table;
}

py::dict depthSurvey(const py::object& depth, const py::dict& knobs) {
  const std::vector<float> values = planeValues(depth, "depth");
  const auto shape = depth.cast<py::array>();
  NodeCall call;
  createNode(call, knobs, false);
  const ktOrvelSettings s = lensSettingsOf(call.node(), int(shape.shape(1)), int(shape.shape(0)));
  const DepthSummary summary = summariseDepths(values, s, DepthKind::Flat);
  py::list percentiles;
  for (const DepthPercentile& p : summary.percentiles)
    percentiles.append(py::dict("percent"_a = p.percent, "depth"_a = p.depth, "blur"_a = p.blur));
  const py::dict lens("realWorldLens"_a = bool(s.realWorldLens), "focalPlane"_a = s.focalPlane,
                      "focusRegionSize"_a = s.focusRegionSize, "multiplier"_a = s.multiplier,
                      "focalLength"_a = s.focalLength, "fStop"_a = s.fStop, "apertureWidth"_a = s.apertureWidth,
                      "apertureHeight"_a = s.apertureHeight, "frontmultiplier"_a = s.frontmultiplier,
                      "backmultiplier"_a = s.backmultiplier, "max_kernelsize"_a = s.max_kernelsize);
  return py::dict("pixels"_a = summary.count, "nonFinite"_a = summary.nonFinite, "lens"_a = lens,
                  "percentiles"_a = percentiles, "inFocus"_a = summary.inFocus, "front"_a = summary.front,
                  "behind"_a = summary.behind);
}

// The folder of this module, where its build puts the node's plug-in beside it.
std::string moduleFolder() {
  Dl_info info;
  if (!dladdr(reinterpret_cast<void*>(&moduleFolder), &info) || !info.dli_fname) return ".";
  return std::filesystem::path(info.dli_fname).parent_path().string();
}

}  // namespace

PYBIND11_MODULE(orvel, m) {
  m.doc() = "The ktOrvel lens-defocus node over NumPy arrays.";
  py::register_exception<CallError>(m, "Error");
  check(loadNodePlugin("ktOrvel", "ktOrvel", moduleFolder()));
  m.def("render", &render, "image"_a, "depth"_a = py::none(), py::kw_only(), "deep"_a = py::none(),
        "kernel"_a = py::none(), "mattes"_a = py::none(), "knobs"_a = py::dict(), "threads"_a = py::none(),
        "engine"_a = "fast", "channels"_a = py::make_tuple("R", "G", "B", "A"),
        "data_window"_a = py::none(), "display_window"_a = py::none(),
        "Defocuses `image` (H x W x C float32 named by `channels`, or a dict of H x W planes) by `depth` "
        "(H x W) or its depth channel, or the deep image `deep` = (counts H x W, samples N x K, K names). "
        "Rows run top-down; windows are (x, y, w, h). Returns the picture in the image's layout.");
  m.def("knobs", &knobTable, "The node's knobs: name, label, kind, default, range, clamped, tooltip (and choices).");
  m.def("depth_survey", &depthSurvey, "depth"_a, "knobs"_a = py::dict(),
        "What `orvel depth` prints for an H x W depth plane under the knob values: percentiles of depth "
        "and blur, the shares in focus, in front and behind.");
}
