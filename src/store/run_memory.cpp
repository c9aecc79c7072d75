#include "store/run_memory.h"

#include <dirent.h>
#include <fcntl.h>
#include <pwd.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <time.h>
#include <unistd.h>
#include <xxhash.h>

#include <algorithm>
#include <cctype>
#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <nlohmann/json.hpp>
#include <set>
#include <utility>

#include "store/file_store.h"
#include "text/json_writer.h"
#include "text/utf8.h"

namespace sarnavel {
namespace {

namespace fs = std::filesystem;
using Json = nlohmann::ordered_json;

constexpr std::string_view kRunSuffix = ".jsonl";

std::uint64_t hashOfText(std::string_view text) { return XXH3_64bits(text.data(), text.size()); }

// The form a path is remembered by: absolute and lexically normal, so that two spellings of
// one name meet (a link and its target meet by device and inode).
std::string rememberedForm(std::string_view path) {
  std::error_code error;
  fs::path full = fs::absolute(fs::path(path), error);
  if (error) full = fs::path(path);
  return full.lexically_normal().native();
}

// Whether a folder that exists is the user's; one that does not yet exist will be.
bool usersOrMissing(const fs::path& folder) {
  struct stat info;
  if (::stat(folder.c_str(), &info) != 0) return errno == ENOENT;
  return info.st_uid == ::geteuid();
}

std::string homeOfUser() {
  if (const char* home = std::getenv("HOME"); home && home[0] == '/' && usersOrMissing(home)) return home;
  std::vector<char> buffer(16384);
  struct passwd entry, *found = nullptr;
  if (::getpwuid_r(::geteuid(), &entry, buffer.data(), buffer.size(), &found) != 0 || !found || !found->pw_dir)
    return {};
  return found->pw_dir;
}

// The memory's names of the encodings: the labels pages use for them, each read back as
// written (any letter case). ASCII is recorded as no encoding.
constexpr std::pair<SourceEncoding, std::string_view> kEncodingLabels[] = {
    {SourceEncoding::ShiftJis, "Shift_JIS"},    {SourceEncoding::EucJp, "EUC-JP"},
    {SourceEncoding::Iso2022Jp, "ISO-2022-JP"}, {SourceEncoding::Utf8, "UTF-8"},
    {SourceEncoding::Latin1, "windows-1252"},   {SourceEncoding::Utf16, "UTF-16"},
};

std::optional<SourceEncoding> encodingOf(const Json& label) {
  if (!label.is_string()) return std::nullopt;
  const std::string& text = label.get_ref<const std::string&>();
  for (const auto& [known, name] : kEncodingLabels)
    if (std::equal(text.begin(), text.end(), name.begin(), name.end(), [](char a, char b) {
          return std::tolower(static_cast<unsigned char>(a)) == std::tolower(static_cast<unsigned char>(b));
        }))
      return known;
  return std::nullopt;
}

std::optional<std::string> pathOf(const Json& object, const char* key) {
  if (auto text = object.find(key); text != object.end() && text->is_string()) return text->get<std::string>();
  auto hex = object.find(std::string(key) + "Bytes");
  if (hex == object.end() || !hex->is_string()) return std::nullopt;
  const std::string& digits = hex->get_ref<const std::string&>();
  if (digits.size() % 2 != 0) return std::nullopt;
  std::string path;
  for (std::size_t k = 0; k < digits.size(); k += 2) {
    unsigned value = 0;
    if (std::sscanf(digits.c_str() + k, "%2x", &value) != 1) return std::nullopt;
    path.push_back(static_cast<char>(value));
  }
  return path;
}

// One record of the memory, {"kind":{…}}, its members written in order.
class RecordLine {
 public:
  explicit RecordLine(const char* kind) {
    json_.openObject();
    json_.key(kind);
    json_.openObject();
  }
  RecordLine& number(const char* key, std::uint64_t value) {
    json_.key(key);
    json_.number(value);
    return *this;
  }
  RecordLine& text(const char* key, std::string_view value) {
    json_.key(key);
    json_.string(value);
    return *this;
  }
  // The label of an encoding, or null for none (ASCII, or not known).
  RecordLine& label(const char* key, std::optional<SourceEncoding> encoding) {
    json_.key(key);
    for (const auto& [known, label] : kEncodingLabels)
      if (encoding == known) {
        json_.string(label);
        return *this;
      }
    json_.null();
    return *this;
  }
  // A path as JSON keeps it: as text when it is UTF-8, otherwise its bytes in hexadecimal under
  // the key's "Bytes" twin, so that no name is altered.
  RecordLine& path(const char* key, std::string_view path) {
    if (isWellFormedUtf8(path)) return text(key, path);
    static constexpr char kDigits[] = "0123456789abcdef";
    std::string hex;
    for (unsigned char byte : path) {
      hex.push_back(kDigits[byte >> 4]);
      hex.push_back(kDigits[byte & 15]);
    }
    return text((std::string(key) + "Bytes").c_str(), hex);
  }
  JsonWriter& json() { return json_; }
  std::string take() {
    json_.closeObject();
    json_.closeObject();
    return json_.take() + "\n";
  }

