// The start-up banner: name, version, description, product, notice and build.
#ifndef TARVIK_DRIVER_BANNER_H_
#define TARVIK_DRIVER_BANNER_H_

#include "driver/version_info.h"

namespace tarvik {

// Collects the banner for the log file and shows it on the console. Prints
// nothing when the version information is not available.
void PrintBanner(const VersionInfo& version);

}  // namespace tarvik

#endif  // TARVIK_DRIVER_BANNER_H_
