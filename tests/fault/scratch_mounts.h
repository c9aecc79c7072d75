// Mounts a fault test makes (a small tmpfs that fills up, a read-only view of a folder), in a
// mount namespace of the test process's own so that none outlives it; each is undone when its
// object goes.
#pragma once

#include <sched.h>
#include <sys/mount.h>

#include <cerrno>
#include <cstring>
#include <filesystem>
#include <string>

namespace sarnavel::testing {

class ScratchMount {
 public:
  // A tmpfs of `size` (mount's syntax, e.g. "2m") on the folder.
  static ScratchMount tmpfs(const std::filesystem::path& on, const std::string& size) {
    ScratchMount m(on);
    m.ok_ = ::mount("tmpfs", on.c_str(), "tmpfs", 0, ("size=" + size + ",mode=0755").c_str()) == 0;
    return m;
  }
  // The folder again at the same place, read-only.
  static ScratchMount readOnly(const std::filesystem::path& folder) {
    ScratchMount m(folder);
    m.ok_ = ::mount(folder.c_str(), folder.c_str(), nullptr, MS_BIND, nullptr) == 0 &&
            ::mount(nullptr, folder.c_str(), nullptr, MS_REMOUNT | MS_BIND | MS_RDONLY, nullptr) == 0;
    return m;
  }
  ScratchMount(ScratchMount&& o) noexcept : at_(std::move(o.at_)), ok_(o.ok_) { o.at_.clear(); }
  ScratchMount& operator=(ScratchMount&&) = delete;
  ~ScratchMount() {
    if (!at_.empty()) ::umount2(at_.c_str(), MNT_DETACH);
  }
  bool ok() const { return ok_; }

 private:
  explicit ScratchMount(std::filesystem::path at) : at_(std::move(at)) {
    static const bool ownNamespace =
        ::unshare(CLONE_NEWNS) == 0 && ::mount(nullptr, "/", nullptr, MS_REC | MS_PRIVATE, nullptr) == 0;
    (void)ownNamespace;
  }
  std::filesystem::path at_;
  bool ok_ = false;
};

}  // namespace sarnavel::testing