 private:
  JsonWriter json_;
};

// The run's id: its start time, to the nanosecond, and its process; ids sort by start.
std::string newRunId() {
  timespec now{};
  ::clock_gettime(CLOCK_REALTIME, &now);
  struct tm utc {};
  ::gmtime_r(&now.tv_sec, &utc);
  char text[64];
  std::snprintf(text, sizeof text, "%04d%02d%02dT%02d%02d%02d.%09ldZ-%ld", utc.tm_year + 1900, utc.tm_mon + 1,
                utc.tm_mday, utc.tm_hour, utc.tm_min, utc.tm_sec, now.tv_nsec, static_cast<long>(::getpid()));
  return text;
}

// The run files of the folder, oldest first, with their sizes.
std::vector<std::pair<std::string, std::uint64_t>> runFiles(int folder) {
  std::vector<std::pair<std::string, std::uint64_t>> files;
  const int listingFd = ::openat(folder, ".", O_RDONLY | O_DIRECTORY | O_CLOEXEC);
  if (listingFd < 0) return files;
  DIR* listing = ::fdopendir(listingFd);
  if (!listing) {
    ::close(listingFd);
    return files;
  }
  while (const dirent* entry = ::readdir(listing)) {
    const std::string_view name = entry->d_name;
    struct stat info;
    if (!name.ends_with(kRunSuffix) || ::fstatat(folder, entry->d_name, &info, AT_SYMLINK_NOFOLLOW) != 0 ||
        !S_ISREG(info.st_mode))
      continue;
    files.emplace_back(name, static_cast<std::uint64_t>(info.st_size));
  }
  ::closedir(listing);
  std::sort(files.begin(), files.end());
  return files;
}

// A run file's text; none when it is not the user's or cannot be read, empty when it has gone
// meanwhile (dropped by another run).
// `live`, when asked: whether a run still holds it (and may add to it).
std::optional<std::string> runText(const fs::path& file, bool* live = nullptr) {
  struct stat info;
  FileDescriptor fd = openRegularFile({AT_FDCWD, file, O_RDONLY, false}, info);
  if (!fd) return errno == ENOENT ? std::optional<std::string>(std::string()) : std::nullopt;
  if (info.st_uid != ::geteuid()) return std::nullopt;
  if (live) *live = ::flock(fd.get(), LOCK_SH | LOCK_NB) != 0 && errno == EWOULDBLOCK;
  std::string text(static_cast<std::size_t>(info.st_size), '\0');
  std::size_t got = 0;
  while (got < text.size()) {
    const ssize_t n = ::pread(fd.get(), text.data() + got, text.size() - got, static_cast<off_t>(got));
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) break;
    got += static_cast<std::size_t>(n);
  }
  text.resize(got);
  return text;
}

// Hands each whole line to `take`; false when one was not taken or the last is cut short.
template <class Take>
bool forEachLine(std::string_view text, Take&& take) {
  bool whole = true;
  std::size_t at = 0;
  while (at < text.size()) {
    const std::size_t end = text.find('\n', at);
    if (end == std::string_view::npos) return false;  // a line cut short
    whole &= take(text.substr(at, end - at));
    at = end + 1;
  }
  return whole;
}

std::optional<std::uint64_t> numberOf(const Json& body, const char* key) {
  auto found = body.find(key);
  if (found == body.end() || !found->is_number_unsigned()) return std::nullopt;
  return found->get<std::uint64_t>();
}

std::optional<ContentHash> hashOfField(const Json& body, const char* key) {
  auto found = body.find(key);
  if (found == body.end() || !found->is_string()) return std::nullopt;
  return hashFromHex(found->get<std::string>());
}

// A "wrote" record whole, as an undo needs it (the claims of a page aside).
std::optional<WriteRecord> writeRecordOf(const Json& body) {
  WriteRecord record;
  const std::optional<std::string> path = pathOf(body, "path");
  const std::optional<std::uint64_t> device = numberOf(body, "device"), inode = numberOf(body, "inode"),
                                     size = numberOf(body, "size"), formerSize = numberOf(body, "formerSize"),
                                     target = numberOf(body, "target");
  const std::optional<ContentHash> hash = hashOfField(body, "hash"), formerHash = hashOfField(body, "formerHash");
  if (!path || !device || !inode || !size || !formerSize || !hash || !formerHash || !target ||
      !targetEncodingOf(static_cast<int>(*target)))
    return std::nullopt;
  record.path = *path;
  record.device = static_cast<dev_t>(*device);
  record.inode = static_cast<ino_t>(*inode);
  record.size = *size;
  record.hash = *hash;
  record.formerSize = *formerSize;
  record.formerHash = *formerHash;
  record.target = static_cast<TargetEncoding>(*target);
  record.backup = pathOf(body, "backup").value_or(std::string());
  const std::optional<std::uint64_t> seconds = numberOf(body, "modifiedSeconds"),
                                     nanos = numberOf(body, "modifiedNanos");
  if (seconds && nanos) record.modified = timespec{static_cast<time_t>(*seconds), static_cast<long>(*nanos)};
  return record;
}

// The run's own line: its id, start and facts.
bool takeRunLine(const Json& body, RememberedRun& run) {
  auto id = body.find("id");
  const std::optional<std::uint64_t> started = numberOf(body, "started"), target = numberOf(body, "target"),
                                     lineEnding = numberOf(body, "lineEnding");
  if (id == body.end() || !id->is_string() || !started || !target || !targetEncodingOf(static_cast<int>(*target)))
    return false;
  run.id = id->get<std::string>();
  run.started = *started;
  run.facts.target = static_cast<TargetEncoding>(*target);
  if (lineEnding && *lineEnding <= static_cast<std::uint64_t>(LineEnding::Cr))
    run.facts.lineEnding = static_cast<LineEnding>(*lineEnding);
  if (auto backups = body.find("backups"); backups != body.end() && backups->is_boolean())
    run.facts.backups = backups->get<bool>();
  if (auto undoes = body.find("undoes"); undoes != body.end() && undoes->is_string())
    run.facts.undoes = undoes->get<std::string>();
  if (auto redoes = body.find("redoes"); redoes != body.end() && redoes->is_string())
    run.facts.redoes = redoes->get<std::string>();
  if (auto named = body.find("named"); named != body.end() && named->is_array())
    for (const Json& each : *named)
      if (std::optional<std::string> path = each.is_object() ? pathOf(each, "path") : std::nullopt)
        run.facts.named.push_back(std::move(*path));
  return true;
}

// One line of a run file into `run`; false when it cannot be read.
bool takeHistoryLine(std::string_view line, RememberedRun& run) {
  const Json json = Json::parse(line, nullptr, false);
  if (json.is_discarded() || !json.is_object() || json.size() != 1 || !json.begin().value().is_object()) return false;
  const std::string& kind = json.begin().key();
  const Json& body = json.begin().value();
  if (kind == "run") return takeRunLine(body, run);
  if (kind == "wrote") {
    std::optional<WriteRecord> record = writeRecordOf(body);
    if (record) run.wrote.push_back(std::move(*record));
    return record.has_value();
  }
  if (kind == "end") run.ended = true;
  if (kind != "putBack") return true;
  const std::optional<std::string> path = pathOf(body, "path"), backup = pathOf(body, "backup");
  const std::optional<std::uint64_t> device = numberOf(body, "backupDevice"), inode = numberOf(body, "backupInode");
  if (!path || !backup || !device || !inode) return false;
  run.putBack.push_back(
      {*path, *backup, static_cast<dev_t>(*device), static_cast<ino_t>(*inode), hashOfField(body, "kept")});
  return true;
}

}  // namespace

