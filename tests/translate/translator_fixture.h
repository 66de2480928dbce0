// A fixture for the translation tests: the translation world installed, a
// fresh SID cache, a workspace, and translators set up as the initialisation
// would leave them, with test doubles for the SID map and the local account
// table.
#ifndef TARVIK_TESTS_TRANSLATE_TRANSLATOR_FIXTURE_H_
#define TARVIK_TESTS_TRANSLATE_TRANSLATOR_FIXTURE_H_

#include <gtest/gtest.h>

#include <map>
#include <string>

#include "common/security_workspace.h"
#include "common/sid_cache.h"
#include "settings/copy_settings.h"
#include "support/world_os.h"
#include "translate/sd_translator.h"
#include "translate/translate_world.h"

namespace tarvik {

class FakeSidMap : public SidMapLookup {
 public:
  void Map(const std::wstring& source, const std::wstring& target) {
    entries_[source] = SidMapEntry{SidOf(target), false};
  }
  void Revoke(const std::wstring& source) { entries_[source] = SidMapEntry{SidOf(source), true}; }
  std::optional<SidMapEntry> Find(const SId& source) const override {
    auto it = entries_.find(source.ToString());
    if (it == entries_.end())
      return std::nullopt;
    return it->second;
  }

 private:
  std::map<std::wstring, SidMapEntry> entries_;
};

class FakeRidMap : public RidMapLookup {
 public:
  void Map(uint32_t source, uint32_t target) { rids_[source] = target; }
  std::optional<uint32_t> Lookup(uint32_t source_rid) const override {
    auto it = rids_.find(source_rid);
    if (it == rids_.end())
      return std::nullopt;
    return it->second;
  }

 private:
  std::map<uint32_t, uint32_t> rids_;
};

class TranslatorTest : public ::testing::Test {
 protected:
  TranslatorTest() : world_(TranslateWorld()) {
    ResetSdTranslator();
    previous_cache_ = InstallSidLookupCache(&cache_);
    workspace_.targetPath = L"\\\\FS2\\plain\\file.txt";
  }
  ~TranslatorTest() override {
    InstallSidLookupCache(previous_cache_);
    ResetSdTranslator();
  }

  // FS1 to FS2, two member servers of CORP.
  static SdTranslator BetweenMembers() {
    SdTranslator t;
    t.sourceServer.name = L"\\\\FS1";
    t.targetServer.name = L"\\\\FS2";
    t.sourceMachineSid = DomainSidOf(kFs1);
    t.sourceMachineSidKnown = true;
    t.targetMachineSid = DomainSidOf(kFs2);
    t.targetMachineSidKnown = true;
    t.initialized = true;
    return t;
  }

  // The same with a new domain NEWDOM, whose controller is DC3.
  static SdTranslator IntoNewDomain() {
    SdTranslator t = BetweenMembers();
    t.newDomainName = L"NEWDOM";
    t.newDomainController = L"\\\\DC3";
    t.newDomainSid = DomainSidOf(kNewDom);
    return t;
  }

  // The decimal form of the translation of sid, "revoked S-..." for a
  // revoked result, "dropped" when it cannot be carried over.
  std::wstring Translate(const SdTranslator& t, const std::wstring& sid,
                         bool ignore_local = false) {
    SId result;
    if (!t.TranslateSid(&workspace_, SidOf(sid), &result, ignore_local))
      return L"dropped";
    return result.revoked() ? L"revoked " + result.ToString() : result.ToString();
  }

  WorldOs world_;
  SidCache cache_{1000};
  SidLookupCache* previous_cache_ = nullptr;
  SecurityWorkspace workspace_;
};

// Whether text holds part.
inline bool Holds(const std::wstring& text, const std::wstring& part) {
  return text.find(part) != std::wstring::npos;
}

}  // namespace tarvik

#endif  // TARVIK_TESTS_TRANSLATE_TRANSLATOR_FIXTURE_H_
