#include "copy/copy_counters.h"

#include <algorithm>

namespace tarvik {

void CopyCounters::Add(const CopyCounters& other) {
  directoriesCreated += other.directoriesCreated;
  filesCopied += other.filesCopied;
  directoriesRenamed += other.directoriesRenamed;
  filesRenamed += other.filesRenamed;
  directoryCreationsFailed += other.directoryCreationsFailed;
  fileCopiesFailed += other.fileCopiesFailed;
  compressedFiles += other.compressedFiles;
  compressedDirectories += other.compressedDirectories;
  securitySettingsFailed += other.securitySettingsFailed;
  securitySettingsDone += other.securitySettingsDone;
  securityDescriptorsChecked += other.securityDescriptorsChecked;
  purgedDirectories += other.purgedDirectories;
  purgedFiles += other.purgedFiles;
  purgedDirectoriesFailed += other.purgedDirectoriesFailed;
  purgedFilesFailed += other.purgedFilesFailed;
  directoryLinks += other.directoryLinks;
  fileLinks += other.fileLinks;
  directoryLinksFailed += other.directoryLinksFailed;
  fileLinksFailed += other.fileLinksFailed;
  contentsChecked += other.contentsChecked;
  contentMismatches += other.contentMismatches;
  md5Checked += other.md5Checked;
  md5Mismatches += other.md5Mismatches;
  deletedFiles += other.deletedFiles;
  deletedFilesFailed += other.deletedFilesFailed;
  skippedContentCopies += other.skippedContentCopies;
  bytesCopied += other.bytesCopied;
  copyTime += other.copyTime;
  deleteTime += other.deleteTime;
  copyCount += other.copyCount;
  deleteCount += other.deleteCount;
}

void ScanCounters::Add(const ScanCounters& other) {
  sameAge += other.sameAge;
  sourceOlder += other.sourceOlder;
  sourceNewer += other.sourceNewer;
  filesRecovered += other.filesRecovered;
  filesFound += other.filesFound;
  directoriesFound += other.directoriesFound;
  deepestLevel = std::max(deepestLevel, other.deepestLevel);
  findLoops += other.findLoops;
  objectsSorted += other.objectsSorted;
  sortTime += other.sortTime;
  getInfoCalls += other.getInfoCalls;
  directoryTimeErrors += other.directoryTimeErrors;
  mismatchedFiles += other.mismatchedFiles;
  mismatchedDirectories += other.mismatchedDirectories;
  directoryReadsFailed += other.directoryReadsFailed;
  findTime += other.findTime;
  findCount += other.findCount;
}

}  // namespace tarvik
