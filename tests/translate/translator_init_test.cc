// The preparation of the translator: default owner and group, machine SIDs,
// the same server, a controller as the source, a new domain, and every
// reason to stop.
#include "translate/translator_init.h"

#include <gtest/gtest.h>

#include "translate/sd_translator.h"
#include "translate/translator_fixture.h"

namespace tarvik {
namespace {

constexpr const wchar_t* kGiveUp = L"Unable to initialize the Security Descriptor translator";

size_t Count(const std::wstring& text, const std::wstring& part) {
  size_t count = 0;
  for (size_t at = text.find(part); at != std::wstring::npos; at = text.find(part, at + 1))
    ++count;
  return count;
}

// part comes before later in text (both present).
bool InOrder(const std::wstring& text, const std::wstring& part, const std::wstring& later) {
  size_t first = text.find(part);
  return first != std::wstring::npos && text.find(later, first) != std::wstring::npos;
}

class TranslatorInitTest : public TranslatorTest {
 protected:
  Server Resolve(const std::wstring& path, bool account_info = true) {
    Server server;
    EXPECT_TRUE(server.GetFromPath(path, account_info));
    return server;
  }

  const SdTranslator& t() { return TheSdTranslator(); }
};

TEST_F(TranslatorInitTest, MemberServerToController) {
  Settings().copyOwner = 1;
  Settings().debugSecurity = 1;
  Server source = Resolve(L"C:\\src");
  Server target = Resolve(L"\\\\DC2\\public");
  Server other = Resolve(L"C:\\other");
  world_.TakeOutput();
  ASSERT_TRUE(InitSecurityTranslation(source, target, SecurityMode::Copy, false));
  EXPECT_TRUE(t().initialized);
  EXPECT_FALSE(t().sameServer);
  EXPECT_FALSE(t().sourceIsDomainController);
  EXPECT_FALSE(t().localIsDomain);
  // The connected account owns what cannot keep its owner; its primary
  // group comes from its domain's controller.
  EXPECT_EQ(t().defaultOwner.ToString(), Rid(kNewCorp, 2202));
  EXPECT_EQ(t().defaultGroup.ToString(), Rid(kNewCorp, 2210));
  EXPECT_EQ(t().sourceMachineSid.ToString(), Rid(kFs1, kMachineSidPlaceholderRid));
  EXPECT_EQ(t().targetMachineSid.ToString(), Rid(kNewCorp, kMachineSidPlaceholderRid));
  EXPECT_EQ(t().sourceServer.name, L"\\\\FS1");
  EXPECT_EQ(t().targetServer.name, L"\\\\DC2");
  std::wstring output = world_.TakeOutput();
  EXPECT_TRUE(Holds(output, L"Source machine SID   : " + Rid(kFs1, kMachineSidPlaceholderRid)))
      << output;
  EXPECT_TRUE(Holds(output, L"Target machine SID   : " + Rid(kNewCorp, kMachineSidPlaceholderRid)))
      << output;
  EXPECT_FALSE(Holds(output, L"BUILTIN")) << output;

  // A second call changes nothing and says nothing.
  ASSERT_TRUE(InitSecurityTranslation(other, other, SecurityMode::Fix, true));
  EXPECT_FALSE(t().sameServer);
  EXPECT_EQ(t().securityMode, SecurityMode::Copy);
  EXPECT_EQ(t().targetServer.name, L"\\\\DC2");
  EXPECT_TRUE(InitNewDomainTranslation(other, other, L"NOWHERE", SecurityMode::Copy, false));
  EXPECT_EQ(world_.TakeOutput(), L"");
}

TEST_F(TranslatorInitTest, TheSameServerHasNothingLocalToTranslate) {
  Settings().translateLocalUsers = 1;
  Settings().translateLocalGroups = 1;
  Settings().ignoreLocalAccounts = 1;
  ASSERT_TRUE(
      InitSecurityTranslation(Resolve(L"C:\\a"), Resolve(L"C:\\b"), SecurityMode::Copy, false));
  EXPECT_TRUE(t().sameServer);
  EXPECT_FALSE(t().translateLocalUsers);
  EXPECT_FALSE(t().translateLocalGroups);
  EXPECT_FALSE(t().ignoreLocalAccounts);
  SId result;
  ASSERT_TRUE(TranslateSid(&workspace_, SidOf(Rid(kFs1, 1001)), &result, false));
  EXPECT_EQ(result.ToString(), Rid(kFs1, 1001));
  world_.TakeOutput();
}

TEST_F(TranslatorInitTest, AControllerAsSourceHasNoLocalAccounts) {
  Settings().ignoreLocalAccounts = 1;
  ASSERT_TRUE(InitSecurityTranslation(Resolve(L"\\\\DC1\\corpdata"), Resolve(L"\\\\FS2\\plain"),
                                      SecurityMode::Copy, false));
  EXPECT_TRUE(t().sourceIsDomainController);
  EXPECT_FALSE(t().ignoreLocalAccounts);
  // Its machine SID is its domain's: local SIDs are applied as they are.
  EXPECT_TRUE(t().localIsDomain);
  std::wstring output = world_.TakeOutput();
  EXPECT_TRUE(InOrder(output, L"Unable to get the local source server sid from \\\\DC1",
                      L"Please specify a source local sid using option /localsidsource  "
                      L"S-1-5-15-aaaaaaaa-bbbbbbbb-cccccccc-FFFFFFFF"))
      << output;
  EXPECT_TRUE(Holds(output, L"otherwise local source SID will be applied as they are")) << output;
  SId result;
  ASSERT_TRUE(TranslateSid(&workspace_, SidOf(Rid(kCorp, 500)), &result, true));
  EXPECT_EQ(result.ToString(), Rid(kCorp, 500));
}

TEST_F(TranslatorInitTest, BuiltinAdministratorsWhenNoAccountCanOwn) {
  Settings().copyOwner = 1;
  // A DFS source: the connection says nothing about the target.
  ASSERT_TRUE(InitSecurityTranslation(Resolve(L"\\\\FS2\\projects"), Resolve(L"C:\\dst"),
                                      SecurityMode::Copy, false));
  EXPECT_EQ(t().defaultOwner.ToString(), L"S-1-5-32-544");
  // BUILTIN has no primary groups: the target's own "domain users".
  EXPECT_EQ(t().defaultGroup.ToString(), Rid(kFs1, 513));
  std::wstring output = world_.TakeOutput();
  EXPECT_EQ(Count(output,
                  L"BUILTIN\\administrators can be used as default owner when original "
                  L"owner is not resolved on target side"),
            1u)
      << output;
  EXPECT_TRUE(InOrder(output,
                      L"Unable to retrieve the primary group of the default user Administrators "
                      L"from \\\\FS1",
                      L"The default primary group is set to \"domain users\""))
      << output;

  // No account known on the target.
  ResetSdTranslator();
  ASSERT_TRUE(InitSecurityTranslation(Resolve(L"C:\\src"), Resolve(L"\\\\FS2\\plain", false),
                                      SecurityMode::Copy, false));
  EXPECT_EQ(t().defaultOwner.ToString(), L"S-1-5-32-544");
  EXPECT_EQ(t().defaultGroup.ToString(), Rid(kFs2, 513));
  EXPECT_EQ(Count(world_.TakeOutput(), L"BUILTIN\\administrators can be used"), 1u);
}

TEST_F(TranslatorInitTest, PrimaryGroupFallsBackToDomainUsers) {
  Settings().copyOwner = 1;
  // A domain without a controller.
  Server target = Resolve(L"\\\\FS2\\plain");
  target.userName = L"ISLAND\\hermit";
  ASSERT_TRUE(InitSecurityTranslation(Resolve(L"C:\\src"), target, SecurityMode::Copy, false));
  EXPECT_EQ(t().defaultOwner.ToString(), Rid(kIsland, 1000));
  EXPECT_EQ(t().defaultGroup.ToString(), Rid(kIsland, 513));
  std::wstring output = world_.TakeOutput();
  EXPECT_TRUE(InOrder(
      output, L"Unable to retrieve the PDC of the domain ISLAND nearby \\\\FS2, error : 2453",
      L"The default primary group is set to \"domain users\""))
      << output;

  // An account that is no user has no primary group to read.
  ResetSdTranslator();
  target.userName = L"CORP\\Sales Team";
  ASSERT_TRUE(InitSecurityTranslation(Resolve(L"C:\\src"), target, SecurityMode::Copy, false));
  EXPECT_EQ(t().defaultGroup.ToString(), Rid(kCorp, 513));
  output = world_.TakeOutput();
  EXPECT_TRUE(Holds(output,
                    L"Unable to retrieve the primary group of the default user Sales Team from "
                    L"\\\\DC1"))
      << output;
  EXPECT_TRUE(Holds(output, L"2221")) << output;

  // An account the target cannot find: BUILTIN\Administrators, not a SID
  // that names nobody.
  ResetSdTranslator();
  target.userName = L"CORP\\nobody";
  ASSERT_TRUE(InitSecurityTranslation(Resolve(L"C:\\src"), target, SecurityMode::Copy, false));
  EXPECT_EQ(t().defaultOwner.ToString(), L"S-1-5-32-544");
  EXPECT_TRUE(Holds(world_.TakeOutput(), L"BUILTIN\\administrators can be used"));
}

TEST_F(TranslatorInitTest, NewDomain) {
  Settings().debugSecurity = 1;
  Server source = Resolve(L"C:\\src");
  Server target = Resolve(L"\\\\FS2\\plain");
  world_.TakeOutput();
  EXPECT_FALSE(InitNewDomainTranslation(source, target, L"NOWHERE", SecurityMode::Copy, false));
  EXPECT_FALSE(t().initialized);
  EXPECT_TRUE(InOrder(world_.TakeOutput(), L"Unable to retrieve the PDC of the new Domain NOWHERE",
                      kGiveUp));

  ASSERT_TRUE(InitNewDomainTranslation(source, target, L"NEWDOM", SecurityMode::Copy, false));
  EXPECT_EQ(t().newDomainName, L"NEWDOM");
  EXPECT_EQ(t().newDomainController, L"\\\\DC3");
  EXPECT_EQ(t().newDomainSid.ToString(), Rid(kNewDom, kMachineSidPlaceholderRid));
  EXPECT_TRUE(Holds(world_.TakeOutput(),
                    L"New Domain SID is : " + Rid(kNewDom, kMachineSidPlaceholderRid)));
  SId result;
  ASSERT_TRUE(TranslateSid(&workspace_, SidOf(Rid(kCorp, 1104)), &result, false));
  EXPECT_EQ(result.ToString(), Rid(kNewDom, 3104));

  // Without a new domain nothing is prepared for one.
  ResetSdTranslator();
  ASSERT_TRUE(InitNewDomainTranslation(source, target, std::nullopt, SecurityMode::Copy, false));
  EXPECT_FALSE(t().HasNewDomain());
  world_.TakeOutput();
}

TEST_F(TranslatorInitTest, EveryReasonToStopIsLogged) {
  Server source = Resolve(L"C:\\src");
  Server target = Resolve(L"\\\\FS2\\plain");
  world_.TakeOutput();

  // A local user the target lacks.
  Settings().translateLocalUsers = 1;
  EXPECT_FALSE(
      InitSecurityTranslation(source, Resolve(L"\\\\DC2\\public"), SecurityMode::Copy, false));
  EXPECT_FALSE(t().initialized);
  EXPECT_TRUE(InOrder(world_.TakeOutput(),
                      L"The local user \"svc_backup\" and \"FS1_svc_backup\" do not exist on the "
                      L"\\\\DC2 server !",
                      kGiveUp));
  Settings().translateLocalUsers = 0;

  ResetSdTranslator();
  Settings().sidMapFile = L"C:\\map.txt";
  EXPECT_FALSE(InitSecurityTranslation(source, target, SecurityMode::Copy, false));
  EXPECT_TRUE(
      InOrder(world_.TakeOutput(), L"Unable to load the sid map file C:\\map.txt", kGiveUp));
  Settings().sidMapFile.clear();

  ResetSdTranslator();
  Server gone;
  gone.name = L"\\\\GONE";
  EXPECT_FALSE(InitSecurityTranslation(source, gone, SecurityMode::Copy, false));
  EXPECT_TRUE(InOrder(world_.TakeOutput(),
                      L"Unable to get the local target server sid from \\\\GONE", kGiveUp));
  ResetSdTranslator();
  EXPECT_FALSE(InitSecurityTranslation(gone, target, SecurityMode::Copy, false));
  EXPECT_TRUE(InOrder(world_.TakeOutput(),
                      L"Unable to get the local source server sid from \\\\GONE", kGiveUp));
  EXPECT_FALSE(t().initialized);
}

TEST_F(TranslatorInitTest, GivenSourceSidAndBackupOfDescriptors) {
  Settings().debugSecurity = 1;
  Settings().localSidSource = SidBytesOf(Rid(L"S-1-5-21-1-1-1", kMachineSidPlaceholderRid));
  Settings().localSidSourceSet = 1;
  Settings().backupSD = 1;  // takes owners and SACLs along
  Server source = Resolve(L"C:\\src");
  world_.TakeOutput();
  ASSERT_TRUE(InitSecurityTranslation(source, source, SecurityMode::Force, false));
  EXPECT_EQ(t().sourceMachineSid.ToString(), Rid(L"S-1-5-21-1-1-1", kMachineSidPlaceholderRid));
  EXPECT_TRUE(Holds(world_.TakeOutput(), L"Given source machine SID : " +
                                             Rid(L"S-1-5-21-1-1-1", kMachineSidPlaceholderRid)));
  EXPECT_TRUE(t().copyOwner && t().copyAudit);
}

}  // namespace
}  // namespace tarvik
