// The references a document makes to the files it loads, in document order, as its record
// keeps them (document_result.h).
//
// A page may hold references by the hundred thousand: tags that load the same few files over
// and over, or that name no file at all. The list stays small whatever the page holds, from
// the first reference on (nothing is grown and trimmed afterwards):
//  - a reference made again (the same name, status, path, former charset and flags) is kept
//    once, and each further occurrence costs one index;
//  - of those that reach no file (missing, remote) only the first kRecordedOfEachKind of each
//    status are kept, and the others are counted (unlisted).
// Reading the list gives every kept occurrence in document order, as if each had a record of
// its own.
//
// Contract: a plain value (copied and moved as one); add throws std::bad_alloc when memory runs
// out.
#pragma once

#include <cstddef>
#include <cstdint>
#include <iterator>
#include <string>
#include <unordered_map>
#include <vector>

#include "engine/reference_resolver.h"

namespace sarnavel {

// How many of a page's notices and references the record keeps of each kind that a page may
// hold by the hundred thousand (notices, references that reach no file); the others are
// counted.
inline constexpr std::size_t kRecordedOfEachKind = 3;

// A reference of a page to a style sheet or a script, and what was done with it.
struct FoundReference {
  LoadedKind kind = LoadedKind::StyleSheet;
  std::string reference;  // the local path the element names (bytes, referenceNames), or the raw value when remote
  ReferenceStatus status = ReferenceStatus::Missing;
  std::string path;              // the full path the resolver found (Followable, WrongKind, Binary)
  std::string formerCharset;     // the element's charset attribute as the page had it
  bool charsetWritten = false;   // the element now names the target
  bool module = false;           // a <script type="module">, which browsers always read as UTF-8
  bool writtenByScript = false;  // the element is written by a script (document.write); its charset there was rewritten
  bool nameIsLink = false;       // the resolver reached the file through a link of that name

  friend bool operator==(const FoundReference&, const FoundReference&) = default;
};

class FoundReferences {
 public:
  class const_iterator {
   public:
    using iterator_category = std::forward_iterator_tag;
    using value_type = FoundReference;
    using difference_type = std::ptrdiff_t;
    using pointer = const FoundReference*;
    using reference = const FoundReference&;

    const_iterator() = default;
    const FoundReference& operator*() const { return (*distinct_)[*at_]; }
    const FoundReference* operator->() const { return &**this; }
    const_iterator& operator++() {
      ++at_;
      return *this;
    }
    const_iterator operator++(int) {
      const_iterator before = *this;
      ++at_;
      return before;
    }
    friend bool operator==(const const_iterator& a, const const_iterator& b) { return a.at_ == b.at_; }

   private:
    friend class FoundReferences;
    const_iterator(const std::vector<FoundReference>* distinct, const std::uint32_t* at)
        : distinct_(distinct), at_(at) {}
    const std::vector<FoundReference>* distinct_ = nullptr;
    const std::uint32_t* at_ = nullptr;
  };

  // Adds the next reference of the document.
  void add(FoundReference reference);

  const_iterator begin() const { return {&distinct_, order_.data()}; }
  const_iterator end() const { return {&distinct_, order_.data() + order_.size()}; }
  std::size_t size() const { return order_.size(); }
  bool empty() const { return order_.empty(); }
  const FoundReference& operator[](std::size_t k) const { return distinct_[order_[k]]; }
  const FoundReference& back() const { return (*this)[size() - 1]; }
  // The references that reach no file beyond the first few of each status, counted.
  std::size_t unlisted() const { return unlisted_; }

 private:
  std::vector<FoundReference> distinct_;
  std::vector<std::uint32_t> order_;                            // an index into distinct_ per occurrence
  std::unordered_multimap<std::size_t, std::uint32_t> byHash_;  // distinct_ indices by their hash
  std::size_t unlisted_ = 0;
  std::size_t keptMissing_ = 0;
  std::size_t keptRemote_ = 0;
};

}  // namespace sarnavel