std::vector<RememberedRun> rememberedRuns(const fs::path& folder) {
  std::vector<RememberedRun> runs;
  FileDescriptor handle(::open(folder.c_str(), O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC));
  struct stat info;
  if (folder.empty() || !handle || ::fstat(handle.get(), &info) != 0 || info.st_uid != ::geteuid()) return runs;
  for (const auto& [name, size] : runFiles(handle.get())) {
    RememberedRun run;
    const std::optional<std::string> text = runText(folder / name, &run.live);
    run.damaged = !text || !forEachLine(*text, [&run](std::string_view line) { return takeHistoryLine(line, run); });
    if (!run.id.empty()) runs.push_back(std::move(run));
  }
  return runs;
}

bool holdsWhatWasWritten(const WriteRecord& record) {
  struct stat now;
  if (::stat(record.path.c_str(), &now) != 0 || !S_ISREG(now.st_mode)) return false;
  if (static_cast<std::uint64_t>(now.st_size) != record.size) return false;
  if (record.modified && now.st_dev == record.device && now.st_ino == record.inode &&
      sameTime(now.st_mtim, *record.modified))
    return true;
  std::string bytes;
  return readFile({record.path}, bytes) == ResultCode::Success && hashOf(bytes) == record.hash;
}

fs::path keptContentPath(const fs::path& folder, const ContentHash& hash) { return folder / "kept" / hexOf(hash); }

