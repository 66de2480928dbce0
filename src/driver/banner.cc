#include "driver/banner.h"

#include "log/log.h"

namespace tarvik {

void PrintBanner(const VersionInfo& version) {
  if (!version.valid)
    return;
  BannerText(L"\n%s%s %s - %s\n\n", version.internalName, L"64", version.versionText,
             version.fileDescription);
  BannerText(L"\t%s\n", version.productName);
  BannerText(L"\t%s\n", version.legalNotice);
  BannerText(L"\tBuild %s %s\n\n", version.buildDate, version.buildTime);
  ShowBanner();
}

}  // namespace tarvik
