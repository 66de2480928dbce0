// DirScan: the tree scanner and the base of the engine hierarchy
// (DirScan <- DirCmp <- DirCopy <- DirCopyThread). One object walks one
// source tree, or one handed-over sub-tree, depth-first from its root: it
// reads each directory (sorted unless /nosort), drops "." and "..", applies
// the name filters, and reports every surviving file and sub-directory to
// the derived classes through the virtual operations below. Where a derived
// class offers workers, files and whole sub-directories are handed to them.
//
// The virtual operations are the contract between the walk and the engine;
// their order is fixed (0 to 29 here, 30 to 45 in DirCmp). An object is used
// by one thread at a time.
#ifndef TARVIK_SCAN_DIR_SCAN_H_
#define TARVIK_SCAN_DIR_SCAN_H_

#include <atomic>
#include <cstdint>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "platform/os.h"
#include "scan/dir_level.h"
#include "scan/dir_scan_exception.h"
#include "scan/find_data.h"
#include "scan/name_filters.h"
#include "scan/target_dir.h"
#include "util/format.h"

namespace tarvik {

// The copy engine's lock object on the pool semaphore (GetPool).
class PoolLock;

// The current-process pseudo-handle (GetProcessHandle).
inline HANDLE const kCurrentProcessHandle = reinterpret_cast<HANDLE>(static_cast<intptr_t>(-1));

// Results of ScanNext.
enum ScanResult : int { kDirectoryDone = 0, kFileFound = 1, kSubDirQueued = 2 };

class DirScan : public NameFilters {
 public:
  DirScan();
  DirScan(const DirScan&) = delete;
  DirScan& operator=(const DirScan&) = delete;

  // --- Virtual operations, in their fixed order ---
  // 0: releases the levels and target states.
  virtual ~DirScan();
  // 1-4: the target roots and paths; null without a target.
  virtual const std::wstring* GetTargetRoot() const;
  virtual const std::wstring* GetTargetRootLong() const;
  virtual const std::wstring* GetTargetPath() const;
  virtual const std::wstring* GetTargetPathLong() const;
  // 5: the top target state; 6: the top level. Null in a plain scanner.
  virtual TargetDir* GetTargetDir();
  virtual DirLevel* GetLevel();
  // 7
  virtual uint32_t GetThreadNumber() const;
  // 8: a file (the current entry) is to be handled by this thread.
  virtual int OnFile();
  // 9: a sub-directory (the current entry) was queued in this thread.
  virtual int OnDirectory();
  // 10: a sub-directory that is a symbolic link; target_entry is the target
  // entry of the same name (freed after the call) or null.
  virtual int OnDirectoryLink(FindData* target_entry);
  // 11: before reading the root (root = 1) and each descended directory
  // (0); returning 0 means the directory is not read.
  virtual int EnterDirectory(int root);
  // 12: after a directory and everything below it.
  virtual int LeaveDirectory();
  // 13: once, at the end of FindSubDir.
  virtual void PrintStatistics();
  // 14: after reading a directory whose target file map is not empty; the
  // walk empties the map afterwards.
  virtual int OnTargetFilesLeft(TargetDir::EntryMap& files);
  // 15: before LeaveDirectory.
  virtual int OnDirectoryScanned();
  // 16: with /l, whether files may still go to file workers.
  virtual int ListingUsesWorkers();
  // 17-19: a worker that takes a file, a sub-directory or a purge; null when
  // none is free.
  virtual DirScan* GetFileWorker();
  virtual DirScan* GetTreeWorker();
  virtual DirScan* GetPurgeWorker();
  // 20: called on the worker from GetTreeWorker. announced is 1 when the
  // scanner's relative path already names the sub-directory.
  virtual void TakeDirectory(DirScan* scanner, std::unique_ptr<FindData> entry,
                             std::unique_ptr<FindData> target_entry, int announced);
  // 21: called on the worker from GetFileWorker.
  virtual void TakeFile(DirScan* scanner, std::unique_ptr<FindData> entry,
                        std::unique_ptr<FindData> target_entry);
  // 22
  virtual HANDLE GetProcessHandle();
  // 23, 24: the copy engine's reference counts; nothing here.
  virtual void AttachDirRef(DirRef** out, DirRef* dir_ref, PoolLock* lock);
  virtual void ReleaseDirRef(DirRef** place);
  // 25: frees the whole level stack and target-state stack.
  virtual void ReleaseLevels();
  // 26: forgets both stacks without freeing them, after another object took
  // them over (the memory then belongs to that object).
  virtual void DetachLevels();
  // 27: called on a worker after 20, 21 or 28.
  virtual void Wake();
  // 28
  virtual void TakePurge(DirScan* scanner);
  // 29
  virtual PoolLock* GetPool();

