// DirCopy: the comparison of DirCmp turned into actions. Each event of the
// comparison (target missing, source newer or older, same date, ...) creates,
// copies or updates the target object instead of only reporting it. A single
// DirCopy walks a whole tree in the calling thread; DirCopyThread runs one
// per worker of the pool.
#ifndef TARVIK_COPY_DIR_COPY_H_
#define TARVIK_COPY_DIR_COPY_H_

#include <array>
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "common/security_workspace.h"
#include "copy/copy_counters.h"
#include "copy/copy_job.h"
#include "copy/stream_list.h"
#include "scan/dir_cmp.h"

namespace tarvik {

// Flag bit of a TargetDir: a copy in this directory has been restarted, so
// later copies refresh the source information first.
constexpr uint32_t kTargetDirRestarted = 0x2;

class DirCopy : public DirCmp {
 public:
  DirCopy();
  ~DirCopy() override;

  // --- Overrides of DirScan and DirCmp ---
  int OnDirectoryLink(FindData* target_entry) override;
  void PrintStatistics() override;
  int ListingUsesWorkers() override;
  void ReleaseLevels() override;
  int OnEnterTargetDirectory() override;
  int OnLeaveTargetDirectory() override;
  int OnTargetFilesLeft(TargetDir::EntryMap& files) override;
  int OnDirectoryScanned() override;
  std::unique_ptr<FindData> OnTargetDirectoryMissing() override;
  void OnDirectoryNewer() override;
  void OnDirectorySameAge() override;
  void OnDirectoryCaseDiffers(const std::wstring& name) override;
  void OnDirectoryOlder() override;
  void OnFileSameDate(FindData& target) override;
  void OnFileCaseDiffers(FindData& target) override;
  void OnFileNewer(FindData& target) override;
  int OnTargetFileMissing() override;
  void OnFileOlder(FindData& target) override;

  // --- Virtual operations added, in their fixed order ---
  // 46-48: the transfer window. A single engine has none.
  virtual void RequestTransfer(uint64_t size);
  virtual void NotifyWaitingForSpace();
  virtual void EndTransfer();
  // 49: "Processing the ... from ... to ..."
  virtual void PrintBanner();
  // 50
  virtual void PrintSidCacheStats();
  // 51: the worker's system thread id; 0 for a single engine.
  virtual DWORD GetThreadId() const;
  // 52: a DirRef of a directory being purged; null for a single engine.
  virtual DirRef* CreatePurgeDirRef(const std::wstring& target_path, const FindData* entry,
                                    DirRef* parent);

  // One TREE task, or the whole run of a single engine: the walk, then the
  // result bits of this engine.
  uint32_t RunEngine();

  // --- The file copy ---
  // One file: message, security, data, attributes, counters.
  bool CopyOneFile(FindData* target, bool is_new);
  // The security of the current target object.
  bool SecurityStep(bool is_directory, bool is_new, bool source_is_reparse_point);
  // The data with restarts, then times and the read-only attribute.
  bool CopyFileData(FindData* target);
  void CreateTargetFile(CopyJob& job);
  void OpenSourceFile(CopyJob& job);
  // The data of one object: the server-side copy while it is on, else
  // the data loop.
  void TransferData(CopyJob& job);
  void CopyDataLoop(CopyJob& job);
  // The data copied by the server itself (/chunk), or by the data loop
  // where the server does not take the request.
  void ChunkCopy(CopyJob& job);
  void CheckCopiedSize(CopyJob& job);
  // The source entry's attributes on the current target.
  bool ApplyAttributes();

  // --- Named streams (with /stream) ---
  // The named streams of the file whose main data the job copied; the
  // job's source is open.
  void CopyFileStreams(CopyJob& main);
  // The named streams of the current directory; true on success.
  bool CopyDirectoryStreams();
  // /cm bin over the named streams of the current directory; true when they
  // are equal.
  bool CompareDirectoryStreams();

  // --- Purge ---
  // A directory handed to a PURGE worker: its files deleted, its
  // sub-directories purged.
  void PurgeHandedDirectory();

