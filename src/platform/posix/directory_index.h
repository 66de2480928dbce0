// The names of host directories, kept to answer case-insensitive look-ups.
//
// Windows names ignore the case of A-Z; host names do not, so a name that is
// not found as written must be looked for through its whole directory. Done
// for every new file, that look costs a listing of the directory each time,
// and a directory of n new files costs n listings. The index keeps the names
// of a directory once listed, and follows what this process does to it:
//
// - a name being created is seen from the start of its creation (so that two
//   threads creating "a" and "A" meet as they would on Windows), and stays
//   when the creation succeeds, even while the rest of the listing is out of
//   date, so that a thread that listed the directory before the name existed
//   still meets it;
// - a removal or a rename makes the directory be listed again;
// - a change by anyone else shows in the directory's modification time, read
//   with nanoseconds, which is checked on every look-up while no creation of
//   this process is under way in the directory (a look-up whose own look at
//   the directory predates the index's last one goes by the index). While
//   creations are under way, or were while a listing was read, the index is
//   trusted as it is: a name another program adds in that moment is found
//   only once the directory is quiet again.
//
// Names with characters Windows forbids (shown through the private-use
// mapping) are not in the index's scope: callers list the directory for them.
#ifndef TARVIK_PLATFORM_POSIX_DIRECTORY_INDEX_H_
#define TARVIK_PLATFORM_POSIX_DIRECTORY_INDEX_H_

#include <sys/stat.h>

#include <array>
#include <condition_variable>
#include <cstdint>
#include <mutex>
#include <string>
#include <unordered_map>

namespace tarvik {

class DirectoryIndex {
 public:
  // The name of an entry of directory that equals host_name regardless of
  // the case of A-Z (the first one listed, when the host holds several).
  // False when there is none or the directory cannot be read.
  // directory_info, when given, is the directory's stat taken a moment ago.
  bool FindNoCase(const std::string& directory, const std::string& host_name, std::string* found,
                  const struct stat* directory_info = nullptr);

  // Whether the index keeps a listing of directory (up to date or not) in
  // which no name equals host_name regardless of case, none being created
  // either: a guess, without a look at the host, that the name is new. A
  // caller about to create it goes straight to the look that FindNoCase
  // makes, which checks the listing; the creation itself refuses a name
  // that is there after all.
  bool LacksName(const std::string& directory, const std::string& host_name);

  // Around the creation of name in directory by this process. BeginCreate
  // refuses (false, nothing to end) when the index knows the name in another
  // letter case, or sees it being created: the caller looks again, and meets
  // that object instead of making a second one.
  bool BeginCreate(const std::string& directory, const std::string& name);
  void EndCreate(const std::string& directory, const std::string& name, bool created);
  // After a refused BeginCreate: waits (a few seconds at most) until no
  // creation of the name in any letter case is under way, so that the look
  // again meets the object its creator made, however long that took.
  void WaitForCreation(const std::string& directory, const std::string& name);

  // The directory lost or changed a name: list it again when next asked.
  void Forget(const std::string& directory);

 private:
  struct Listing {
    bool valid = false;
    dev_t device = 0;
    ino_t inode = 0;
    timespec modified{};
    std::unordered_map<std::string, std::string> names;  // folded name -> name
    std::unordered_multimap<std::string, std::string> creating;
    // Counts the names this process removed, so that a listing read
    // meanwhile, which may still hold them, is not stored.
    uint64_t generation = 0;
    // Listings being read outside the lock, and the names this process made
    // while they were read, which such a listing may lack: they are added to
    // it before it is stored. In a directory that many workers fill, some
    // creation is always under way; without this no listing read there would
    // ever be kept, and every look-up would read the whole directory again.
    int readers = 0;
    std::unordered_map<std::string, std::string> made_while_read;
  };

  // The names as folded for the look-up (ASCII letters in lower case).
  static std::string Fold(const std::string& name);
  static std::string Key(const std::string& directory);
  // The listed names of directory, or false when it cannot be read.
  static bool ReadNames(const std::string& directory,
                        std::unordered_map<std::string, std::string>* names);
  static bool Answer(const Listing& listing, const std::string& folded, std::string* found);
  // The listings are split by directory, each part with its own lock, so
  // that the creations in different directories do not wait for each other.
  static constexpr size_t kShards = 16;
  struct alignas(64) Shard {
    std::mutex mutex;
    std::condition_variable creation_ended;
    std::unordered_map<std::string, Listing> listings;  // by directory
  };
  Shard& ShardOf(const std::string& key);
  // Drops the part's listings no creation is using once there are too many.
  static void Trim(Shard& shard);

  std::array<Shard, kShards> shards_;
};

}  // namespace tarvik

#endif  // TARVIK_PLATFORM_POSIX_DIRECTORY_INDEX_H_