  // --- The walk ---
  // Walks the tree from the roots. 0 when it ended normally, the kind of the
  // DirScanException that ended it, kNoRootSet (9) without roots.
  int FindSubDir();
  // The next entry of the top level: kFileFound, kSubDirQueued (both in the
  // current entry) or kDirectoryDone.
  int ScanNext();
  // The next raw entry of the top level into the current entry.
  bool ReadNextEntry();
  // Pops the next queued sub-directory of the top level and pushes a level.
  bool NextSubDir();

  // Fills find_data for one path (FindFirstFileW, else the handle queries).
  // False when the object does not exist or the query failed (reported);
  // the last error is then the failing call's. Kinds above 7 propagate.
  bool GetFileInfo(const std::wstring& path, WIN32_FIND_DATAW* find_data, int open_reparse_point);
  bool GetFileInfo(const std::wstring& path, FindRecord* record, int open_reparse_point);
  // Logs a non-empty message with the exception's code; returns its kind.
  int ReportException(const DirScanException& exception);
  // Prepares the object for another walk.
  void ResetScan();

  // --- Roots ---
  // Checks that the source is an existing directory and stores its display
  // and long forms. Reports its failure and returns false.
  bool SetSourceRoot(const std::wstring& path);
  // Whether the roots of the run are set (process-wide): FindSubDir refuses
  // to walk otherwise.
  static bool RootsSet() { return roots_set_.load(std::memory_order_acquire); }
  static void SetRootsSet(bool set) { roots_set_.store(set, std::memory_order_release); }

  // --- The retry budget ---
  // Call right after a failed system call, with its last error still set.
  // Returns when the caller should try again (after the wait), or throws.
  template <typename... Args>
  void RetryOrThrow(std::wstring_view format, const Args&... args) {
    DWORD error = Os::GetLastError();
    RetryOrThrowMessage(error, Format(format, args...));
  }
  // The same decision; 0 instead of the final throw (the caller gives up).
  template <typename... Args>
  int RetryOrGiveUp(std::wstring_view format, const Args&... args) {
    DWORD error = Os::GetLastError();
    return RetryOrGiveUpMessage(error, Format(format, args...));
  }
  // retries left := /r, retried := 0.
  void ResetRetries();
  int32_t retries_left() const { return retries_left_; }
  bool retried() const { return retried_ != 0; }

  // Sets the three times (null = unchanged). *handle may hold an open handle
  // (kept open) or INVALID_HANDLE_VALUE (the path is opened and closed here;
  // *handle is left invalid). A failure is reported and counted, not thrown;
  // kinds above 7 request the abort. False when the times were not set.
  bool SetFileTimes(const std::wstring& path, HANDLE* handle, const FILETIME* creation,
                    const FILETIME* last_access, const FILETIME* last_write);
  bool IsDirectory(const std::wstring& path);

  // --- State the engine reads ---
  const std::wstring& source_root() const { return source_root_; }
  const std::wstring& source_root_long() const { return source_root_long_; }
  const std::wstring& current_path() const { return current_path_; }
  const std::wstring& current_path_long() const { return current_path_long_; }
  const std::wstring& relative_path() const { return relative_path_; }
  FindData* current_entry() const { return current_entry_.get(); }
  int32_t depth() const { return depth_; }
  int32_t deepest_depth() const { return deepest_depth_; }
  int32_t max_depth() const { return max_depth_; }
  void set_max_depth(int32_t depth) { max_depth_ = depth; }
  uint32_t dirs_found() const { return dirs_found_; }
  uint32_t files_found() const { return files_found_; }
  uint32_t directory_listings() const { return directory_listings_; }
  uint32_t information_queries() const { return information_queries_; }
  uint32_t objects_sorted() const { return objects_sorted_; }
  float last_sort_duration() const { return last_sort_duration_; }
  float total_sort_duration() const { return total_sort_duration_; }
  int64_t search_time() const { return search_time_; }
  uint32_t searches_timed() const { return searches_timed_; }
  uint32_t time_setting_failures() const { return time_setting_failures_; }
  // Source directories whose content could not be read (their sub-tree is
  // missing on the target).
  uint32_t directory_reads_failed() const { return directory_reads_failed_; }
  size_t level_count() const { return levels_.size(); }
  size_t target_dir_count() const { return target_dirs_.size(); }