std::optional<std::string> keptContent(const fs::path& folder, const ContentHash& hash) {
  std::string bytes;
  if (readFile({keptContentPath(folder, hash), NameLink::NotFollowed}, bytes) != ResultCode::Success ||
      hashOf(bytes) != hash)
    return std::nullopt;
  return bytes;
}

fs::path memoryFolder() {
  if (const char* state = std::getenv("XDG_STATE_HOME"); state && state[0] == '/' && usersOrMissing(state))
    return fs::path(state) / "sarnavel";
  const std::string home = homeOfUser();
  if (home.empty()) return {};
  return fs::path(home) / ".local" / "state" / "sarnavel";
}

std::size_t RunMemory::DeviceInodeHash::operator()(const DeviceInode& key) const {
  return std::hash<std::uint64_t>{}(static_cast<std::uint64_t>(key.inode) * 0x9E3779B97F4A7C15u ^
                                    static_cast<std::uint64_t>(key.device));
}

std::size_t RunMemory::NameKeyHash::operator()(const NameKey& key) const {
  return DeviceInodeHash{}(key.file) ^ std::hash<std::uint64_t>{}(key.leaf);
}

MemoryState RunMemory::open(const fs::path& folder) {
  folder_ = folder;
  state_ = MemoryState::Unavailable;
  if (folder.empty() || !makeFolders(folder)) return state_;
  // The user's own folder, which no one else may write into: a record planted there would
  // decide how the user's files are read.
  FileDescriptor handle(::open(folder.c_str(), O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC));
  struct stat info;
  if (!handle || ::fstat(handle.get(), &info) != 0 || info.st_uid != ::geteuid()) return state_;
  if ((info.st_mode & 077) != 0 && ::fchmod(handle.get(), 0700) != 0) return state_;
  bool damaged = false;
  for (const auto& [name, size] : runFiles(handle.get())) damaged |= !readRun(folder / name);
  handle_ = std::move(handle);
  state_ = damaged ? MemoryState::Damaged : MemoryState::Ready;
  return state_;
}

bool RunMemory::readRun(const fs::path& file) {
  const std::optional<std::string> text = runText(file);
  if (!text) return false;
  return forEachLine(*text, [this](std::string_view line) { return take(line); });
}

