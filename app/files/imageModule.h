// Loading the image module for files that are not OpenEXR, on first use, from beside the
// executable. It stays loaded for the life of the process.
#pragma once

#include <string>

#include "files/imageModuleInterface.h"
#include "status.h"

// The module's functions; a usage status naming the module and the file that needed it when it
// cannot be loaded.
Status imageModule(const std::string& forPath, const imagemodule::Functions*& out);
