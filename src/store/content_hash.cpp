#include "store/content_hash.h"

#include <xxhash.h>

namespace sarnavel {

ContentHash hashOf(std::string_view bytes) {
  const XXH128_hash_t hash = XXH3_128bits(bytes.data(), bytes.size());
  return {hash.high64, hash.low64};
}

ContentHash hashOf(std::span<const std::string_view> pieces) {
  if (pieces.size() == 1) return hashOf(pieces.front());
  ContentHasher hasher;
  for (std::string_view piece : pieces) hasher.add(piece);
  return hasher.digest();
}

ContentHasher::ContentHasher() : state_(XXH3_createState()) {
  if (!state_) throw std::bad_alloc();
  XXH3_128bits_reset(static_cast<XXH3_state_t*>(state_));
}

ContentHasher::~ContentHasher() { XXH3_freeState(static_cast<XXH3_state_t*>(state_)); }

void ContentHasher::add(std::string_view bytes) {
  XXH3_128bits_update(static_cast<XXH3_state_t*>(state_), bytes.data(), bytes.size());
}

ContentHash ContentHasher::digest() const {
  const XXH128_hash_t hash = XXH3_128bits_digest(static_cast<const XXH3_state_t*>(state_));
  return {hash.high64, hash.low64};
}

std::string hexOf(const ContentHash& hash) {
  static constexpr char kDigits[] = "0123456789abcdef";
  std::string text(32, '0');
  for (int k = 0; k < 16; ++k) {
    text[static_cast<std::size_t>(15 - k)] = kDigits[(hash.high >> (4 * k)) & 15];
    text[static_cast<std::size_t>(31 - k)] = kDigits[(hash.low >> (4 * k)) & 15];
  }
  return text;
}

std::optional<ContentHash> hashFromHex(std::string_view text) {
  if (text.size() != 32) return std::nullopt;
  ContentHash hash;
  for (std::size_t k = 0; k < 32; ++k) {
    const char c = text[k];
    const int digit = c >= '0' && c <= '9' ? c - '0' : c >= 'a' && c <= 'f' ? c - 'a' + 10 : -1;
    if (digit < 0) return std::nullopt;
    std::uint64_t& half = k < 16 ? hash.high : hash.low;
    half = half << 4 | static_cast<std::uint64_t>(digit);
  }
  return hash;
}

}  // namespace sarnavel
