#include "run/path_list.h"

#include <cstring>

namespace sarnavel {

PathList::PathList(std::initializer_list<std::filesystem::path> paths) {
  for (const std::filesystem::path& path : paths) push_back(path.native());
}

PathList::PathList(const std::vector<std::string>& paths) {
  for (const std::string& path : paths) push_back(path);
}

PathList::PathList(const PathList& other) {
  for (std::string_view path : other) push_back(path);
}

PathList& PathList::operator=(const PathList& other) {
  if (this != &other) *this = PathList(other);
  return *this;
}

void PathList::push_back(std::string_view path) {
  char* at;
  if (path.size() > kBlockBytes / 4) {
    // A long path gets a block of its own; the shared block keeps its room for the next ones.
    blocks_.push_back(std::make_unique_for_overwrite<char[]>(path.size()));
    at = blocks_.back().get();
  } else {
    if (path.size() > room_) {
      blocks_.push_back(std::make_unique_for_overwrite<char[]>(kBlockBytes));
      free_ = blocks_.back().get();
      room_ = kBlockBytes;
    }
    at = free_;
    free_ += path.size();
    room_ -= path.size();
  }
  if (!path.empty()) std::memcpy(at, path.data(), path.size());
  entries_.emplace_back(at, path.size());
}

void PathList::keepOnly(const std::vector<bool>& kept) {
  std::size_t next = 0;
  for (std::size_t k = 0; k < entries_.size(); ++k) {
    if (k < kept.size() && kept[k]) entries_[next++] = entries_[k];
  }
  entries_.resize(next);
}

}  // namespace sarnavel
