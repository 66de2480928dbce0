// DirCmp: the scanner with a target tree. For every source directory on the
// walk stack it keeps a TargetDir with the entries of the corresponding
// target directory, matches each source file and sub-directory with its
// target counterpart by lower-cased name, classifies the pair, and reports
// the outcome through the virtual operations 30 to 45. Its own versions of
// those operations log a difference report; the copy engine overrides them
// to create, copy, rename and purge.
//
// The target maps are filled by the derived class in OnEnterTargetDirectory
// (DirCmp alone reads no target directory: every source object then looks
// missing, unless a test or the engine stored the target entries).
#ifndef TARVIK_SCAN_DIR_CMP_H_
#define TARVIK_SCAN_DIR_CMP_H_

#include <cstdint>
#include <memory>
#include <string>
#include <string_view>

#include "scan/dir_scan.h"

namespace tarvik {

// The last-write time a target file carries while it is being copied; a
// target file that still has it was left by a failed copy. 100-ns units since
// 1601-01-01: the instant 1970-02-24 19:01:00 UTC.
constexpr int64_t recoveryMarkTime = 0x019DDCED2CE3FE00;

// Dates closer than this (100-ns units: one second) are the same age.
constexpr int64_t kTimeTolerance = 10000000;

// Results of CompareTimes.
enum TimeComparison : int {
  kSourceNewer = 0,
  kSourceOlder = 1,
  kSameAge = 2,
  kRecover = 3,
};

class DirCmp : public DirScan {
 public:
  DirCmp();
  ~DirCmp() override;

  // --- Overrides of DirScan ---
  const std::wstring* GetTargetRoot() const override;
  const std::wstring* GetTargetRootLong() const override;
  const std::wstring* GetTargetPath() const override;
  const std::wstring* GetTargetPathLong() const override;
  TargetDir* GetTargetDir() override;
  DirLevel* GetLevel() override;
  int OnFile() override;
  int OnDirectory() override;
  int OnDirectoryLink(FindData* target_entry) override;
  int EnterDirectory(int root) override;
  int LeaveDirectory() override;
  void PrintStatistics() override;
  void DetachLevels() override;
  PoolLock* GetPool() override;

  // --- Virtual operations added, in their fixed order ---
  // 30: at the end of EnterDirectory; the derived class lists the target
  // directory into the maps here.
  virtual int OnEnterTargetDirectory();
  // 31
  virtual int OnLeaveTargetDirectory();
  // 32: the entry of the created target directory, or null (not created).
  virtual std::unique_ptr<FindData> OnTargetDirectoryMissing();
  // 33: source directory newer, and always for the top of a walk.
  virtual void OnDirectoryNewer();
  // 34
  virtual void OnDirectorySameAge();
  // 35: name is the source name as compared (NameKey with /nocase).
  virtual void OnDirectoryCaseDiffers(const std::wstring& name);
  // 36
  virtual void OnDirectoryOlder();
  // 37-41: the current entry is the source file, target its counterpart.
  virtual void OnFileSameDate(FindData& target);
  virtual void OnFileCaseDiffers(FindData& target);
  virtual void OnFileNewer(FindData& target);
  virtual int OnTargetFileMissing();
  virtual void OnFileOlder(FindData& target);
  // 42: the target object of a source directory is not a directory.
  virtual int OnShouldBeDirectory();
  // 43: the target object of a source file is a directory.
  virtual int OnShouldBeFile(FindData& target);
  // 44, 45: the copy engine's DirRefs; null here. QueueDirRef's result is
  // stored in the TargetDir being pushed.
  virtual DirRef* CreateDirRef(const std::wstring& target_path, const FindData* entry,
                               DirRef* parent);
  virtual DirRef* QueueDirRef(const std::wstring& target_path, const FindData* entry,
                              DirRef* parent);

  // --- Other operations ---
  // Stores the target root (display and long form, both ending with '\'),
  // checks that its server and share answer, and creates every missing
  // intermediate directory above it (not the target itself). A null path
  // only marks the roots as set. Reports its failure and returns false.
  bool PrepareTargetRoot(const std::wstring* path);
  bool PrepareTargetRoot(const std::wstring& path) { return PrepareTargetRoot(&path); }

  // Target last-write time against the source's, with the one-second
  // tolerance and the recovery mark.
  static int CompareTimes(const FindData& source, const FindData& target);
  // The same with the current entry as the source.
  int CompareTimes(const FindData& target) const;

  // target path := target root + relative path + name (relative path and
  // name lower-cased when lower_case), long form likewise.
  void SetTargetEntryPath(std::wstring_view name, bool lower_case);
  // Appends a non-empty name and '\' to the relative path, then target path
  // := target root + relative path (and long form).
  void AppendRelativePath(std::wstring_view name);

  const std::wstring& target_root() const { return target_root_; }
  const std::wstring& target_root_long() const { return target_root_long_; }
  const std::wstring& target_path() const { return target_path_; }
  const std::wstring& target_path_long() const { return target_path_long_; }
  uint32_t same_age_count() const { return same_age_count_; }
  uint32_t source_older_count() const { return source_older_count_; }
  uint32_t source_newer_count() const { return source_newer_count_; }
  uint32_t recovery_count() const { return recovery_count_; }
  uint32_t mismatched_dirs() const { return mismatched_dirs_; }
  uint32_t mismatched_files() const { return mismatched_files_; }

  // Zeroes the comparison counters.
  void ResetComparisonCounters();
  // DirScan::ResetScan and the comparison counters. (It hides the scanner's
  // version: the engine calls it on its own type.)
  void ResetScan();

 protected:
  // target path := target root + text, long form likewise, 200-character rule.
  void BuildTargetPath(std::wstring_view text);
  // Compares the source name (NameKey with /nocase, else the long name) with
  // the target name over the length of the source NameKey.
  bool NamesDifferInCase(const FindData& source, std::wstring_view target_name) const;

  uint32_t same_age_count_ = 0;
  uint32_t source_older_count_ = 0;
  uint32_t source_newer_count_ = 0;
  uint32_t recovery_count_ = 0;
  uint32_t mismatched_dirs_ = 0;
  uint32_t mismatched_files_ = 0;
  std::wstring target_root_;
  std::wstring target_root_long_;
  std::wstring target_path_;
  std::wstring target_path_long_;

 private:
  // The steps of EnterDirectory: the top of a walk (the run's root, or a
  // handed-over directory), a descended directory, a directory missing on
  // the target, and the common end.
  int EnterRoot(TargetDir& state, bool run_root);
  int EnterDescended(TargetDir& state);
  int EnterMissing(TargetDir& state);
  int FinishEnter(TargetDir& state);
  int EnterTargetDirectory(TargetDir& state);
  void CompareRootName(const TargetDir& state);
  void ReportFile(FindData& target);
  std::wstring SourceNameAsCompared(const FindData& source) const;

  // The intermediate directories above the target root: where the part of
  // the long form that exists ends (at its final '\' when the target itself
  // exists, at the volume part's end when nothing below it does), then the
  // creation of the missing ones after it.
  std::ptrdiff_t FindExistingTargetPart();
  void CreateMissingAncestors(std::ptrdiff_t existing_end);
  // Refuses a target that is the source, lies inside it, or holds it.
  void RefuseOverlappingRoots();
};

}  // namespace tarvik

#endif  // TARVIK_SCAN_DIR_CMP_H_
