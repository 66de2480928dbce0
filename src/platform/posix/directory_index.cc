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
  uint64_t generation = 0;
  {
    std::lock_guard<std::mutex> lock(mutex_);
    const Listing& listing = listings_[key];
    bool current = listing.valid && listing.device == before.st_dev &&
                   listing.inode == before.st_ino &&
                   (!listing.creating.empty() || SameTime(listing.modified, before.st_mtim));
    if (current)
      return Answer(listing, folded, found);
    generation = listing.generation;
  }
  std::unordered_map<std::string, std::string> names;
  if (!ReadNames(key, &names))
    return false;
  struct stat after;
  bool quiet = ::stat(key.c_str(), &after) == 0 && after.st_ino == before.st_ino &&
               SameTime(after.st_mtim, before.st_mtim);
  std::lock_guard<std::mutex> lock(mutex_);
  Listing& listing = listings_[key];
  if (listing.generation != generation) {
    // Names changed while the listing was read: answer, store nothing. A
    // name this process made meanwhile may be missing from what was read;
    // the index knows it (and BeginCreate goes by it), so it answers first.
    if (Answer(listing, folded, found))
      return true;
    Listing fresh;
    fresh.names = std::move(names);
    fresh.creating = listing.creating;
    return Answer(fresh, folded, found);
  }
  listing.names = std::move(names);
  // A listing read while the directory changed under it is kept only when
  // the change is this process's own creations, which the index follows.
  listing.valid = quiet || !listing.creating.empty();
  listing.device = before.st_dev;
  listing.inode = before.st_ino;
  listing.modified = before.st_mtim;
  bool answer = Answer(listing, folded, found);
  Trim();
  return answer;
}

bool DirectoryIndex::BeginCreate(const std::string& directory, const std::string& name) {
  const std::string folded = Fold(name);
  std::lock_guard<std::mutex> lock(mutex_);
  Listing& listing = listings_[Key(directory)];
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
  std::lock_guard<std::mutex> lock(mutex_);
  Listing& listing = listings_[key];
  auto range = listing.creating.equal_range(folded);
  for (auto it = range.first; it != range.second; ++it) {
    if (it->second == name) {
      listing.creating.erase(it);
      break;
    }
  }
  ++listing.generation;
  creation_ended_.notify_all();
  // Kept even in a listing that is out of date: another thread that listed
  // the directory before this name existed meets it in BeginCreate.
  if (created)
    listing.names.try_emplace(folded, name);
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
  std::unique_lock<std::mutex> lock(mutex_);
  creation_ended_.wait_until(lock, deadline, [&] {
    auto listing = listings_.find(key);
    return listing == listings_.end() || listing->second.creating.count(folded) == 0;
  });
}

void DirectoryIndex::Forget(const std::string& directory) {
  std::lock_guard<std::mutex> lock(mutex_);
  auto it = listings_.find(Key(directory));
  if (it == listings_.end())
    return;
  it->second.valid = false;
  it->second.names.clear();
  ++it->second.generation;
}

void DirectoryIndex::Trim() {
  if (listings_.size() <= kMaxListings)
    return;
  for (auto it = listings_.begin(); it != listings_.end();) {
    if (it->second.creating.empty())
      it = listings_.erase(it);
    else
      ++it;
  }
}

}  // namespace tarvik
