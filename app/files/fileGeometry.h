// Windows of image files against the host's boxes. Files store rows top-down, the host counts
// rows upward: a file row r is host row ymin + ymax - r, where ymin and ymax are the first and
// last rows of the display window. The display window itself keeps its numbers.
#pragma once

#include "DDImage/Box.h"
#include "DDImage/Format.h"

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
