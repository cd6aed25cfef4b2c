// How a file's layout maps onto the host's: windows and channel names.
#pragma once

#include <map>
#include <string>

#include "DDImage/Box.h"
#include "DDImage/Channel.h"
#include "DDImage/Format.h"

// Windows of image files against the host's boxes. Files store rows top-down, the host counts
// rows upward: a file row r is host row ymin + ymax - r, where ymin and ymax are the first and
// last rows of the display window. The display window itself keeps its numbers.

// A file's window: left column, top row (file rows), width and height.
struct FileWindow {
  int x = 0;
  int y = 0;
  int width = 0;
  int height = 0;
};

// The host format of a file's display window.
DD::Image::Format hostFormat(const FileWindow& display);

// The host row of file row `fileRow`.
int hostRow(int fileRow, const FileWindow& display);

// The host box of a file window (e.g. the data window), rows flipped within the display window.
DD::Image::Box hostBox(const FileWindow& window, const FileWindow& display);

// The file window of a host box, rows flipped within the format: the inverse of hostBox.
FileWindow fileWindow(const DD::Image::Box& box, const DD::Image::Format& format);

// The display window of a host format.
FileWindow displayWindow(const DD::Image::Format& format);

// Names of channels in files: each host channel remembers the name its file gave it, so that
// an output keeps the input's names.

using ChannelNames = std::map<DD::Image::Channel, std::string>;

// The host channel of a file channel name: R G B A (or rgba.red ...) are 1 to 4, Z or depth.Z
// is 5; any other name gets an id of its own and keeps its name. Chan_Black when none is left.
DD::Image::Channel hostChannel(const std::string& fileName);

// The host channel of a deep image's channel: Z and ZBack (or depth.Z, depth.ZBack) are the
// sample depths, deep front and deep back; other names as hostChannel gives them.
DD::Image::Channel deepHostChannel(const std::string& fileName);

// The file name of host channel z: the one in `names`, else R, G, B, A, Z, else the host's name.
std::string fileChannelName(const ChannelNames& names, DD::Image::Channel z);
