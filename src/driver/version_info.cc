#include "driver/version_info.h"

#include "util/format.h"

namespace tarvik {

std::wstring VersionText(uint32_t most_significant, uint32_t least_significant) {
  const int major = static_cast<int>(most_significant >> 16);
  const int minor = static_cast<int>(most_significant & 0xFFFF);
  const int third = static_cast<int>(least_significant >> 16);
  const int fourth = static_cast<int>(least_significant & 0xFFFF);
  std::wstring text = Format(L"%d.%.2d", major, minor);
  if (third != 0)
    text += Format(L"-%.4d", third);
  if (fourth != 0) {
    if (third == 0)
      text += Format(L"-%.4d", third);
    text += Format(L"%.4d", fourth);
  }
  return text;
}

VersionInfo ReadVersionInfo() {
  VersionInfo info;
  info.valid = true;
  info.internalName = L"TARVIK";
  info.fileDescription = L"File migration tool";
  info.productName = L"tarvik file migration";
  info.legalNotice = L"Copyright (c) 2026 the tarvik developers";
  info.versionText = VersionText((TARVIK_VERSION_MAJOR << 16) | TARVIK_VERSION_MINOR,
                                 (TARVIK_VERSION_PATCH << 16) | TARVIK_VERSION_TWEAK);
  info.buildDate = Format(L"%hs", __DATE__);
  info.buildTime = Format(L"%hs", __TIME__);
  return info;
}

}  // namespace tarvik
