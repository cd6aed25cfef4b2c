// A look at an OpenEXR file's header before the EXR library reads it: the library allocates what
// the header declares (an attribute's size, a table of an offset per chunk) before it can find
// that a small file does not hold it, so such files are refused here first.
#pragma once

#include <string>

#include "status.h"

// Success for files that are not EXR (other readers judge them) and for EXR headers whose
// attributes fit in the file and whose chunk offset tables take at most `maxBytes`.
Status checkExrHeader(const std::string& path, double maxBytes);
