#include "platform/posix/directory_index.h"

#include <dirent.h>

#include <cerrno>
#include <chrono>

namespace tarvik {
namespace {

// Directories whose names are kept; more are dropped (those without a
// creation under way), so that a long run does not keep every name it saw.
constexpr size_t kMaxListings = 512;

bool SameTime(const timespec& a, const timespec& b) {
  return a.tv_sec == b.tv_sec && a.tv_nsec == b.tv_nsec;
}

// a is b or later.
bool NotBefore(const timespec& a, const timespec& b) {
  return a.tv_sec > b.tv_sec || (a.tv_sec == b.tv_sec && a.tv_nsec >= b.tv_nsec);
}

}  // namespace

std::string DirectoryIndex::Fold(const std::string& name) {
  std::string folded = name;
  for (char& c : folded) {
    if (c >= 'A' && c <= 'Z')
      c = static_cast<char>(c - 'A' + 'a');
  }
  return folded;
}

std::string DirectoryIndex::Key(const std::string& directory) {
  std::string key = directory;
  while (key.size() > 1 && key.back() == '/')
    key.pop_back();
  return key;
}

bool DirectoryIndex::ReadNames(const std::string& directory,
                               std::unordered_map<std::string, std::string>* names) {
  DIR* listing = ::opendir(directory.c_str());
  if (listing == nullptr)
    return false;
  while (struct dirent* entry = ::readdir(listing)) {
    std::string name = entry->d_name;
    if (name == "." || name == "..")
      continue;
    names->try_emplace(Fold(name), name);
  }
  ::closedir(listing);
  return true;
}

bool DirectoryIndex::Answer(const Listing& listing, const std::string& folded, std::string* found) {
  auto created = listing.names.find(folded);
  if (created != listing.names.end()) {
    *found = created->second;
    return true;
  }
  auto creating = listing.creating.find(folded);
  if (creating != listing.creating.end()) {
    *found = creating->second;
    return true;
  }
  return false;
}

bool DirectoryIndex::LacksName(const std::string& directory, const std::string& host_name) {
  const std::string key = Key(directory);
  Shard& shard = ShardOf(key);
  std::lock_guard<std::mutex> lock(shard.mutex);
  auto listing = shard.listings.find(key);
  std::string found;
  return listing != shard.listings.end() && listing->second.valid &&
         !Answer(listing->second, Fold(host_name), &found);
}

bool DirectoryIndex::FindNoCase(const std::string& directory, const std::string& host_name,
                                std::string* found, const struct stat* directory_info) {
  const std::string key = Key(directory);
  const std::string folded = Fold(host_name);
  struct stat before;
  if (directory_info != nullptr)
    before = *directory_info;
  else if (::stat(key.c_str(), &before) != 0)
    return false;
  if (!S_ISDIR(before.st_mode))
    return false;
  Shard& shard = ShardOf(key);
  uint64_t generation = 0;
  {
    std::lock_guard<std::mutex> lock(shard.mutex);
    Listing& listing = shard.listings[key];
    // The caller's look at the directory may predate a creation that ended
    // since: a time the index knows that is not older than it says no one
    // else changed the directory after the index last looked.
    bool current = listing.valid && listing.device == before.st_dev &&
                   listing.inode == before.st_ino &&
                   (!listing.creating.empty() || NotBefore(listing.modified, before.st_mtim));
    if (current)
      return Answer(listing, folded, found);
    generation = listing.generation;
    ++listing.readers;
  }
  std::unordered_map<std::string, std::string> names;
  const bool read = ReadNames(key, &names);
  struct stat after;
  bool quiet = read && ::stat(key.c_str(), &after) == 0 && after.st_ino == before.st_ino &&
               SameTime(after.st_mtim, before.st_mtim);
  std::lock_guard<std::mutex> lock(shard.mutex);
  Listing& listing = shard.listings[key];
  const bool made_meanwhile = !listing.made_while_read.empty();
  for (const auto& [made_folded, made] : listing.made_while_read)
    names.try_emplace(made_folded, made);
  if (listing.readers > 0 && --listing.readers == 0)
    listing.made_while_read.clear();
  if (!read)
    return false;
  if (listing.generation != generation) {
    // A name was removed while the listing was read, which may still hold
    // it: answer, store nothing. The index knows the names this process
    // made (BeginCreate goes by them), so it answers first.
    if (Answer(listing, folded, found))
      return true;
    Listing fresh;
    fresh.names = std::move(names);
    fresh.creating = listing.creating;
    return Answer(fresh, folded, found);
  }
  listing.names = std::move(names);
  // A listing read while the directory changed under it is kept only when
  // the change is this process's own creations, which the index follows:
  // those under way now, or those made during the reading (added above).
  listing.valid = quiet || made_meanwhile || !listing.creating.empty();
  listing.device = before.st_dev;
  listing.inode = before.st_ino;
  listing.modified = quiet ? before.st_mtim : after.st_mtim;
  bool answer = Answer(listing, folded, found);
  Trim(shard);
  return answer;
}

bool DirectoryIndex::BeginCreate(const std::string& directory, const std::string& name) {
  const std::string folded = Fold(name);
  const std::string key = Key(directory);
  Shard& shard = ShardOf(key);
  std::lock_guard<std::mutex> lock(shard.mutex);
  Listing& listing = shard.listings[key];
  if (listing.creating.count(folded) != 0)
    return false;
  // A name this process made is known even while the listing is out of
  // date (the listing may predate it).
  auto known = listing.names.find(folded);
  if (known != listing.names.end() && known->second != name)
    return false;
  listing.creating.emplace(folded, name);
  return true;
}

void DirectoryIndex::EndCreate(const std::string& directory, const std::string& name,
                               bool created) {
  const std::string key = Key(directory);
  const std::string folded = Fold(name);
  Shard& shard = ShardOf(key);
  std::lock_guard<std::mutex> lock(shard.mutex);
  Listing& listing = shard.listings[key];
  auto range = listing.creating.equal_range(folded);
  for (auto it = range.first; it != range.second; ++it) {
    if (it->second == name) {
      listing.creating.erase(it);
      break;
    }
  }
  shard.creation_ended.notify_all();
  // Kept even in a listing that is out of date: another thread that listed
  // the directory before this name existed meets it in BeginCreate.
  if (created) {
    listing.names.try_emplace(folded, name);
    if (listing.readers > 0)
      listing.made_while_read.try_emplace(folded, name);
  }
  if (!listing.valid)
    return;
  if (listing.creating.empty()) {
    // The directory is quiet again: from here on its time tells of changes.
    struct stat now;
    if (::stat(key.c_str(), &now) != 0 || now.st_ino != listing.inode) {
      listing.valid = false;
      return;
    }
    listing.modified = now.st_mtim;
  }
}

void DirectoryIndex::WaitForCreation(const std::string& directory, const std::string& name) {
  const std::string key = Key(directory);
  const std::string folded = Fold(name);
  const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(5);
  Shard& shard = ShardOf(key);
  std::unique_lock<std::mutex> lock(shard.mutex);
  shard.creation_ended.wait_until(lock, deadline, [&] {
    auto listing = shard.listings.find(key);
    return listing == shard.listings.end() || listing->second.creating.count(folded) == 0;
  });
}

void DirectoryIndex::Forget(const std::string& directory) {
  const std::string key = Key(directory);
  Shard& shard = ShardOf(key);
  std::lock_guard<std::mutex> lock(shard.mutex);
  auto it = shard.listings.find(key);
  if (it == shard.listings.end())
    return;
  it->second.valid = false;
  it->second.names.clear();
  ++it->second.generation;
}

DirectoryIndex::Shard& DirectoryIndex::ShardOf(const std::string& key) {
  return shards_[std::hash<std::string>()(key) % kShards];
}

void DirectoryIndex::Trim(Shard& shard) {
  if (shard.listings.size() <= kMaxListings / kShards)
    return;
  for (auto it = shard.listings.begin(); it != shard.listings.end();) {
    if (it->second.creating.empty() && it->second.readers == 0)
      it = shard.listings.erase(it);
    else
      ++it;
  }
}

}  // namespace tarvik
