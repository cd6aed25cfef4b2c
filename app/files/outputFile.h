// Where an output goes: its kind by extension, a check that it can be written, and the
// temporary name it is written under before being renamed into place (so that a failed or
// interrupted write never leaves a half-written file under the output's name).
#pragma once

#include <string>

#include "status.h"

enum class OutputKind { Exr, Png, Jpeg, Tiff };

// The kind of file `path` asks for, by its extension (any case): .exr, .png, .jpg/.jpeg, .tif/.tiff.
Status outputKindOf(const std::string& path, OutputKind& kind);

// Checks that the output's folder exists and can be written, and that `path` is not a folder.
Status checkOutputPath(const std::string& path);

// A hidden name beside `path`, unique to this process, with the same extension.
std::string temporaryPathFor(const std::string& path);

// Renames `temporary` onto `path`; removes `temporary` when that fails.
Status commitOutput(const std::string& temporary, const std::string& path);
