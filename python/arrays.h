// NumPy arrays to and from the host's in-memory images. Arrays hold rows top-down, the host
// counts them upward: rows flip on the way in and out. Windows are (x, y, w, h) with y counted
// from the display window's top, as in image files. Wrong types raise TypeError, wrong shapes
// ValueError.
#pragma once

#include <string>
#include <vector>

#include <pybind11/numpy.h>
#include <pybind11/pybind11.h>
#include <pybind11/stl.h>

#include "files/deepReader.h"
#include "files/fileMapping.h"
#include "files/imageReader.h"

namespace py = pybind11;

// The windows of a call and the layout its result comes back in.
struct ArrayLayout {
  FileWindow data, display;
  bool dict = false;                  // planes by name, else one H x W x C array
  std::vector<std::string> channels;  // the array's channel names, in order
};

// Channel names from any sequence of strings (a string gives one-letter names: "RGBA").
std::vector<std::string> namesOf(const py::handle& names, const char* what);

// The layout of `image` (an H x W x C float32 array with `channels` names for its C channels, or
// a dict of H x W float32 planes; None with a deep input of `deepShape`) and the windows given
// (None: the array's own size at the origin; the display window defaults to the data window).
ArrayLayout arrayLayout(const py::object& image, const std::vector<std::string>& channels,
                        const py::object& dataWindow, const py::object& displayWindow,
                        const py::object& deep);

// An image argument (`what` names it in messages) as an in-memory image over the layout's windows,
// with `extra` (an H x W plane, or None) in channel `extraChannel`.
LoadedImage imageInput(const py::object& value, const char* what, const ArrayLayout& layout,
                       const py::object& extra = py::none(), DD::Image::Channel extraChannel = DD::Image::Chan_Black);

// The deep argument: (counts H x W, samples N x K float32, K channel names), pixels' samples in
// order, pixels row by row from the top.
LoadedDeep deepInput(const py::object& deep, const ArrayLayout& layout);

// An H x W float32 plane's values.
std::vector<float> planeValues(const py::object& plane, const char* what);

// The rendered image over the caller's data window (zeros where the node's box does not reach): an
// array of the layout's channels, or a dict of every channel under its name in `names`.
py::object resultOf(const standin::MemoryIop& image, const ChannelNames& names, const ArrayLayout& layout);