bool RunMemory::take(std::string_view line) {
  const Json json = Json::parse(line, nullptr, false);
  if (json.is_discarded() || !json.is_object() || json.size() != 1) return false;
  const std::string& kind = json.begin().key();
  const Json& body = json.begin().value();
  if (!body.is_object()) return false;
  auto number = [&](const char* key) -> std::optional<std::uint64_t> {
    auto found = body.find(key);
    if (found == body.end() || !found->is_number_unsigned()) return std::nullopt;
    return found->get<std::uint64_t>();
  };
  const std::optional<std::uint64_t> device = number("device"), inode = number("inode");
  if (kind == "recovery" || kind == "temporary") {
    const std::optional<std::string> path = pathOf(body, "path");
    if (!path || !device || !inode) return false;
    const NameKey key{{static_cast<dev_t>(*device), static_cast<ino_t>(*inode)},
                      hashOfText(fs::path(*path).filename().native())};
    if (kind == "recovery") copies_.insert(key);
    else temporaryNames_.insert(key.leaf);
    return true;
  }
  if (kind != "wrote") return true;  // the run's own line, or a record of a later version
  const std::optional<std::string> path = pathOf(body, "path");
  const std::optional<std::uint64_t> size = number("size"), target = number("target");
  const std::optional<ContentHash> hash =
      body.contains("hash") && body["hash"].is_string() ? hashFromHex(body["hash"].get<std::string>()) : std::nullopt;
  if (!path || !device || !inode || !size || !hash || !target || !targetEncodingOf(static_cast<int>(*target)))
    return false;
  Entry entry{*size, *hash, {}};
  entry.remembered.target = static_cast<TargetEncoding>(*target);
  entry.remembered.site = body.contains("site") ? encodingOf(body["site"]) : std::nullopt;
  entry.remembered.lends = body.contains("lends") ? encodingOf(body["lends"]) : std::nullopt;
  entry.remembered.loadsBegin = claims_.size();
  if (auto loads = body.find("loads"); loads != body.end() && loads->is_array()) {
    for (const Json& load : *loads) {
      if (!load.is_array() || load.size() != 2 || !load[0].is_string() || !load[1].is_string()) return false;
      const std::string& charset = load[1].get_ref<const std::string&>();
      auto known = std::find(charsets_.begin(), charsets_.end(), charset);
      if (known == charsets_.end()) known = charsets_.insert(charsets_.end(), charset);
      claims_.push_back({hashOfText(rememberedForm(load[0].get<std::string>())),
                         static_cast<std::uint32_t>(known - charsets_.begin())});
    }
  }
  entry.remembered.loadsEnd = claims_.size();
  const std::size_t index = entries_.size();
  entries_.push_back(std::move(entry));
  byPath_.emplace(hashOfText(rememberedForm(*path)), index);
  byInode_.emplace(DeviceInode{static_cast<dev_t>(*device), static_cast<ino_t>(*inode)}, index);
  return true;
}

std::vector<const RunMemory::Entry*> RunMemory::candidates(std::string_view path, dev_t device, ino_t inode,
                                                           std::uint64_t size) const {
  std::vector<const Entry*> found;
  if (entries_.empty()) return found;
  auto add = [&](auto range) {
    for (auto it = range.first; it != range.second; ++it)
      if (entries_[it->second].size == size) found.push_back(&entries_[it->second]);
  };
  add(byInode_.equal_range(DeviceInode{device, inode}));
  add(byPath_.equal_range(hashOfText(rememberedForm(path))));
  return found;
}

std::optional<std::string> RunMemory::claimOf(const RememberedWrite& page, std::string_view path) const {
  const std::uint64_t key = hashOfText(rememberedForm(path));
  for (std::size_t k = page.loadsBegin; k < page.loadsEnd && k < claims_.size(); ++k)
    if (claims_[k].path == key) return charsets_[claims_[k].charset];
  return std::nullopt;
}

bool RunMemory::madeRecoveryCopy(std::string_view leaf, dev_t device, ino_t inode) const {
  return copies_.count(NameKey{{device, inode}, hashOfText(leaf)}) != 0;
}