  const CopyCounters& counters() const { return counters_; }
  uint32_t result_bits() const { return resultBits_; }

  // --- Content verification ---
  // /cm bin: the current source file against its target, block by block.
  // True when they are equal or there is nothing to compare.
  bool CompareContent();
  // The blocks of one opened object, until it is decided. True when it
  // matched; false with job.done on a mismatch (counted and reported), false
  // without it when a read failed (the caller tries again).
  bool CompareBlocks(CopyJob& job);
  // /cm md5: the target read back and its digest compared with the one the
  // data loop computed from the source. The result does not change the
  // copy's: a mismatch is counted and reported.
  bool CheckMd5(CopyJob& job);
  // Opens the target for reading as OpenSourceFile opens the source; false
  // when the target does not exist.
  bool OpenTargetFile(CopyJob& job);

 private:
  enum class BlockRead { kData, kEnd, kFailed };
  // The comparison of one object with its retries, then the success line.
  bool CompareObject(CopyJob& job, uint64_t size);
  // /cm bin over the named streams of the object whose source the job
  // opened; true when every stream is equal.
  bool CompareStreams(CopyJob& main);
  // The stream list of an open object into the stream-information buffer;
  // a reader over it.
  StreamListReader QueryStreams(HANDLE handle, const std::wstring& path);
  // Opens a named stream of the source and takes its size, times and
  // attributes into the job.
  void ReadStreamInformation(CopyJob& job);
  // A stream's job: the paths of the object followed by the stream's name.
  static void FillStreamJob(CopyJob& job, const std::wstring& source_path,
                            const std::wstring& target_path, const NamedStream& stream);
  // The named streams of an opened object; a stream whose copy failed is
  // removed when remove_failed_stream is set.
  void CopyStreamsOf(HANDLE object, const std::wstring& source_path,
                     const std::wstring& target_path, bool remove_failed_stream);
  // A mismatch found by CompareBlocks: decided, counted and reported.
  bool ContentMismatch(CopyJob& job, const wchar_t* what);
  // One positioned read under the read-error policy of the data loop.
  BlockRead ReadBlock(CopyJob& job, bool target, uint64_t offset, uint8_t* buffer, DWORD size,
                      DWORD* read);
  // The target read into job.targetDigest; false when a read failed.
  bool DigestTarget(CopyJob& job);
  // The server-side copy's steps: the source's resume key put at the head of
  // the request (false: the data loop copies this object); one request of
  // count chunks sent until the server takes it (false: the copy stops
  // here); the copied source read into job.sourceDigest (false when a read
  // failed).
  bool TakeResumeKey(CopyJob& job, uint8_t* request);
  bool SendChunks(CopyJob& job, ULONG count, DWORD* written);
  bool DigestSource(CopyJob& job);
  // Opens path for reading into *handle; false when missing_allowed and the
  // object does not exist.
  bool OpenForReading(const std::wstring& path, HANDLE* handle, bool missing_allowed);

 protected:
  // Zeroes the copy counters and the result bits.
  void ResetCopyCounters();
  // The source directory's entry: the own entry of the top level.
  const FindData* SourceDirectoryEntry() const;
  // The target directory's entry: the own entry of the top target state.
  const FindData* TargetDirectoryEntry() const;
  // Waits for the given milliseconds in steps that notice an abort.
  static void SleepUnlessAborted(DWORD milliseconds);
  // On a full disk in wait mode: tells the arbiter and warns on the first
  // call of a wait (*waiting records it), then pauses for two seconds.
  void WaitForSpace(bool* waiting, const std::wstring& message);
  // On a full disk in abort mode: ends the whole run.
  [[noreturn]] static void AbortOnFullDisk(const std::wstring& path);
  bool Timed() const;
  int64_t Now() const;
  // Whether the comparison events will leave the current source file and
  // its target as they are (a /d or /de run meeting an unchanged file).
  bool LeavesCurrentFileAlone() const;
  // Lists the current target directory into the state's maps, or with
  // into_lists into its two entry lists (a purged directory).
  void ListTargetDirectory(TargetDir& state, bool into_lists);
  // Adds a timed listing call to the search time.
  void CountSearch(int64_t start);
  // Asks for compression (or its removal) on an open target; counts a
  // successful compression when counter is given and count is set.
  void RequestCompression(HANDLE handle, WORD format, const std::wstring& path, uint32_t* counter,
                          bool count);

