// A folder of real files for one test, removed with everything in it when the test ends.
#pragma once

#include <stdlib.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>
#include <iterator>
#include <set>
#include <stdexcept>
#include <string>

namespace sarnavel::testing {

class TempFolder {
 public:
  // Below `base` (by default the system's temporary folder).
  explicit TempFolder(const std::filesystem::path& base = std::filesystem::temp_directory_path()) {
    std::string pattern = (base / "sarnavel-test-XXXXXX").string();
    if (mkdtemp(pattern.data()) == nullptr) throw std::runtime_error("mkdtemp failed");
    path_ = pattern;
  }
  ~TempFolder() {
    std::error_code ignored;
    std::filesystem::remove_all(path_, ignored);
  }
  TempFolder(const TempFolder&) = delete;
  TempFolder& operator=(const TempFolder&) = delete;

  const std::filesystem::path& path() const { return path_; }
  std::filesystem::path operator/(const std::string& relative) const { return path_ / relative; }

  // Writes a file below the folder, making its folders; returns its path.
  std::filesystem::path put(const std::string& relative, std::string_view bytes) const {
    std::filesystem::path file = path_ / relative;
    std::filesystem::create_directories(file.parent_path());
    std::ofstream(file, std::ios::binary).write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
    return file;
  }

  static std::string read(const std::filesystem::path& file) {
    std::ifstream in(file, std::ios::binary);
    return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
  }

  // The names directly in `folder`, so a file left behind or missing shows.
  static std::set<std::string> namesIn(const std::filesystem::path& folder) {
    std::set<std::string> names;
    for (const auto& entry : std::filesystem::directory_iterator(folder))
      names.insert(entry.path().filename().native());
    return names;
  }

 private:
  std::filesystem::path path_;
};

// Where many small runs are quick: a folder in memory (/dev/shm), whose flushes cost nothing,
// where there is one; else the system's temporary folder.
inline std::filesystem::path quickFolders() {
  std::error_code error;
  return std::filesystem::is_directory("/dev/shm", error) && ::access("/dev/shm", W_OK) == 0
             ? std::filesystem::path("/dev/shm")
             : std::filesystem::temp_directory_path();
}

}  // namespace sarnavel::testing
