#include "log/system_report.h"

#include <gtest/gtest.h>

#include <string>

#include "log/log_testing.h"
#include "support/world_os.h"
#include "util/utf.h"

namespace tarvik {
namespace {

// The description of the system a world's "os" object describes; "" when
// there is none.
std::wstring Describe(const std::string& os_json, std::wstring* output = nullptr) {
  ResetLogSystemForTesting();
  WorldOs world("{\"os\": {" + os_json + "}}");
  std::wstring text;
  const bool described = DescribeOperatingSystem(&text);
  EXPECT_EQ(described, !text.empty()) << os_json;
  if (output != nullptr)
    *output = world.TakeOutput();
  return text;
}

TEST(SystemReportTest, NamesEveryReleaseItKnows) {
  const std::pair<std::string, std::wstring> cases[] = {
      {R"("version": "5.0", "product_type": "workstation")", L"Windows 2000 Professional"},
      {R"("version": "5.0", "suite_mask": 130)", L"Windows 2000 Datacenter Server"},
      {R"("version": "5.0", "suite_mask": 2)", L"Windows 2000 Advanced Server"},
      {R"("version": "5.0", "suite_mask": 0)", L"Windows 2000 Server"},
      {R"("version": "5.1", "suite_mask": 512)", L"Windows XP Home Edition"},
      {R"("version": "5.1", "suite_mask": 0)", L"Windows XP Professional"},
      // 5.2: R2 first, then the Storage Server, then XP x64; servers add
      // their edition by processor, then by suite in a fixed order.
      {R"("version": "5.2", "server_r2": true, "suite_mask": 8194,
          "processor_architecture": "intel")",
       L"Windows Server 2003 R2, Enterprise Edition"},
      {R"("version": "5.2", "suite_mask": 8192, "processor_architecture": "intel")",
       L"Windows Storage Server 2003Standard Edition"},
      {R"("version": "5.2", "product_type": "workstation",
          "processor_architecture": "amd64")",
       L"Windows XP Professional x64 Edition"},
      {R"("version": "5.2", "product_type": "workstation",
          "processor_architecture": "intel")",
       L"Windows Server 2003, "},
      {R"("version": "5.2", "suite_mask": 130, "processor_architecture": "ia64")",
       L"Windows Server 2003, Datacenter Edition for Itanium-based Systems"},
      {R"("version": "5.2", "suite_mask": 2, "processor_architecture": "ia64")",
       L"Windows Server 2003, Enterprise Edition for Itanium-based Systems"},
      {R"("version": "5.2", "suite_mask": 0, "processor_architecture": "ia64")",
       L"Windows Server 2003, "},
      {R"("version": "5.2", "suite_mask": 128, "processor_architecture": "amd64",
          "product_type": "domain_controller")",
       L"Windows Server 2003, Datacenter x64 Edition"},
      {R"("version": "5.2", "suite_mask": 2, "processor_architecture": "amd64")",
       L"Windows Server 2003, Enterprise x64 Edition"},
      {R"("version": "5.2", "suite_mask": 0, "processor_architecture": "amd64")",
       L"Windows Server 2003, Standard x64 Edition"},
      {R"("version": "5.2", "suite_mask": 16514, "processor_architecture": "intel")",
       L"Windows Server 2003, Compute Cluster Edition"},
      {R"("version": "5.2", "suite_mask": 1154, "processor_architecture": "intel")",
       L"Windows Server 2003, Datacenter Edition"},
      {R"("version": "5.2", "suite_mask": 1026, "processor_architecture": "intel")",
       L"Windows Server 2003, Enterprise Edition"},
      {R"("version": "5.2", "suite_mask": 1024, "processor_architecture": "intel")",
       L"Windows Server 2003, Web Edition"},
      {R"("version": "5.2", "suite_mask": 0, "processor_architecture": "arm64")",
       L"Windows Server 2003, Standard Edition"},
      // 6.0 and 6.1 with the edition of GetProductInfo and the word size.
      {R"("version": "6.0", "product_type": "workstation", "product_info": 1,
          "processor_architecture": "amd64")",
       L"Windows Vista Ultimate Edition, AMD 64-bit"},
      {R"("version": "6.0", "product_info": 14, "processor_architecture": "ia64")",
       L"Windows Server 2008 Enterprise Edition (core installation), 64-bit"},
      {R"("version": "6.0", "product_info": 25, "processor_architecture": "intel")",
       L"Windows Server 2008 Small Business Server Premium Edition, 32-bit"},
      {R"("version": "6.0", "product_info": 5, "processor_architecture": "arm64")",
       L"Windows Server 2008 "},
      {R"("version": "6.1", "product_type": "workstation", "product_info": 4,
          "processor_architecture": "amd64")",
       L"Windows Seven Enterprise Edition, AMD 64-bit"},
      {R"("version": "6.1", "product_info": 8, "processor_architecture": "amd64")",
       L"Windows Seven Datacenter Edition, AMD 64-bit"},
  };
  for (const auto& [os, name] : cases)
    EXPECT_EQ(Describe(os), L"Microsoft " + name + L" (build 17763)") << os;
}

TEST(SystemReportTest, LaterReleasesCarryOnlyTheServicePackAndTheBuild) {
  EXPECT_EQ(Describe(R"("version": "6.2", "build": 9200, "product_info": 8)"),
            L"Microsoft  (build 9200)");
  EXPECT_EQ(Describe(R"("version": "10.0", "build": 17763)"), L"Microsoft  (build 17763)");
  EXPECT_EQ(Describe(R"("version": "5.3", "build": 1)"), L"Microsoft  (build 1)");
  EXPECT_EQ(
      Describe(R"("version": "5.2", "suite_mask": 128, "server_r2": true,
                        "processor_architecture": "amd64", "service_pack": "Service Pack 2")"),
      L"Microsoft Windows Server 2003 R2, Datacenter x64 Edition Service Pack 2 (build 17763)");
  EXPECT_EQ(Describe(R"("version": "10.0", "build": 20348, "service_pack": ")" +
                     std::string(127, 'x') + "\""),
            L"Microsoft  " + std::wstring(127, L'x') + L" (build 20348)");
}

TEST(SystemReportTest, OlderOrUnreadableVersionsAreNotDescribed) {
  std::wstring output;
  EXPECT_EQ(Describe(R"("version": "4.0", "build": 1381)", &output), L"");
  EXPECT_EQ(output, L"This sample does not support this version of Windows.\n");

  ResetLogSystemForTesting();
  WorldOs world(R"({"faults": [{"call": "GetVersionExW", "error": 5}]})");
  std::wstring text = L"old";
  EXPECT_FALSE(DescribeOperatingSystem(&text));
  EXPECT_EQ(text, L"");
  EXPECT_EQ(world.TakeOutput(), L"");
}

}  // namespace
}  // namespace tarvik
