// The fingerprint of a file's bytes that the run's memory keeps (run_memory.h): XXH3, 128 bits,
// from Debian's libxxhash. Strong enough that two different contents of one file never share
// one by chance (the memory trusts a match to decide a file's encoding, and a later undo to
// tell a file or a backup changed since), and fast enough (several gigabytes a second) to be
// taken of every file a run reads; not meant to withstand a forger, who could as well write
// the file. A well-kept library rather than a hash of our own: its output is fixed for all its
// releases, so a memory written by one build is read by the next.
//
// Contract: pure; any thread.
#pragma once

#include <cstdint>
#include <new>
#include <optional>
#include <span>
#include <string>
#include <string_view>

namespace sarnavel {

struct ContentHash {
  std::uint64_t high = 0;
  std::uint64_t low = 0;
  bool operator==(const ContentHash&) const = default;
};

ContentHash hashOf(std::string_view bytes);
// The hash of the pieces written one after the other (a page and its edits).
ContentHash hashOf(std::span<const std::string_view> pieces);

// The same hash taken over bytes that come block by block (a file read in pieces).
class ContentHasher {
 public:
  ContentHasher();
  ~ContentHasher();
  ContentHasher(const ContentHasher&) = delete;
  ContentHasher& operator=(const ContentHasher&) = delete;
  void add(std::string_view bytes);
  ContentHash digest() const;

 private:
  void* state_;  // the library's XXH3 state
};

// 32 lower-case hexadecimal digits, and back (none for anything else).
std::string hexOf(const ContentHash& hash);
std::optional<ContentHash> hashFromHex(std::string_view text);

}  // namespace sarnavel
