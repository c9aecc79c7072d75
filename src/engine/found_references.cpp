#include "engine/found_references.h"

#include <functional>
#include <string_view>

namespace sarnavel {
namespace {

std::size_t hashOf(const FoundReference& r) {
  const std::hash<std::string_view> text;
  std::size_t h = text(r.reference);
  for (std::size_t part : {text(r.path), text(r.formerCharset)}) h = h * 31 + part;
  const unsigned flags = static_cast<unsigned>(r.kind) | static_cast<unsigned>(r.status) << 1 |
                         unsigned{r.charsetWritten} << 4 | unsigned{r.module} << 5 | unsigned{r.writtenByScript} << 6 |
                         unsigned{r.nameIsLink} << 7;
  return h * 31 + flags;
}

}  // namespace

void FoundReferences::add(FoundReference reference) {
  std::size_t* kept = reference.status == ReferenceStatus::Missing  ? &keptMissing_
                      : reference.status == ReferenceStatus::Remote ? &keptRemote_
                                                                    : nullptr;
  if (kept && *kept == kRecordedOfEachKind) {
    ++unlisted_;
    return;
  }
  const std::size_t hash = hashOf(reference);
  std::uint32_t index = static_cast<std::uint32_t>(distinct_.size());
  for (auto [at, last] = byHash_.equal_range(hash); at != last; ++at) {
    if (distinct_[at->second] == reference) {
      index = at->second;
      break;
    }
  }
  if (index == distinct_.size()) {
    distinct_.push_back(std::move(reference));
    byHash_.emplace(hash, index);
  }
  order_.push_back(index);
  if (kept) ++*kept;
}

}  // namespace sarnavel
