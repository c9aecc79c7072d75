// What a disk holds after a power cut at any point of a recorded run.
//
// A DiskModel starts from a folder tree as it is on disk (everything in it durable) and replays
// the lines fs_trace_shim.c recorded, one at a time. It keeps, for each file, the bytes the
// kernel has and the bytes that are durable (as of the file's last fsync or fdatasync), and
// for each folder the names it has and the names that are durable (as of the folder's last
// fsync): a rename, link, unlink or creation whose folder was not flushed has not happened on
// the disk. After any line, crashStates() gives the trees a power cut at that moment may leave:
//  - "strict": every file's durable bytes under every folder's durable names;
//  - "names N of FOLDER": the folder's first N changes since its last flush reached the disk
//    (a journal writes them in order), the rest did not;
//  - "bytes N of FILE" / "half of write N of FILE": the file's first N writes or truncations
//    since its last flush reached the disk, or the first N-1 and half of the N-th;
//  - "names ahead of bytes": every folder's names reached the disk, no unflushed byte did.
// Owner, group, mode and extended attributes are durable with the file's fsync (or from its
// creation). Files and folders outside the tree are not followed; a name moved or linked into
// the tree from outside, a line that contradicts the tree, or a call the shim could not model
// ("unknown") that touched the tree, is an error: apply() says so.
#pragma once

#include <sys/types.h>

#include <filesystem>
#include <map>
#include <optional>
#include <string>
#include <vector>

namespace sarnavel::powercut {

// One name of a tree, as a power cut leaves it.
struct Entry {
  enum class Kind { File, Folder, Link } kind = Kind::File;
  int object = -1;    // the same number for every name of one file (hard links)
  std::string bytes;  // a file's content
  mode_t mode = 0;    // permission bits
  uid_t owner = 0;
  gid_t group = 0;
  std::map<std::string, std::string> attributes;  // extended attributes
  std::string renamedWith;                        // a file's bytes (as the kernel had them) when it was last renamed
};

// Names relative to the tree's root ("css/site.css"), every file and folder below it.
using Tree = std::map<std::string, Entry>;

struct CrashState {
  std::string variant;  // which of the kinds above
  Tree tree;
};

class DiskModel {
 public:
  // The tree below `root` as it is now, all of it durable.
  static DiskModel scan(const std::filesystem::path& root);

  // Replays one line of the trace; an error text when the line cannot be applied (see above).
  std::optional<std::string> apply(const std::string& line);

  // The trees a power cut now may leave, the strict one first.
  std::vector<CrashState> crashStates() const;
  // The tree as the kernel has it (nothing lost).
  Tree current() const;
  // Changes with every line that changed the tree's files or folders (their names, bytes,
  // metadata or what of it is durable): a power cut after any other line leaves nothing new.
  unsigned long revision() const { return revision_; }

 private:
  struct Metadata {
    mode_t mode = 0;
    uid_t owner = 0;
    gid_t group = 0;
    std::map<std::string, std::string> attributes;
  };
  // A write (bytes at offset) or a truncation (to length), not yet flushed.
  struct DataChange {
    bool truncation = false;
    unsigned long long at = 0;
    std::string bytes;
  };
  // Names set (object >= 0) or removed (-1) together, not yet flushed.
  using NameChange = std::vector<std::pair<std::string, int>>;
  struct Object {
    Entry::Kind kind = Entry::Kind::File;
    std::string bytes, durableBytes;
    std::vector<DataChange> unflushedBytes;
    Metadata metadata, durableMetadata;
    std::map<std::string, int> names, durableNames;
    std::vector<NameChange> unflushedNames;
    std::string renamedWith;
  };

  int newObject(Entry::Kind kind, const Metadata& metadata);
  int known(const std::string& id) const;
  int knownFolder(const std::string& id) const;
  void changeNames(int folder, NameChange change);
  void flushBytes(Object& object, bool withMetadata);
  // The tree under the root with each folder's names and each file's bytes chosen by the two
  // functions.
  template <typename NamesOf, typename BytesOf>
  Tree treeOf(NamesOf namesOf, BytesOf bytesOf, bool durableMetadata) const;

  std::vector<Object> objects_;
  std::map<std::string, int> byId_;  // "DEV:INO" -> the object that has that inode now
  int root_ = -1;
  unsigned long revision_ = 0;
};

// Bytes from the trace's hexadecimal ("-" is none); nullopt when malformed.
std::optional<std::string> fromHex(const std::string& hex);

}  // namespace sarnavel::powercut