bool RunMemory::madeTemporary(std::string_view leaf) const { return temporaryNames_.count(hashOfText(leaf)) != 0; }

bool RunMemory::startRecording(const RunFacts& run) {
  std::lock_guard<std::mutex> lock(mutex_);
  if (!handle_ || record_) return static_cast<bool>(record_);
  const std::string id = newRunId();
  FileDescriptor file(::openat(handle_.get(), (id + std::string(kRunSuffix)).c_str(),
                               O_WRONLY | O_CREAT | O_EXCL | O_APPEND | O_NOFOLLOW | O_CLOEXEC, 0600));
  // Held while the run lives: a run that drops old records leaves this one alone.
  if (!file || ::flock(file.get(), LOCK_EX | LOCK_NB) != 0) return false;
  RecordLine line("run");
  line.text("id", id).number("started", static_cast<std::uint64_t>(::time(nullptr)));
  line.json().key("named");
  line.json().openArray();
  for (const std::string& path : run.named) {
    line.json().openObject();
    line.path("path", path);
    line.json().closeObject();
  }
  line.json().closeArray();
  line.number("target", static_cast<std::uint64_t>(run.target));
  line.number("lineEnding", static_cast<std::uint64_t>(run.lineEnding));
  line.json().key("backups");
  line.json().boolean(run.backups);
  if (!run.undoes.empty()) line.text("undoes", run.undoes);
  if (!run.redoes.empty()) line.text("redoes", run.redoes);
  if (!writeAll(file.get(), line.take())) return false;
  record_ = std::move(file);
  runId_ = id;
  dropOldRuns();
  return true;
}

bool RunMemory::recording() const {
  std::lock_guard<std::mutex> lock(mutex_);
  return record_ && !broken_;
}

void RunMemory::dropOldRuns() {
  std::vector<std::pair<std::string, std::uint64_t>> files = runFiles(handle_.get());
  std::uint64_t total = 0;
  for (const auto& file : files) total += file.second;
  std::size_t count = files.size();
  bool dropped = false;
  for (const auto& [name, size] : files) {
    if (count <= kKeptRuns && total <= kKeptBytes) break;
    if (name == runId_ + std::string(kRunSuffix)) continue;
    FileDescriptor old(::openat(handle_.get(), name.c_str(), O_RDONLY | O_NOFOLLOW | O_CLOEXEC));
    if (!old || ::flock(old.get(), LOCK_EX | LOCK_NB) != 0) continue;  // a run still writes it
    if (::unlinkat(handle_.get(), name.c_str(), 0) != 0) continue;
    --count;
    total -= size;
    dropped = true;
  }
  if (dropped) dropUnnamedKept();
}

void RunMemory::dropUnnamedKept() {
  // Nothing goes while another run is under way (an undo keeps a file's bytes before it records
  // them) or while a record cannot be read whole (it may name any).
  const std::vector<RememberedRun> runs = rememberedRuns(folder_);
  if (runs.size() != runFiles(handle_.get()).size()) return;
  std::set<std::string> named;
  for (const RememberedRun& run : runs) {
    if (run.damaged || (run.live && run.id != runId_)) return;
    for (const PutBackRecord& record : run.putBack)
      if (record.kept) named.insert(hexOf(*record.kept));
  }
  const FileDescriptor kept(::openat(handle_.get(), "kept", O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC));
  if (!kept) return;
  std::vector<std::string> unnamed;
  if (DIR* listing = ::fdopendir(::dup(kept.get()))) {
    while (const dirent* entry = ::readdir(listing))
      if (entry->d_name[0] != '.' && !named.count(entry->d_name)) unnamed.emplace_back(entry->d_name);
    ::closedir(listing);
  }
  for (const std::string& name : unnamed) ::unlinkat(kept.get(), name.c_str(), 0);
}

bool RunMemory::keep(const ContentHash& hash, std::string_view bytes) {
  if (!handle_) return false;
  if (keptContent(folder_, hash)) return true;
  const fs::path path = keptContentPath(folder_, hash);
  if (!makeFolders(path.parent_path())) return false;
  const std::string_view pieces[] = {bytes};
  return replaceFile({path, pieces}).ok();
}

