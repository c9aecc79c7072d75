#include "power_cut/power_cut_disk.h"

#include <stdio.h>
#include <sys/stat.h>

#include <functional>
#include <sstream>
#include <stdexcept>

#include "support/extended_attributes.h"
#include "support/temp_folder.h"

namespace sarnavel::powercut {
namespace {

namespace fs = std::filesystem;
using sarnavel::testing::attributesOf;
using sarnavel::testing::TempFolder;

constexpr unsigned kRenameNoReplace = 1, kRenameExchange = 2;
constexpr int kMaxDepth = 64;

std::string idOf(const struct stat& info) {
  char text[64];
  snprintf(text, sizeof text, "%lx:%lx", static_cast<unsigned long>(info.st_dev),
           static_cast<unsigned long>(info.st_ino));
  return text;
}

void write(std::string& bytes, unsigned long long at, const std::string& written) {
  if (bytes.size() < at + written.size()) bytes.resize(at + written.size(), '\0');
  bytes.replace(at, written.size(), written);
}

}  // namespace

std::optional<std::string> fromHex(const std::string& hex) {
  if (hex == "-") return std::string();
  if (hex.size() % 2 != 0) return std::nullopt;
  auto digit = [](char c) { return c >= '0' && c <= '9' ? c - '0' : c >= 'a' && c <= 'f' ? c - 'a' + 10 : -1; };
  std::string bytes;
  for (std::size_t k = 0; k < hex.size(); k += 2) {
    const int high = digit(hex[k]), low = digit(hex[k + 1]);
    if (high < 0 || low < 0) return std::nullopt;
    bytes.push_back(static_cast<char>(high * 16 + low));
  }
  return bytes;
}

int DiskModel::newObject(Entry::Kind kind, const Metadata& metadata) {
  Object object;
  object.kind = kind;
  object.metadata = object.durableMetadata = metadata;
  objects_.push_back(std::move(object));
  ++revision_;
  return static_cast<int>(objects_.size()) - 1;
}

int DiskModel::known(const std::string& id) const {
  const auto found = byId_.find(id);
  return found == byId_.end() ? -1 : found->second;
}

int DiskModel::knownFolder(const std::string& id) const {
  const int object = known(id);
  return object >= 0 && objects_[object].kind == Entry::Kind::Folder ? object : -1;
}

DiskModel DiskModel::scan(const fs::path& root) {
  DiskModel model;
  std::function<int(const fs::path&, int)> add = [&](const fs::path& path, int depth) {
    struct stat info;
    if (lstat(path.c_str(), &info) != 0 || depth > kMaxDepth) throw std::runtime_error("cannot scan " + path.string());
    if (const int seen = model.known(idOf(info)); seen >= 0) return seen;  // another name of a file already seen
    const Entry::Kind kind = S_ISDIR(info.st_mode)   ? Entry::Kind::Folder
                             : S_ISLNK(info.st_mode) ? Entry::Kind::Link
                                                     : Entry::Kind::File;
    const int object = model.newObject(kind, {info.st_mode & 07777, info.st_uid, info.st_gid, attributesOf(path)});
    model.byId_[idOf(info)] = object;
    if (kind == Entry::Kind::File)
      model.objects_[object].bytes = model.objects_[object].durableBytes = TempFolder::read(path);
    if (kind == Entry::Kind::Folder) {
      for (const fs::directory_entry& child : fs::directory_iterator(path)) {
        const int inside = add(child.path(), depth + 1);
        model.objects_[object].names[child.path().filename().native()] = inside;
      }
      model.objects_[object].durableNames = model.objects_[object].names;
    }
    return object;
  };
  model.root_ = add(root, 0);
  return model;
}

void DiskModel::changeNames(int folder, NameChange change) {
  for (const auto& [name, object] : change) {
    if (object < 0) objects_[folder].names.erase(name);
    else objects_[folder].names[name] = object;
  }
  objects_[folder].unflushedNames.push_back(std::move(change));
  ++revision_;
}

void DiskModel::flushBytes(Object& object, bool withMetadata) {
  object.durableBytes = object.bytes;
  object.unflushedBytes.clear();
  if (withMetadata) object.durableMetadata = object.metadata;
  ++revision_;
}

std::optional<std::string> DiskModel::apply(const std::string& line) {
  std::istringstream in(line);
  std::vector<std::string> word;
  for (std::string token; in >> token;) word.push_back(token);
  if (word.empty()) return std::nullopt;
  const std::string& op = word[0];
  auto need = [&](std::size_t count) { return word.size() >= count; };
  auto name = [&](std::size_t k) { return fromHex(word[k]).value_or(std::string()); };
  auto number = [&](std::size_t k, int base) { return std::stoull(word[k], nullptr, base); };
  auto wrong = [&](const std::string& why) { return std::optional<std::string>(why + ": " + line.substr(0, 200)); };

  try {
    if (op == "create" && need(7)) {
      const int folder = knownFolder(word[2]);
      if (folder < 0) {
        byId_.erase(word[1]);  // a file elsewhere, perhaps with the inode of one of ours that is gone
        return std::nullopt;
      }
      if (objects_[folder].names.count(name(3))) return wrong("a file made under a name the folder has");
      const int object = newObject(Entry::Kind::File, {static_cast<mode_t>(number(4, 8)),
                                                       static_cast<uid_t>(number(5, 10)),
                                                       static_cast<gid_t>(number(6, 10)),
                                                       {}});
      byId_[word[1]] = object;
      changeNames(folder, {{name(3), object}});
    } else if (op == "tmpfile" && need(5)) {
      byId_[word[1]] = newObject(Entry::Kind::File, {static_cast<mode_t>(number(2, 8)),
                                                     static_cast<uid_t>(number(3, 10)),
                                                     static_cast<gid_t>(number(4, 10)),
                                                     {}});
    } else if (op == "write" && need(4)) {
      const int object = known(word[1]);
      if (object < 0) return std::nullopt;
      const std::optional<std::string> bytes = fromHex(word[3]);
      if (!bytes) return wrong("malformed bytes");
      write(objects_[object].bytes, number(2, 10), *bytes);
      objects_[object].unflushedBytes.push_back({false, number(2, 10), *bytes});
      ++revision_;
    } else if (op == "trunc" && need(3)) {
      const int object = known(word[1]);
      if (object < 0) return std::nullopt;
      objects_[object].bytes.resize(number(2, 10), '\0');
      objects_[object].unflushedBytes.push_back({true, number(2, 10), {}});
      ++revision_;
    } else if ((op == "fsync" || op == "fdatasync") && need(2)) {
      const int object = known(word[1]);
      if (object < 0) return std::nullopt;
      Object& flushed = objects_[object];
      if (flushed.kind == Entry::Kind::Folder) {
        flushed.durableNames = flushed.names;
        flushed.unflushedNames.clear();
      }
      flushBytes(flushed, op == "fsync");
    } else if (op == "close" || op == "times") {
      // a close flushes nothing; a file's times are not followed
    } else if (op == "rename" && need(7)) {
      const int from = knownFolder(word[1]), to = knownFolder(word[3]);
      const unsigned flags = static_cast<unsigned>(number(5, 10));
      if (from < 0 && to < 0) return std::nullopt;
      if (from < 0) return wrong("a name from outside the tree moved into it");
      const auto source = objects_[from].names.find(name(2));
      if (source == objects_[from].names.end()) return wrong("a rename of a name the folder does not have");
      const int moved = source->second;
      if (known(word[6]) != moved) return wrong("a rename of another file than the name holds");
      if ((flags & ~(kRenameNoReplace | kRenameExchange)) != 0) return wrong("a rename the model does not know");
      const std::string sourceName = name(2), targetName = name(4);
      const auto target = to >= 0 ? objects_[to].names.find(targetName) : objects_[from].names.end();
      if (to >= 0 && target != objects_[to].names.end() && target->second == moved)
        return std::nullopt;  // two names of one file
      if (flags & kRenameExchange) {
        if (to < 0 || target == objects_[to].names.end()) return wrong("an exchange with a name that is not there");
        const int other = target->second;
        if (from == to) changeNames(from, {{sourceName, other}, {targetName, moved}});
        else {
          changeNames(from, {{sourceName, other}});
          changeNames(to, {{targetName, moved}});
        }
      } else if (from == to) {
        changeNames(from, {{sourceName, -1}, {targetName, moved}});
      } else {
        changeNames(from, {{sourceName, -1}});
        if (to >= 0) changeNames(to, {{targetName, moved}});
      }
      objects_[moved].renamedWith = objects_[moved].bytes;
    } else if (op == "link" && need(4)) {
      const int to = knownFolder(word[2]);
      if (to < 0) return std::nullopt;
      const int object = known(word[1]);
      if (object < 0) return wrong("a file from outside the tree linked into it");
      changeNames(to, {{name(3), object}});
    } else if ((op == "unlink" || op == "rmdir") && need(3)) {
      const int folder = knownFolder(word[1]);
      if (folder < 0) return std::nullopt;
      if (!objects_[folder].names.count(name(2))) return wrong("a removal of a name the folder does not have");
      changeNames(folder, {{name(2), -1}});
    } else if (op == "mode" || op == "owner" || op == "xattr") {
      if (!need(op == "mode" ? 3 : 4)) return wrong("a malformed line");
      const int object = known(word[1]);
      if (object < 0) return std::nullopt;
      Metadata& metadata = objects_[object].metadata;
      if (op == "mode") metadata.mode = static_cast<mode_t>(number(2, 8));
      if (op == "owner") {
        metadata.owner = static_cast<uid_t>(number(2, 10));
        metadata.group = static_cast<gid_t>(number(3, 10));
      }
      if (op == "xattr") metadata.attributes[name(2)] = name(3);
      ++revision_;
    } else if (op == "unknown" && need(2)) {
      for (std::size_t k = 2; k < word.size(); ++k) {
        if (known(word[k]) >= 0) return wrong("a call the shim does not model (" + word[1] + ") touched the tree");
      }
    } else {
      return wrong("a line the model does not know");
    }
  } catch (const std::exception&) {
    return wrong("a malformed line");
  }
  return std::nullopt;
}

template <typename NamesOf, typename BytesOf>
Tree DiskModel::treeOf(NamesOf namesOf, BytesOf bytesOf, bool durableMetadata) const {
  Tree tree;
  std::function<void(int, const std::string&, int)> walk = [&](int folder, const std::string& prefix, int depth) {
    if (depth > kMaxDepth) return;
    for (const auto& [name, object] : namesOf(folder)) {
      const Object& held = objects_[object];
      const Metadata& metadata = durableMetadata ? held.durableMetadata : held.metadata;
      Entry entry{
          held.kind,           object,          held.kind == Entry::Kind::File ? bytesOf(object) : std::string(),
          metadata.mode,       metadata.owner,  metadata.group,
          metadata.attributes, held.renamedWith};
      tree[prefix + name] = std::move(entry);
      if (held.kind == Entry::Kind::Folder) walk(object, prefix + name + "/", depth + 1);
    }
  };
  walk(root_, "", 0);
  return tree;
}

Tree DiskModel::current() const {
  return treeOf([&](int folder) -> const std::map<std::string, int>& { return objects_[folder].names; },
                [&](int file) { return objects_[file].bytes; }, false);
}

std::vector<CrashState> DiskModel::crashStates() const {
  auto durableNames = [&](int folder) -> const std::map<std::string, int>& { return objects_[folder].durableNames; };
  auto durableBytes = [&](int file) { return objects_[file].durableBytes; };
  std::vector<CrashState> states;
  states.push_back({"strict", treeOf(durableNames, durableBytes, true)});
  for (int changed = 0; changed < static_cast<int>(objects_.size()); ++changed) {
    const Object& object = objects_[changed];
    const std::string which = " of object " + std::to_string(changed);
    // Part of a folder's unflushed changes reached the disk.
    std::map<std::string, int> names = object.durableNames;
    for (std::size_t count = 0; count < object.unflushedNames.size(); ++count) {
      for (const auto& [name, target] : object.unflushedNames[count]) {
        if (target < 0) names.erase(name);
        else names[name] = target;
      }
      auto someNames = [&](int folder) -> const std::map<std::string, int>& {
        return folder == changed ? names : objects_[folder].durableNames;
      };
      states.push_back({"names " + std::to_string(count + 1) + which, treeOf(someNames, durableBytes, true)});
    }
    // Part of a file's unflushed writes reached the disk, the last of them perhaps only half.
    std::string bytes = object.durableBytes;
    for (std::size_t count = 0; count < object.unflushedBytes.size(); ++count) {
      const DataChange& change = object.unflushedBytes[count];
      if (!change.truncation && change.bytes.size() >= 2) {
        std::string half = bytes;
        write(half, change.at, change.bytes.substr(0, change.bytes.size() / 2));
        auto halfBytes = [&](int file) { return file == changed ? half : objects_[file].durableBytes; };
        states.push_back({"half of write " + std::to_string(count + 1) + which, treeOf(durableNames, halfBytes, true)});
      }
      if (change.truncation) bytes.resize(change.at, '\0');
      else write(bytes, change.at, change.bytes);
      auto someBytes = [&](int file) { return file == changed ? bytes : objects_[file].durableBytes; };
      states.push_back({"bytes " + std::to_string(count + 1) + which, treeOf(durableNames, someBytes, true)});
    }
  }
  auto allNames = [&](int folder) -> const std::map<std::string, int>& { return objects_[folder].names; };
  states.push_back({"names ahead of bytes", treeOf(allNames, durableBytes, true)});
  return states;
}

}  // namespace sarnavel::powercut
