#include "driver/usage.h"

#include "log/log.h"
#include "settings/copy_settings.h"

namespace tarvik {

int PrintUsage(const VersionInfo& version) {
  LogText(L"\n Copies files and directories to and from NTFS partition with security intact.\n");
  LogText(L" This tool requires that you have \"Backup and Restore files\" User Rights.\n");
  LogText(L" The user account must also be a member of administrators or account operators\n");
  LogText(L" on both the source and destination computers.\n");
  LogText(L"\nUsage: %s%s srcdir destdir [name [name]...]\n", version.internalName, L"64");
  LogText(L"\n       Wildcards can be used in the name argument(s).\n");
  LogText(L" \nThe following options are available:\n");
  LogText(L"\n  Security switches:\n");
  LogText(L"   /nosec  Disable NT security properties replication.\n");
  LogText(L"   /secfix Fix the NT security properties on existing destination files\n");
  LogText(L"           or directories.\n");
  LogText(L"   /secforce\n");
  LogText(L"           forces tarvik to overwrite, instead of merge, security information\n");
  LogText(L"           when destination object already exists\n");
  LogText(L"   /o      Copy owner security information.\n");
  LogText(L"   /a      Copy auditing information.\n");
  LogText(L"   /dac    Copy Dynamic Access Control (DAC) information\n");
  LogText(L"           /a and /dac options require that you have the \"Manage Auditing\"\n");
  LogText(L"           User Right on both the source and destination computers.\n");
  LogText(L"   /lg     Translate local groups access security entries.\n");
  LogText(L"   /lu     Translate local users access security entries.\n");
  LogText(L"   /i      Ignores access security entries with a local account identifier\n");
  LogText(L"           in case of the source computer is not a Domain controler.\n");
  LogText(L"   /sd     Do NOT copy the file content if any error occurred on the security\n");
  LogText(L"           descriptor setting.\n");
  LogText(L"   /sidmapfile <filename>\n");
  LogText(
      L"           Specified file contains mapping records that will be used for SID "
      L"translation\n");
  LogText(L"           for more details on record format see the release note file tarvik.txt.\n");
  LogText(L"   /hda <account>\n");
  LogText(
      L"           Activate homedir migration mode. In that mode security information for any \n");
  LogText(
      L"           containers or files are derived from the target dir if it exists or from \n");
  LogText(
      L"           target parent dir. <account> is considered as the creator owner of any "
      L"objects\n");
  LogText(L"   /noprivchecks\n");
  LogText(
      L"           don't check for privilege, strange behavior can be encountered if needed \n");
  LogText(L"           privilege are not owned by the current user\n");
  LogText(L"   /nd:domain_name\n");
  LogText(L"           Translate SD using new domain domain_name instead of original\n");
  LogText(L"           domain.\n");
  LogText(L"   /preserveSIDh\n");
  LogText(L"           Preserve  SID Historical. By default SID in previous domain are\n");
  LogText(L"           replaced by corresponding SID in current valid domain.\n");
  LogText(L"   /backupSD\n");
  LogText(L"           Backup all security properties of files and subdirectories\n");
  LogText(L"           (if /s switch specified) from srcdir to destdir including owner,\n");
  LogText(L"           access control list and audit information.\n");
  LogText(L"           The files data are not copied.\n");
  LogText(L"           Extra files and subdirectories are purged in the destdir tree.\n");
  LogText(L"   /restoreSD\n");
  LogText(L"           Restore all security properties wihtout copying any file content\n");
  LogText(L"           from srcdir to existing file or subdirectories (if /s switch\n");
  LogText(L"           specified) of destdir.\n");
  LogText(L"\n   Remark: The /backupSD and /restoreSD switches disable usage of the /nosec,\n");
  LogText(L"           /o, /a, /lg and /i options. The /create, /purge, /nocase, /l and /d\n");
  LogText(L"           switches are also disabled.\n");
  LogText(L"\n  Directory switches:\n");
  LogText(L"   /xf file [file ...]\n");
  LogText(L"           Excludes files with the specified names, paths, or wildcard\n");
  LogText(L"           characters\n");
  LogText(L"   /xd dir [dir ...]\n");
  LogText(L"           Excludes directories with the specified names, paths, or wildcard\n");
  LogText(L"           characters.\n");
  LogText(L"   /xjd    Exclude mount point and DFS link directories.\n");
  LogText(L"   /s      Copy all files in the subdirectories.\n");
  LogText(L"   /stream Copy all datastream of files and directories.\n");
  LogText(L"   /lev:n  Specify the level of directory depth.\n");
  LogText(L"   /create Create a directory tree containing zero-length files.\n");
  LogText(L"   /purge  Remove extra files and directories from the destination tree.\n");
  LogText(L"           The directories or files including denied rights for delete for\n");
  LogText(L"           the user of TARVIK are not removed.\n");
  LogText(L"   /chunk  Allow usage of SMB2 copy chunk feature. This only works when\n");
  LogText(L"           source and target tree are localized on the same server.\n");
  LogText(L"   /nocase Create files and directories with lower case names.\n");
  LogText(L"   /sdd    Synchronize target dir dates with source dir dates.\n");
  LogText(L"   /ignorestubra\n");
  LogText(L"           Remove special STUBRA ACE, reset offline attribut when file content\n");
  LogText(L"           is fully rehydrated.\n");
  LogText(L"\n  File selection switches:\n");
  LogText(L"   /d      Copy only the source files with its last modification time is greater\n");
  LogText(L"           than the destination file's modification time.\n");
  LogText(L"   /de     Copy the source file when its last modification time is not equal\n");
  LogText(
      L"           to the destination file's modification time or when files size are "
      L"differents.\n");
  LogText(L"   /cm <bin|md5>\n");
  LogText(L"           bin : Content of source and target file are compared after the copy.\n");
  LogText(L"           In evalution mode contents are checked if other criterions are verified.\n");
  LogText(L"           Activation of this mode could reduce performance.\n");
  LogText(L"           md5 : a MD5 signature of the source file is computed during the copy.\n");
  LogText(L"           The target file is read after the copy and a MD5 signature is computed.\n");
  LogText(L"           Both MD5 signatures are then compared.\n");
  LogText(L"           Activation of this mode could reduce performance.\n");
  LogText(L"   /ondiskfull <abort|retry|{wait[,{hwm}]}>\n");
  LogText(L"           behavior on disk full error :\n");
  LogText(
      L"           abort         : copy is aborted, process is terminated, this is the default "
      L"behavior.\n");
  LogText(L"           retry         : copy is retried in accordance with retry policies .\n");
  LogText(L"           wait[,{hwm}]  : copy is restarted when enough space becomes available.\n");
  LogText(
      L"                           hwm is the high water mark in percentage that drives the wait "
      L"state\n");
  LogText(L"                           default value for hwm is 100\n");
  LogText(
      L"   /nodf   Filtering pattern are not applied to directories. Only files are filtered\n");
  LogText(L"   /l      List only the files that should be copied. Compare also\n");
  LogText(L"           the NT security properties if /secfix switch is set.\n");
  LogText(L"           The security switches then specify the properties to compare.\n");
  LogText(L"           Any differences are printed on the screen.\n");
  LogText(L"\n  Execution switches:\n");
  LogText(L"   /compress { ignore | forcefile | forcedir | forceall}\n");
  LogText(L"           Compress mode, allow to ignore or force compression on dir and file \n");
  LogText(L"           Compress attribute is set only when target object is created\n");
  LogText(L"   /th nb  Number of working thread, by default %d working threads are created.\n",
          kDefaultThreadCount);
  LogText(L"           Working thread count must be in the range 1 to %d.\n", kMaxThreadCount);
  LogText(L"   /trfwindow <window size in MB>\n");
  LogText(L"           Maximun size of the sum of all simultaneous transfers\n");
  LogText(L"   /z      Restartable mode. Restartable mode is no more supported.\n");
  LogText(L"           Usage of this switch doesn't provide any effect.\n");
  LogText(L"   /c      Continue after the number of retries.\n");
  LogText(L"   /r:n    Specify the number of retries, %d by default.\n", kDefaultRetryCount);
  LogText(L"   /w:n    Specify the time in seconds to wait between two retries,\n");
  LogText(L"           %d by default.\n", kDefaultRetryWaitSeconds);
  LogText(L"\n  Log switches:\n");
  LogText(L"   /log:path   Set log filename to the path. Erase the existing file.\n");
  LogText(L"   /log+:path  Set log filename to the path. Append to the existing file.\n");
  LogText(L"   /u          logfile are filled up with unicode character set.\n");
  LogText(L"   /tee        output to console window, as well as the log file.\n");
  LogText(L"\n  Print switches:\n");
  LogText(L"   /f      Prints the full path of the files.\n");
  LogText(L"   /q      Quiet mode. Do not print any files.\n");
  LogText(L"\n Note:\n");
  LogText(L"   By default the \"encrypt\" attribute is not replicated to\n");
  LogText(L"   the destination files or directories.\n");
  LogText(L"\n Exit code encoding:\n");
  LogText(L"     0 : no error.\n");
  LogText(L"     1 : mismatch error, a directory was not created because a file\n");
  LogText(L"         with the same name already exists.\n");
  LogText(L"     2 : security error, one or more security descriptors were not applied.\n");
  LogText(L"     4 : copy of data error, one or more files were not duplicated.\n");
  LogText(L"     8 : critical error, no files and directories have been copied.\n");
  LogText(L"\n\n");
  StopLogSystem();
  return kExitCritical;
}

}  // namespace tarvik