std::uint64_t RunMemory::append(const std::string& line) {
  std::lock_guard<std::mutex> lock(mutex_);
  if (!record_) return 0;
  // A line that could not be written still gets a number, one no flush ever makes durable:
  // whoever waits for it learns that it is not on disk.
  if (broken_ || !writeAll(record_.get(), line)) {
    broken_ = true;
    return appended_ + 1;
  }
  return ++appended_;
}

bool RunMemory::durableThrough(std::uint64_t number) {
  std::unique_lock<std::mutex> lock(mutex_);
  if (number == 0 || !record_) return false;
  // One flush at a time, for every line appended when it began (group commit): a caller whose
  // line a flush under way covers waits for it rather than flushing again.
  for (;;) {
    if (durable_ >= number) return true;
    if (broken_) return false;
    if (!flushing_) break;
    flushDone_.wait(lock);
  }
  flushing_ = true;
  const std::uint64_t covered = appended_;
  const int fd = record_.get();
  lock.unlock();
  const bool flushed = ::fdatasync(fd) == 0;
  lock.lock();
  flushing_ = false;
  if (flushed) durable_ = std::max(durable_, covered);
  else broken_ = true;
  flushDone_.notify_all();
  return flushed && durable_ >= number;
}

std::uint64_t RunMemory::recordWrite(const WriteRecord& record) {
  RecordLine line("wrote");
  line.path("path", rememberedForm(record.path));
  line.number("device", static_cast<std::uint64_t>(record.device));
  line.number("inode", static_cast<std::uint64_t>(record.inode));
  line.number("size", record.size).text("hash", hexOf(record.hash));
  line.number("formerSize", record.formerSize).text("formerHash", hexOf(record.formerHash));
  line.number("target", static_cast<std::uint64_t>(record.target));
  line.label("site", record.site).label("lends", record.lends);
  if (record.modified) {
    line.number("modifiedSeconds", static_cast<std::uint64_t>(record.modified->tv_sec));
    line.number("modifiedNanos", static_cast<std::uint64_t>(record.modified->tv_nsec));
  }
  if (record.backup.empty()) {
    line.json().key("backup");
    line.json().null();
  } else {
    line.path("backup", rememberedForm(record.backup));
  }
  if (!record.loads.empty()) {
    line.json().key("loads");
    line.json().openArray();
    for (std::size_t k = 0; k < record.loads.size() && k < kMaxLoadsRecorded; ++k) {
      const auto& load = record.loads[k];
      // A name that is not UTF-8 is not recorded: its claim is merely not known.
      if (!isWellFormedUtf8(load.path) || !isWellFormedUtf8(load.charset)) continue;
      line.json().openArray();
      line.json().string(load.path);
      line.json().string(load.charset);
      line.json().closeArray();
    }
    line.json().closeArray();
  }
  return append(line.take());
}

bool RunMemory::recordPutBack(const PutBackRecord& record) {
  RecordLine line("putBack");
  line.path("path", rememberedForm(record.path));
  line.path("backup", rememberedForm(record.backup));
  line.number("backupDevice", static_cast<std::uint64_t>(record.backupDevice));
  line.number("backupInode", static_cast<std::uint64_t>(record.backupInode));
  if (record.kept) line.text("kept", hexOf(*record.kept));
  return durableThrough(append(line.take()));
}

bool RunMemory::recordEnd() { return durableThrough(append(RecordLine("end").take())); }

bool RunMemory::recordRecoveryCopy(const NameRecord& copy) {
  RecordLine line("recovery");
  line.path("path", rememberedForm(copy.path));
  line.number("device", static_cast<std::uint64_t>(copy.device));
  line.number("inode", static_cast<std::uint64_t>(copy.inode));
  line.path("file", rememberedForm(copy.file));
  return durableThrough(append(line.take()));
}

void RunMemory::recordTemporary(const NameRecord& temporary) {
  RecordLine line("temporary");
  line.path("path", rememberedForm(temporary.path));
  line.number("device", static_cast<std::uint64_t>(temporary.device));
  line.number("inode", static_cast<std::uint64_t>(temporary.inode));
  append(line.take());
}

}  // namespace sarnavel