 protected:
  // Throws the abort exception once an abort was requested.
  static void ThrowIfAborted();
  // The scan statistics lines (files and directories found, with /dbg the
  // depth and the sort figures), through LogText.
  void PrintScanStatistics();

  // current path := root + relative path + tail, its long form likewise;
  // the long form replaces the display form from 200 characters on.
  void BuildCurrentPath(std::wstring_view tail = {});
  // Relative path := text; paths rebuilt for the directory.
  void SetRelativePath(std::wstring text);

  // The level stack. PushLevel links the new level to the top.
  DirLevel* PushLevel(std::unique_ptr<DirLevel> level);
  void PopLevel();
  DirLevel* TopLevel() const { return levels_.empty() ? nullptr : levels_.back().get(); }

  // The target-state stack (DirCmp and the copy engine fill it). PushTargetDir
  // does not touch the new state's parent link: the caller sets it.
  TargetDir* PushTargetDir(std::unique_ptr<TargetDir> state);
  std::unique_ptr<TargetDir> PopTargetDir();
  TargetDir* TopTargetDir() const {
    return target_dirs_.empty() ? nullptr : target_dirs_.back().get();
  }

  void RetryOrThrowMessage(DWORD error, std::wstring message);
  int RetryOrGiveUpMessage(DWORD error, std::wstring message);
  // The wait between two tries: /w times ten pauses of 100 ms, each after a
  // test of the abort flag. False when an abort cut it short.
  bool WaitBeforeRetry();

  // The entry being processed (owned; null between entries).
  std::unique_ptr<FindData> current_entry_;
  // Roots end with '\'; see path_forms.h for the forms.
  std::wstring source_root_;
  std::wstring source_root_long_;
  std::wstring current_path_;
  std::wstring current_path_long_;
  // Each component followed by '\'; empty at the root.
  std::wstring relative_path_;
  std::vector<std::unique_ptr<DirLevel>> levels_;
  std::vector<std::unique_ptr<TargetDir>> target_dirs_;
  int32_t depth_ = 0;
  int32_t deepest_depth_ = 0;
  int32_t max_depth_ = 0;  // /lev; 0 = no limit
  uint32_t dirs_found_ = 0;
  uint32_t files_found_ = 0;
  int32_t retries_left_ = 0;
  int32_t retried_ = 0;
  uint32_t directory_listings_ = 0;
  uint32_t information_queries_ = 0;
  float last_sort_duration_ = 0;   // microseconds
  float total_sort_duration_ = 0;  // microseconds
  uint32_t objects_sorted_ = 0;
  int64_t search_time_ = 0;  // performance-counter ticks in the listing calls
  uint32_t searches_timed_ = 0;
  uint32_t time_setting_failures_ = 0;
  uint32_t directory_reads_failed_ = 0;

 private:
  // The steps of the walk.
  void WalkLevels();
  void ThrowIfWalkAborted();
  // Takes queued sub-directories, handing them to tree workers while there
  // are any; true when one was entered here.
  bool DescendIntoNextSubDir();
  void HandOverQueuedSubDir(DirScan* worker);
  void LeaveTopLevel();
  int ProcessEntry();
  int ProcessDirectoryEntry();
  int ProcessFileEntry();
  bool IsExcludedDirectory(const FindData& entry, const wchar_t** suffix);

  // Reading. The searches use the current path (directory + pattern) and go
  // through the retry policy; false when the search has no (more) entries.
  bool ReadUnsorted(DirLevel& level);
  void LoadSorted(DirLevel& level);
  bool StartSearch(DirLevel& level, WIN32_FIND_DATAW* data);
  bool ContinueSearch(DirLevel& level, WIN32_FIND_DATAW* data);
  void SortEntries(DirLevel& level);
  bool Timed() const;

  bool QueryFileInfo(const std::wstring& path, WIN32_FIND_DATAW* find_data, int open_reparse_point);
  bool QueryDirectoryByAttributes(const std::wstring& path, HANDLE file,
                                  WIN32_FIND_DATAW* find_data);

  void SetTimesWithRetries(const std::wstring& path, HANDLE* handle, bool* opened_here,
                           const FILETIME* creation, const FILETIME* last_access,
                           const FILETIME* last_write);
  void OpenForTimeSetting(const std::wstring& path, HANDLE* handle);

  static std::atomic<bool> roots_set_;
};

}  // namespace tarvik

#endif  // TARVIK_SCAN_DIR_SCAN_H_
