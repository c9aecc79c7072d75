// The list of full paths a run is given, held compactly: a site of 100,000 files is listed in
// about as many bytes as its paths have, plus 16 a path.
//
// The paths' bytes go one after the other into blocks of 64 KiB (a path longer than a quarter
// of a block gets a block of its own), and the list of them is kept in small chunks (a
// std::deque of views), so that neither is ever copied to a larger array while the list
// grows: a list of N paths never holds more than it needs for N, where a vector of strings
// briefly holds one and a half times its array and a separate allocation per path.
//
// Contract: the paths stay in the order they were added, duplicates included; the view of an
// entry stays valid as long as the list lives and is not changed (moving the list keeps the
// views valid; copying makes new ones). Not thread-safe for writing; any number of readers.
#pragma once

#include <cstddef>
#include <deque>
#include <filesystem>
#include <initializer_list>
#include <memory>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

namespace sarnavel {

class PathList {
 public:
  using const_iterator = std::deque<std::string_view>::const_iterator;

  PathList() = default;
  // For a shell or a test naming a few paths; any text a path can be made of.
  PathList(std::initializer_list<std::filesystem::path> paths);
  PathList(const std::vector<std::string>& paths);  // implicit: a list of strings is a list of paths
  PathList(const PathList& other);
  PathList& operator=(const PathList& other);
  // A list moved from is empty, and its next path goes into a block of its own.
  PathList(PathList&& other) noexcept { swap(other); }
  PathList& operator=(PathList&& other) noexcept {
    PathList taken(std::move(other));
    swap(taken);
    return *this;
  }
  void swap(PathList& other) noexcept {
    blocks_.swap(other.blocks_);
    std::swap(free_, other.free_);
    std::swap(room_, other.room_);
    entries_.swap(other.entries_);
  }

  void push_back(std::string_view path);

  std::size_t size() const { return entries_.size(); }
  bool empty() const { return entries_.empty(); }
  std::string_view operator[](std::size_t index) const { return entries_[index]; }
  const_iterator begin() const { return entries_.begin(); }
  const_iterator end() const { return entries_.end(); }

  // Keeps the paths whose `kept[index]` is true, in order (`kept` has one flag a path). The
  // bytes of those dropped stay in their block until the list goes.
  void keepOnly(const std::vector<bool>& kept);

  std::vector<std::string> strings() const { return {begin(), end()}; }

 private:
  static constexpr std::size_t kBlockBytes = 64 * 1024;
  std::vector<std::unique_ptr<char[]>> blocks_;
  char* free_ = nullptr;  // the free end of the last shared block
  std::size_t room_ = 0;  // bytes free there
  std::deque<std::string_view> entries_;
};

}  // namespace sarnavel