  CopyCounters counters_;
  uint32_t resultBits_ = 0;
  std::array<std::unique_ptr<IoSlot>, 2> slots_;
  std::unique_ptr<uint8_t[]> streamInfo_;  // with /stream only, made on first use
  uint32_t streamInfoSize_ = 0;

 private:
  // The parts of the file copy.
  bool CopyFileDataUnguarded(FindData* target, CopyJob& job);
  void CopyWithRestarts(CopyJob& job, const FindData* target, bool clear_read_only);
  void CheckMd5IfDigested(CopyJob& job);
  void ClearTargetReadOnly(const FindData& target);
  void FillJob(CopyJob& job);
  void RefreshSource(CopyJob& job);
  void CutTarget(CopyJob& job);
  // Removes the partial target of a failed copy: a whole file (announced
  // first) or one stream of a directory, so that no partial copy passes
  // for a complete one.
  bool DeleteAfterFailure(const std::wstring& path, bool whole_file);
  void CloseJobHandles(CopyJob& job);
  void OpenTargetForCopy(CopyJob& job, DWORD disposition, DWORD flags);
  void StampRecoveryMark(CopyJob& job, DWORD flags);
  bool ReserveSpace(CopyJob& job);
  bool ReserveStep(CopyJob& job, bool end_of_file);
  void SetFileCompression(CopyJob& job);
  bool WriteBlock(CopyJob& job, const uint8_t* data, DWORD size);
  // The policy for a write that failed with the last error: a full disk
  // aborts or waits (true: write again), a network error ends the copy,
  // anything else takes the retry budget (true: write again).
  bool OnWriteFailure(CopyJob& job, bool* waiting_for_space, const wchar_t* format,
                      const std::wstring& subject);
  bool AttributeOnlyUpdate(FindData& target, bool symlink_tag_only);
  // A copy decided by a comparison event (the content check will follow it).
  bool CopyDecided(FindData* target, bool is_new);

  // The purge of extra target objects.
  bool PurgeAllowed() const;
  bool SourceReadFailed() const;
  // The relative path as the target spells it (lower-cased with /nocase).
  std::wstring TargetRelativePath() const;
  // Deletes the extra file at the target path; filter_name is tested against
  // /xf unless the file's directory is itself being removed.
  bool DeleteExtraFile(FindData& entry, std::wstring_view filter_name, bool in_removed_directory);
  bool DeleteListedFiles(TargetDir::EntryList& files);
  TargetDir& PushPurgeDirectory(std::unique_ptr<FindData> entry);
  void PopPurgeDirectory();
  void MarkExcludedFromPurge(TargetDir& state);
  void EmptyPurgedDirectory(TargetDir& state);
  void PurgeListedTree();
  // The case renames: false when the rename failed.
  bool RenameTarget(const std::wstring& old_path, const std::wstring& new_path,
                    const wchar_t* failure_format);

  // Directories.
  void CreateTargetDirectory();
  void CompressNewDirectory(const FindData& created);

  // Symbolic links.
  bool CopyFileLink();
  bool CopyDirectoryLink(FindData* target_entry);
  void ReadLinkData(std::vector<uint8_t>* buffer, DWORD* length, bool directory);
  void RemoveFailedLink();

  // The security step's buffers, made on first use.
  SecurityWorkspace& Workspace();
  // A security step that ended in failure: checked, failed, the result bit.
  void CountSecurityFailure();
  std::unique_ptr<SecurityWorkspace> securityWorkspace_;
  // Set by the security step when it created the new target file itself.
  bool standInCreated_ = false;
  // False when the last file copy left the target alone (/create).
  bool targetExists_ = true;
};

}  // namespace tarvik

#endif  // TARVIK_COPY_DIR_COPY_H_
