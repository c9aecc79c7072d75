/* A library preloaded (LD_PRELOAD) into sarnavel-cli by the power-cut test: it records every
 * call by which the process changes the file system or makes it durable, one line per call,
 * so that the test can replay the run and ask what a disk would hold had the power gone after
 * any one of them.
 *
 * Contract. Without SARNAVEL_FS_TRACE in the environment every call passes straight through.
 * With it, each call below that succeeds appends a line to that file, in the order the kernel
 * did them: the calls are made one at a time under one lock, with the line written before the
 * lock is let go. Files and folders are named by "DEV:INO" in hexadecimal, leaf names and
 * bytes in hexadecimal. The lines (power_cut_trace.h reads them):
 *   create OBJ DIR NAME MODE UID GID   open/creat made a new file NAME in folder DIR
 *   tmpfile OBJ MODE UID GID           an unnamed file (O_TMPFILE)
 *   trunc OBJ LENGTH                   O_TRUNC, ftruncate, truncate
 *   write OBJ OFFSET BYTES             write, pwrite, writev, pwritev (regular files only)
 *   fsync OBJ | fdatasync OBJ          a file's or a folder's flush
 *   syncall                            sync, syncfs
 *   sfr OBJ                            sync_file_range (which makes nothing durable)
 *   rename SDIR SNAME DDIR DNAME FLAGS OBJ
 *   link OBJ DDIR DNAME
 *   unlink DIR NAME | rmdir DIR NAME
 *   mkdir OBJ DIR NAME MODE
 *   mode OBJ MODE | owner OBJ UID GID
 *   xattr OBJ NAME VALUE | rmxattr OBJ NAME
 *   close OBJ
 *   unknown CALL ID...                 a call not modelled, with what it touched ("-": nothing
 *                                      found); the test fails when it touched the run's folder
 * SARNAVEL_FS_TRACE_DROP=file-flush (or folder-flush) turns fsync and fdatasync of regular
 * files (of folders) into no-ops that are not recorded: the test's own proof that it notices a
 * missing flush.
 *
 * Written in C: a C++ definition of open() or write() would have to match glibc's exception
 * specifications one by one. */
#define _GNU_SOURCE
#undef _FILE_OFFSET_BITS
#undef _FORTIFY_SOURCE

#include <dlfcn.h>
#include <errno.h>
#include <fcntl.h>
#include <pthread.h>
#include <stdarg.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>
#include <sys/mman.h>
#include <sys/sendfile.h>
#include <sys/stat.h>
#include <sys/syscall.h>
#include <sys/time.h>
#include <sys/uio.h>
#include <sys/xattr.h>
#include <unistd.h>
#include <utime.h>

#define EXPORT __attribute__((visibility("default")))

/* ---- state ------------------------------------------------------------------------------ */

static int g_tracing;        /* SARNAVEL_FS_TRACE was given */
static int g_drop_file_flush;
static int g_drop_folder_flush;
static char g_trace_path[4096];
static int g_trace_fd = -1;
static pthread_mutex_t g_lock = PTHREAD_MUTEX_INITIALIZER;
/* Calls made while this thread already holds the lock (or from a signal handler interrupting
 * it) pass through unrecorded. */
static __thread int t_depth __attribute__((tls_model("initial-exec")));

enum { kTraceFdFloor = 900 };

static void open_trace(void) {
  int fd = (int)syscall(SYS_openat, AT_FDCWD, g_trace_path, O_WRONLY | O_CREAT | O_APPEND | O_CLOEXEC, 0600);
  if (fd < 0) return;
  /* Far from the descriptors the program uses, so it is not taken for one of them. */
  int high = fcntl(fd, F_DUPFD_CLOEXEC, kTraceFdFloor);
  if (high >= 0) {
    syscall(SYS_close, fd);
    fd = high;
  }
  g_trace_fd = fd;
}

__attribute__((constructor)) static void start_tracing(void) {
  const char* path = getenv("SARNAVEL_FS_TRACE");
  if (path == NULL || *path == '\0' || strlen(path) >= sizeof g_trace_path) return;
  strcpy(g_trace_path, path);
  const char* drop = getenv("SARNAVEL_FS_TRACE_DROP");
  g_drop_file_flush = drop != NULL && strcmp(drop, "file-flush") == 0;
  g_drop_folder_flush = drop != NULL && strcmp(drop, "folder-flush") == 0;
  open_trace();
  g_tracing = g_trace_fd >= 0;
}

static int enter(void) {
  if (!g_tracing || t_depth > 0) return 0;
  pthread_mutex_lock(&g_lock);
  ++t_depth;
  return 1;
}

static void leave(int entered, int saved_errno) {
  if (entered) {
    --t_depth;
    pthread_mutex_unlock(&g_lock);
  }
  errno = saved_errno;
}

static void *real(const char *name) {
  void *function = dlsym(RTLD_NEXT, name);
  if (function == NULL) {
    static const char kMissing[] = "fs_trace_shim: a libc function cannot be found\n";
    syscall(SYS_write, 2, kMissing, sizeof kMissing - 1);
    abort();
  }
  return function;
}

/* The next definition of NAME, kept in CACHE (for helpers shared by two names). */
static void *pick(void **cache, const char *name) {
  if (*cache == NULL) *cache = real(name);
  return *cache;
}

/* The next definition of NAME (libc's, or a sanitizer's in front of it), looked up once. */
#define REAL(name)                        \
  static __typeof__(&name) real_##name;     \
  if (real_##name == NULL) real_##name = (__typeof__(&name))real(#name)

/* ---- writing the trace ------------------------------------------------------------------ */

static int write_fully(int fd, const char *text, size_t size) {
  while (size > 0) {
    long written = syscall(SYS_write, fd, text, size);
    if (written < 0 && errno == EINTR) continue;
    if (written <= 0) return 0;
    text += written;
    size -= (size_t)written;
  }
  return 1;
}

/* A line is appended whole; should the program have closed our descriptor, it is opened
 * again once. */
static void put_line(const char *text, size_t size) {
  if (write_fully(g_trace_fd, text, size)) return;
  open_trace();
  write_fully(g_trace_fd, text, size);
}

typedef struct {
  char *text;
  size_t size, capacity;
} Line;

static void add_raw(Line *line, const char *text, size_t size) {
  if (line->text == NULL) return;
  if (line->size + size + 2 > line->capacity) {
    size_t capacity = (line->size + size + 2) * 2;
    char *grown = realloc(line->text, capacity);
    if (grown == NULL) {
      free(line->text);
      line->text = NULL;
      return;
    }
    line->text = grown;
    line->capacity = capacity;
  }
  memcpy(line->text + line->size, text, size);
  line->size += size;
}

static void add(Line *line, const char *format, ...) {
  char buffer[128];
  va_list arguments;
  va_start(arguments, format);
  int size = vsnprintf(buffer, sizeof buffer, format, arguments);
  va_end(arguments);
  if (size > 0) add_raw(line, buffer, (size_t)size < sizeof buffer ? (size_t)size : sizeof buffer - 1);
}

static void add_hex(Line *line, const void *bytes, size_t size) {
  static const char kDigits[] = "0123456789abcdef";
  const unsigned char *at = bytes;
  add_raw(line, " ", 1);
  if (size == 0) add_raw(line, "-", 1);
  char chunk[256];
  while (size > 0) {
    size_t n = size < sizeof chunk / 2 ? size : sizeof chunk / 2;
    for (size_t k = 0; k < n; ++k) {
      chunk[2 * k] = kDigits[at[k] >> 4];
      chunk[2 * k + 1] = kDigits[at[k] & 15];
    }
    add_raw(line, chunk, 2 * n);
    at += n;
    size -= n;
  }
}

static void add_id(Line *line, const struct stat *info) {
  if (info == NULL) {
    add_raw(line, " -", 2);
    return;
  }
  add(line, " %lx:%lx", (unsigned long)info->st_dev, (unsigned long)info->st_ino);
}

static Line begin(const char *operation) {
  Line line = {malloc(256), 0, 256};
  add_raw(&line, operation, strlen(operation));
  return line;
}

static void finish(Line *line) {
  add_raw(line, "\n", 1);
  if (line->text != NULL) put_line(line->text, line->size);
  free(line->text);
}

/* ---- finding what a call touches -------------------------------------------------------- */

static int status_of_fd(int fd, struct stat *info) { return fd >= 0 && fstat(fd, info) == 0; }

static int is_file_or_folder(const struct stat *info) { return S_ISREG(info->st_mode) || S_ISDIR(info->st_mode); }

/* The folder holding PATH (relative to DIRFD) and PATH's last name. */
static int split_path(int dirfd, const char *path, struct stat *folder, char *leaf, size_t leaf_size) {
  if (path == NULL) return 0;
  size_t length = strlen(path);
  while (length > 1 && path[length - 1] == '/') --length;
  if (length == 0 || length >= 4096) return 0;
  const char *end = path + length;
  const char *slash = end;
  while (slash > path && slash[-1] != '/') --slash;
  size_t leaf_length = (size_t)(end - slash);
  if (leaf_length + 1 > leaf_size) return 0;
  memcpy(leaf, slash, leaf_length);
  leaf[leaf_length] = '\0';
  if (slash == path) return fstatat(dirfd, ".", folder, 0) == 0;
  char parent[4096];
  size_t parent_length = (size_t)(slash - path);
  while (parent_length > 1 && path[parent_length - 1] == '/') --parent_length;
  memcpy(parent, path, parent_length);
  parent[parent_length] = '\0';
  return fstatat(dirfd, parent, folder, 0) == 0;
}

typedef struct {
  int found;
  struct stat folder;
  char leaf[512];
} Place;

static Place place_of(int dirfd, const char *path) {
  Place place;
  place.found = split_path(dirfd, path, &place.folder, place.leaf, sizeof place.leaf);
  return place;
}

static void add_place(Line *line, const Place *place) {
  add_id(line, place->found ? &place->folder : NULL);
  add_hex(line, place->found ? place->leaf : "", place->found ? strlen(place->leaf) : 0);
}

/* An "unknown" line for a call that touched the file or folder INFO (NULL: none found) and,
 * when FOLDER is given, that folder. */
static void record_unknown(const char *call, const struct stat *info, const struct stat *folder) {
  Line line = begin("unknown");
  add(&line, " %s", call);
  add_id(&line, info);
  if (folder != NULL) add_id(&line, folder);
  finish(&line);
}

static void record_unknown_path(const char *call, int dirfd, const char *path, int follow) {
  struct stat info;
  int found = path != NULL && fstatat(dirfd, path, &info, follow ? 0 : AT_SYMLINK_NOFOLLOW) == 0;
  Place place = place_of(dirfd, path);
  record_unknown(call, found ? &info : NULL, place.found ? &place.folder : NULL);
}

/* ---- opening and creating --------------------------------------------------------------- */

enum OpenKind { kOpen, kOpen64, kOpenat, kOpenat64 };

static int call_open(enum OpenKind kind, int dirfd, const char *path, int flags, mode_t mode) {
  switch (kind) {
    case kOpen: {
      REAL(open);
      return real_open(path, flags, mode);
    }
    case kOpen64: {
      REAL(open64);
      return real_open64(path, flags, mode);
    }
    case kOpenat: {
      REAL(openat);
      return real_openat(dirfd, path, flags, mode);
    }
    case kOpenat64: {
      REAL(openat64);
      return real_openat64(dirfd, path, flags, mode);
    }
  }
  return -1;
}

static int traced_open(enum OpenKind kind, int dirfd, const char *path, int flags, mode_t mode) {
  const int unnamed = (flags & O_TMPFILE) == O_TMPFILE;
  const int creating = (flags & O_CREAT) != 0;
  const int truncating = (flags & O_TRUNC) != 0 && (flags & O_ACCMODE) != O_RDONLY;
  if (!unnamed && !creating && !truncating) return call_open(kind, dirfd, path, flags, mode);
  const int entered = enter();
  if (!entered) return call_open(kind, dirfd, path, flags, mode);
  struct stat before;
  const int existed = fstatat(dirfd, path, &before, (flags & O_NOFOLLOW) ? AT_SYMLINK_NOFOLLOW : 0) == 0;
  const int fd = call_open(kind, dirfd, path, flags, mode);
  const int saved = errno;
  struct stat info;
  if (fd >= 0 && status_of_fd(fd, &info)) {
    if (unnamed) {
      Line line = begin("tmpfile");
      add_id(&line, &info);
      add(&line, " %o %u %u", (unsigned)(info.st_mode & 07777), (unsigned)info.st_uid, (unsigned)info.st_gid);
      finish(&line);
    } else if (!existed && S_ISREG(info.st_mode)) {
      Place place = place_of(dirfd, path);
      Line line = begin("create");
      add_id(&line, &info);
      add_place(&line, &place);
      add(&line, " %o %u %u", (unsigned)(info.st_mode & 07777), (unsigned)info.st_uid, (unsigned)info.st_gid);
      finish(&line);
    } else if (existed && truncating && S_ISREG(info.st_mode)) {
      Line line = begin("trunc");
      add_id(&line, &info);
      add(&line, " 0");
      finish(&line);
    }
  }
  leave(entered, saved);
  return fd;
}

static mode_t mode_argument(int flags, va_list arguments) {
  return (flags & O_CREAT) || (flags & O_TMPFILE) == O_TMPFILE ? (mode_t)va_arg(arguments, int) : 0;
}

EXPORT int open(const char *path, int flags, ...) {
  va_list arguments;
  va_start(arguments, flags);
  mode_t mode = mode_argument(flags, arguments);
  va_end(arguments);
  return traced_open(kOpen, AT_FDCWD, path, flags, mode);
}

EXPORT int open64(const char *path, int flags, ...) {
  va_list arguments;
  va_start(arguments, flags);
  mode_t mode = mode_argument(flags, arguments);
  va_end(arguments);
  return traced_open(kOpen64, AT_FDCWD, path, flags, mode);
}

EXPORT int openat(int dirfd, const char *path, int flags, ...) {
  va_list arguments;
  va_start(arguments, flags);
  mode_t mode = mode_argument(flags, arguments);
  va_end(arguments);
  return traced_open(kOpenat, dirfd, path, flags, mode);
}

EXPORT int openat64(int dirfd, const char *path, int flags, ...) {
  va_list arguments;
  va_start(arguments, flags);
  mode_t mode = mode_argument(flags, arguments);
  va_end(arguments);
  return traced_open(kOpenat64, dirfd, path, flags, mode);
}

EXPORT int creat(const char *path, mode_t mode) { return traced_open(kOpen, AT_FDCWD, path, O_CREAT | O_WRONLY | O_TRUNC, mode); }
EXPORT int creat64(const char *path, mode_t mode) { return traced_open(kOpen64, AT_FDCWD, path, O_CREAT | O_WRONLY | O_TRUNC, mode); }

/* ---- writing ---------------------------------------------------------------------------- */

/* BYTES written at OFFSET into the regular file INFO. */
static void record_write(const struct stat *info, off_t offset, const void *bytes, size_t size) {
  Line line = begin("write");
  add_id(&line, info);
  add(&line, " %lld", (long long)offset);
  add_hex(&line, bytes, size);
  finish(&line);
}

/* The gathered bytes of an iovec, as far as SIZE reaches; NULL when out of memory. */
static char *gather(const struct iovec *vector, int count, size_t size) {
  char *bytes = malloc(size > 0 ? size : 1);
  if (bytes == NULL) return NULL;
  size_t at = 0;
  for (int k = 0; k < count && at < size; ++k) {
    size_t n = vector[k].iov_len < size - at ? vector[k].iov_len : size - at;
    memcpy(bytes + at, vector[k].iov_base, n);
    at += n;
  }
  return bytes;
}

/* Where a write() at the descriptor's own position lands. */
static off_t position_of(int fd, const struct stat *info) {
  const int flags = fcntl(fd, F_GETFL);
  return flags >= 0 && (flags & O_APPEND) ? info->st_size : lseek(fd, 0, SEEK_CUR);
}

EXPORT ssize_t write(int fd, const void *bytes, size_t size) {
  REAL(write);
  struct stat info;
  /* Writes to pipes and terminals pass unlocked: they may wait for a reader. */
  if (!g_tracing || t_depth > 0 || !status_of_fd(fd, &info) || !S_ISREG(info.st_mode)) return real_write(fd, bytes, size);
  const int entered = enter();
  const off_t offset = position_of(fd, &info);
  const ssize_t written = real_write(fd, bytes, size);
  const int saved = errno;
  if (entered && written > 0) record_write(&info, offset, bytes, (size_t)written);
  leave(entered, saved);
  return written;
}

EXPORT ssize_t writev(int fd, const struct iovec *vector, int count) {
  REAL(writev);
  struct stat info;
  if (!g_tracing || t_depth > 0 || !status_of_fd(fd, &info) || !S_ISREG(info.st_mode)) return real_writev(fd, vector, count);
  const int entered = enter();
  const off_t offset = position_of(fd, &info);
  const ssize_t written = real_writev(fd, vector, count);
  const int saved = errno;
  if (entered && written > 0) {
    char *bytes = gather(vector, count, (size_t)written);
    if (bytes != NULL) record_write(&info, offset, bytes, (size_t)written);
    else record_unknown("writev", &info, NULL);
    free(bytes);
  }
  leave(entered, saved);
  return written;
}

static ssize_t traced_pwrite(void **cache, const char *name, int fd, const void *bytes, size_t size, off_t offset) {
  typedef ssize_t (*Pwrite)(int, const void *, size_t, off_t);
  Pwrite call = (Pwrite)pick(cache, name);
  struct stat info;
  if (!g_tracing || t_depth > 0 || !status_of_fd(fd, &info) || !S_ISREG(info.st_mode)) return call(fd, bytes, size, offset);
  const int entered = enter();
  const ssize_t written = call(fd, bytes, size, offset);
  const int saved = errno;
  if (entered && written > 0) record_write(&info, offset, bytes, (size_t)written);
  leave(entered, saved);
  return written;
}

EXPORT ssize_t pwrite(int fd, const void *bytes, size_t size, off_t offset) {
  static void *cache;
  return traced_pwrite(&cache, "pwrite", fd, bytes, size, offset);
}
EXPORT ssize_t pwrite64(int fd, const void *bytes, size_t size, off64_t offset) {
  static void *cache;
  return traced_pwrite(&cache, "pwrite64", fd, bytes, size, offset);
}

static ssize_t traced_pwritev(void **cache, const char *name, int fd, const struct iovec *vector, int count, off_t offset, int flags,
                              int with_flags) {
  typedef ssize_t (*Pwritev)(int, const struct iovec *, int, off_t);
  typedef ssize_t (*Pwritev2)(int, const struct iovec *, int, off_t, int);
  void *call = pick(cache, name);
  struct stat info;
  const int traced = g_tracing && t_depth == 0 && status_of_fd(fd, &info) && S_ISREG(info.st_mode);
  const int entered = traced ? enter() : 0;
  /* pwritev2 with offset -1 writes at the descriptor's own position. */
  const off_t at = entered && offset == -1 ? position_of(fd, &info) : offset;
  const ssize_t written = with_flags ? ((Pwritev2)call)(fd, vector, count, offset, flags) : ((Pwritev)call)(fd, vector, count, offset);
  const int saved = errno;
  if (entered && written > 0) {
    char *bytes = gather(vector, count, (size_t)written);
    if (bytes != NULL) record_write(&info, at, bytes, (size_t)written);
    else record_unknown(name, &info, NULL);
    free(bytes);
  }
  leave(entered, saved);
  return written;
}

EXPORT ssize_t pwritev(int fd, const struct iovec *vector, int count, off_t offset) {
  static void *cache;
  return traced_pwritev(&cache, "pwritev", fd, vector, count, offset, 0, 0);
}
EXPORT ssize_t pwritev64(int fd, const struct iovec *vector, int count, off64_t offset) {
  static void *cache;
  return traced_pwritev(&cache, "pwritev64", fd, vector, count, offset, 0, 0);
}
EXPORT ssize_t pwritev2(int fd, const struct iovec *vector, int count, off_t offset, int flags) {
  static void *cache;
  return traced_pwritev(&cache, "pwritev2", fd, vector, count, offset, flags, 1);
}

static void record_length(const struct stat *info, off_t length) {
  Line line = begin("trunc");
  add_id(&line, info);
  add(&line, " %lld", (long long)length);
  finish(&line);
}

static int traced_ftruncate(void **cache, const char *name, int fd, off_t length) {
  typedef int (*Ftruncate)(int, off_t);
  Ftruncate call = (Ftruncate)pick(cache, name);
  const int entered = enter();
  const int result = call(fd, length);
  const int saved = errno;
  struct stat info;
  if (entered && result == 0 && status_of_fd(fd, &info) && S_ISREG(info.st_mode)) record_length(&info, length);
  leave(entered, saved);
  return result;
}

EXPORT int ftruncate(int fd, off_t length) {
  static void *cache;
  return traced_ftruncate(&cache, "ftruncate", fd, length);
}
EXPORT int ftruncate64(int fd, off64_t length) {
  static void *cache;
  return traced_ftruncate(&cache, "ftruncate64", fd, length);
}

static int traced_truncate(void **cache, const char *name, const char *path, off_t length) {
  typedef int (*Truncate)(const char *, off_t);
  Truncate call = (Truncate)pick(cache, name);
  const int entered = enter();
  const int result = call(path, length);
  const int saved = errno;
  struct stat info;
  if (entered && result == 0 && stat(path, &info) == 0 && S_ISREG(info.st_mode)) record_length(&info, length);
  leave(entered, saved);
  return result;
}

EXPORT int truncate(const char *path, off_t length) {
  static void *cache;
  return traced_truncate(&cache, "truncate", path, length);
}
EXPORT int truncate64(const char *path, off64_t length) {
  static void *cache;
  return traced_truncate(&cache, "truncate64", path, length);
}

/* ---- flushing --------------------------------------------------------------------------- */

static int traced_flush(void **cache, const char *name, int fd) {
  typedef int (*Flush)(int);
  Flush call = (Flush)pick(cache, name);
  struct stat info;
  if (!g_tracing || t_depth > 0 || !status_of_fd(fd, &info) || !is_file_or_folder(&info)) return call(fd);
  const int folder = S_ISDIR(info.st_mode);
  if ((folder && g_drop_folder_flush) || (!folder && g_drop_file_flush)) return 0;
  const int entered = enter();
  const int result = call(fd);
  const int saved = errno;
  if (entered && result == 0) {
    Line line = begin(name);
    add_id(&line, &info);
    finish(&line);
  }
  leave(entered, saved);
  return result;
}

EXPORT int fsync(int fd) {
  static void *cache;
  return traced_flush(&cache, "fsync", fd);
}
EXPORT int fdatasync(int fd) {
  static void *cache;
  return traced_flush(&cache, "fdatasync", fd);
}

EXPORT int syncfs(int fd) {
  REAL(syncfs);
  const int entered = enter();
  const int result = real_syncfs(fd);
  const int saved = errno;
  if (entered && result == 0) {
    Line line = begin("syncall");
    finish(&line);
  }
  leave(entered, saved);
  return result;
}

EXPORT void sync(void) {
  REAL(sync);
  const int entered = enter();
  real_sync();
  if (entered) {
    Line line = begin("syncall");
    finish(&line);
  }
  leave(entered, errno);
}

EXPORT int sync_file_range(int fd, off64_t offset, off64_t size, unsigned int flags) {
  REAL(sync_file_range);
  const int entered = enter();
  const int result = real_sync_file_range(fd, offset, size, flags);
  const int saved = errno;
  struct stat info;
  if (entered && result == 0 && status_of_fd(fd, &info)) {
    Line line = begin("sfr");
    add_id(&line, &info);
    finish(&line);
  }
  leave(entered, saved);
  return result;
}

/* ---- names: rename, link, unlink, mkdir ------------------------------------------------- */

/* The one place every rename goes through: WHICH selects rename, renameat or renameat2. */
static int do_rename(int which, int from_dir, const char *from, int to_dir, const char *to, unsigned int flags) {
  const int entered = enter();
  Place source = {0}, target = {0};
  struct stat moved;
  int found = 0;
  if (entered) {
    source = place_of(from_dir, from);
    target = place_of(to_dir, to);
    found = fstatat(from_dir, from, &moved, AT_SYMLINK_NOFOLLOW) == 0;
  }
  int result;
  if (which == 0) {
    REAL(rename);
    result = real_rename(from, to);
  } else if (which == 1) {
    REAL(renameat);
    result = real_renameat(from_dir, from, to_dir, to);
  } else {
    REAL(renameat2);
    result = real_renameat2(from_dir, from, to_dir, to, flags);
  }
  const int saved = errno;
  if (entered && result == 0) {
    Line line = begin("rename");
    add_place(&line, &source);
    add_place(&line, &target);
    add(&line, " %u", flags);
    add_id(&line, found ? &moved : NULL);
    finish(&line);
  }
  leave(entered, saved);
  return result;
}

EXPORT int rename(const char *from, const char *to) { return do_rename(0, AT_FDCWD, from, AT_FDCWD, to, 0); }
EXPORT int renameat(int from_dir, const char *from, int to_dir, const char *to) { return do_rename(1, from_dir, from, to_dir, to, 0); }
EXPORT int renameat2(int from_dir, const char *from, int to_dir, const char *to, unsigned int flags) {
  return do_rename(2, from_dir, from, to_dir, to, flags);
}

static int do_link(int which, int from_dir, const char *from, int to_dir, const char *to, int flags) {
  const int entered = enter();
  int result;
  if (which == 0) {
    REAL(link);
    result = real_link(from, to);
  } else {
    REAL(linkat);
    result = real_linkat(from_dir, from, to_dir, to, flags);
  }
  const int saved = errno;
  if (entered && result == 0) {
    struct stat linked;
    const int how = (flags & AT_EMPTY_PATH) ? AT_EMPTY_PATH : (flags & AT_SYMLINK_FOLLOW) ? 0 : AT_SYMLINK_NOFOLLOW;
    Place target = place_of(to_dir, to);
    Line line = begin("link");
    add_id(&line, fstatat(from_dir, from, &linked, how) == 0 ? &linked : NULL);
    add_place(&line, &target);
    finish(&line);
  }
  leave(entered, saved);
  return result;
}

EXPORT int link(const char *from, const char *to) { return do_link(0, AT_FDCWD, from, AT_FDCWD, to, 0); }
EXPORT int linkat(int from_dir, const char *from, int to_dir, const char *to, int flags) { return do_link(1, from_dir, from, to_dir, to, flags); }

/* WHICH: 0 unlink, 1 unlinkat, 2 rmdir, 3 remove. */
static int do_unlink(int which, int dirfd, const char *path, int flags) {
  const int entered = enter();
  Place place = {0};
  struct stat info;
  int folder = (flags & AT_REMOVEDIR) != 0 || which == 2;
  if (entered) {
    place = place_of(dirfd, path);
    if (which == 3 && fstatat(dirfd, path, &info, AT_SYMLINK_NOFOLLOW) == 0) folder = S_ISDIR(info.st_mode);
  }
  int result;
  if (which == 0) {
    REAL(unlink);
    result = real_unlink(path);
  } else if (which == 1) {
    REAL(unlinkat);
    result = real_unlinkat(dirfd, path, flags);
  } else if (which == 2) {
    REAL(rmdir);
    result = real_rmdir(path);
  } else {
    /* glibc's remove() unlinks without passing through unlink(): it is done here instead. */
    REAL(unlink);
    REAL(rmdir);
    result = folder ? real_rmdir(path) : real_unlink(path);
  }
  const int saved = errno;
  if (entered && result == 0) {
    Line line = begin(folder ? "rmdir" : "unlink");
    add_place(&line, &place);
    finish(&line);
  }
  leave(entered, saved);
  return result;
}

EXPORT int unlink(const char *path) { return do_unlink(0, AT_FDCWD, path, 0); }
EXPORT int unlinkat(int dirfd, const char *path, int flags) { return do_unlink(1, dirfd, path, flags); }
EXPORT int rmdir(const char *path) { return do_unlink(2, AT_FDCWD, path, AT_REMOVEDIR); }
EXPORT int remove(const char *path) { return do_unlink(3, AT_FDCWD, path, 0); }

static int do_mkdir(int which, int dirfd, const char *path, mode_t mode) {
  const int entered = enter();
  int result;
  if (which == 0) {
    REAL(mkdir);
    result = real_mkdir(path, mode);
  } else {
    REAL(mkdirat);
    result = real_mkdirat(dirfd, path, mode);
  }
  const int saved = errno;
  struct stat made;
  if (entered && result == 0 && fstatat(dirfd, path, &made, AT_SYMLINK_NOFOLLOW) == 0) {
    Place place = place_of(dirfd, path);
    Line line = begin("mkdir");
    add_id(&line, &made);
    add_place(&line, &place);
    add(&line, " %o", (unsigned)(made.st_mode & 07777));
    finish(&line);
  }
  leave(entered, saved);
  return result;
}

EXPORT int mkdir(const char *path, mode_t mode) { return do_mkdir(0, AT_FDCWD, path, mode); }
EXPORT int mkdirat(int dirfd, const char *path, mode_t mode) { return do_mkdir(1, dirfd, path, mode); }

/* ---- owner, mode, extended attributes --------------------------------------------------- */

static void record_status(const struct stat *info, int owner) {
  if (!is_file_or_folder(info)) return;
  Line line = begin(owner ? "owner" : "mode");
  add_id(&line, info);
  if (owner) add(&line, " %u %u", (unsigned)info->st_uid, (unsigned)info->st_gid);
  else add(&line, " %o", (unsigned)(info->st_mode & 07777));
  finish(&line);
}

EXPORT int fchmod(int fd, mode_t mode) {
  REAL(fchmod);
  const int entered = enter();
  const int result = real_fchmod(fd, mode);
  const int saved = errno;
  struct stat info;
  if (entered && result == 0 && status_of_fd(fd, &info)) record_status(&info, 0);
  leave(entered, saved);
  return result;
}

EXPORT int fchown(int fd, uid_t user, gid_t group) {
  REAL(fchown);
  const int entered = enter();
  const int result = real_fchown(fd, user, group);
  const int saved = errno;
  struct stat info;
  if (entered && result == 0 && status_of_fd(fd, &info)) record_status(&info, 1);
  leave(entered, saved);
  return result;
}

/* WHICH: 0 chmod, 1 fchmodat, 2 chown, 3 lchown, 4 fchownat. */
static int do_path_status(int which, int dirfd, const char *path, mode_t mode, uid_t user, gid_t group, int flags) {
  const int entered = enter();
  int result;
  if (which == 0) {
    REAL(chmod);
    result = real_chmod(path, mode);
  } else if (which == 1) {
    REAL(fchmodat);
    result = real_fchmodat(dirfd, path, mode, flags);
  } else if (which == 2) {
    REAL(chown);
    result = real_chown(path, user, group);
  } else if (which == 3) {
    REAL(lchown);
    result = real_lchown(path, user, group);
  } else {
    REAL(fchownat);
    result = real_fchownat(dirfd, path, user, group, flags);
  }
  const int saved = errno;
  struct stat info;
  const int follow = which != 3 && !(flags & AT_SYMLINK_NOFOLLOW);
  if (entered && result == 0 && fstatat(dirfd, path, &info, follow ? 0 : AT_SYMLINK_NOFOLLOW) == 0) record_status(&info, which >= 2);
  leave(entered, saved);
  return result;
}

EXPORT int chmod(const char *path, mode_t mode) { return do_path_status(0, AT_FDCWD, path, mode, 0, 0, 0); }
EXPORT int fchmodat(int dirfd, const char *path, mode_t mode, int flags) { return do_path_status(1, dirfd, path, mode, 0, 0, flags); }
EXPORT int chown(const char *path, uid_t user, gid_t group) { return do_path_status(2, AT_FDCWD, path, 0, user, group, 0); }
EXPORT int lchown(const char *path, uid_t user, gid_t group) { return do_path_status(3, AT_FDCWD, path, 0, user, group, 0); }
EXPORT int fchownat(int dirfd, const char *path, uid_t user, gid_t group, int flags) {
  return do_path_status(4, dirfd, path, 0, user, group, flags);
}

static void record_attribute(const struct stat *info, const char *name, const void *value, size_t size, int removed) {
  Line line = begin(removed ? "rmxattr" : "xattr");
  add_id(&line, info);
  add_hex(&line, name, strlen(name));
  if (!removed) add_hex(&line, value, size);
  finish(&line);
}

EXPORT int fsetxattr(int fd, const char *name, const void *value, size_t size, int flags) {
  REAL(fsetxattr);
  const int entered = enter();
  const int result = real_fsetxattr(fd, name, value, size, flags);
  const int saved = errno;
  struct stat info;
  if (entered && result == 0 && status_of_fd(fd, &info)) record_attribute(&info, name, value, size, 0);
  leave(entered, saved);
  return result;
}

static int do_setxattr(int follow, const char *path, const char *name, const void *value, size_t size, int flags) {
  const int entered = enter();
  int result;
  if (follow) {
    REAL(setxattr);
    result = real_setxattr(path, name, value, size, flags);
  } else {
    REAL(lsetxattr);
    result = real_lsetxattr(path, name, value, size, flags);
  }
  const int saved = errno;
  struct stat info;
  if (entered && result == 0 && fstatat(AT_FDCWD, path, &info, follow ? 0 : AT_SYMLINK_NOFOLLOW) == 0) {
    record_attribute(&info, name, value, size, 0);
  }
  leave(entered, saved);
  return result;
}

EXPORT int setxattr(const char *path, const char *name, const void *value, size_t size, int flags) {
  return do_setxattr(1, path, name, value, size, flags);
}
EXPORT int lsetxattr(const char *path, const char *name, const void *value, size_t size, int flags) {
  return do_setxattr(0, path, name, value, size, flags);
}

EXPORT int fremovexattr(int fd, const char *name) {
  REAL(fremovexattr);
  const int entered = enter();
  const int result = real_fremovexattr(fd, name);
  const int saved = errno;
  struct stat info;
  if (entered && result == 0 && status_of_fd(fd, &info)) record_attribute(&info, name, NULL, 0, 1);
  leave(entered, saved);
  return result;
}

static int do_removexattr(int follow, const char *path, const char *name) {
  const int entered = enter();
  int result;
  if (follow) {
    REAL(removexattr);
    result = real_removexattr(path, name);
  } else {
    REAL(lremovexattr);
    result = real_lremovexattr(path, name);
  }
  const int saved = errno;
  struct stat info;
  if (entered && result == 0 && fstatat(AT_FDCWD, path, &info, follow ? 0 : AT_SYMLINK_NOFOLLOW) == 0) {
    record_attribute(&info, name, NULL, 0, 1);
  }
  leave(entered, saved);
  return result;
}

EXPORT int removexattr(const char *path, const char *name) { return do_removexattr(1, path, name); }
EXPORT int lremovexattr(const char *path, const char *name) { return do_removexattr(0, path, name); }

/* ---- close ------------------------------------------------------------------------------ */

EXPORT int close(int fd) {
  REAL(close);
  if (g_tracing && fd == g_trace_fd) return 0;  /* the trace's own descriptor stays open */
  struct stat info;
  if (!g_tracing || t_depth > 0 || !status_of_fd(fd, &info) || !is_file_or_folder(&info)) return real_close(fd);
  const int entered = enter();
  const int result = real_close(fd);
  const int saved = errno;
  if (entered) {
    Line line = begin("close");
    add_id(&line, &info);
    finish(&line);
  }
  leave(entered, saved);
  return result;
}

/* ---- calls not modelled: recorded with what they touch ---------------------------------- */

static int writes_to(const char *mode) { return mode != NULL && strpbrk(mode, "wa+") != NULL; }

#define UNKNOWN_ON_FD(call_name, fd_argument)                                 \
  do {                                                                        \
    struct stat info_;                                                        \
    const int entered_ = enter();                                             \
    if (entered_ && status_of_fd((fd_argument), &info_)) record_unknown(call_name, &info_, NULL); \
    leave(entered_, errno);                                                   \
  } while (0)

EXPORT int fallocate(int fd, int mode, off_t offset, off_t size) {
  REAL(fallocate);
  UNKNOWN_ON_FD("fallocate", fd);
  return real_fallocate(fd, mode, offset, size);
}

EXPORT int fallocate64(int fd, int mode, off64_t offset, off64_t size) {
  REAL(fallocate64);
  UNKNOWN_ON_FD("fallocate64", fd);
  return real_fallocate64(fd, mode, offset, size);
}

EXPORT int posix_fallocate(int fd, off_t offset, off_t size) {
  REAL(posix_fallocate);
  UNKNOWN_ON_FD("posix_fallocate", fd);
  return real_posix_fallocate(fd, offset, size);
}

EXPORT ssize_t copy_file_range(int from, off64_t *from_offset, int to, off64_t *to_offset, size_t size, unsigned int flags) {
  REAL(copy_file_range);
  UNKNOWN_ON_FD("copy_file_range", to);
  return real_copy_file_range(from, from_offset, to, to_offset, size, flags);
}

EXPORT ssize_t sendfile(int to, int from, off_t *offset, size_t size) {
  REAL(sendfile);
  UNKNOWN_ON_FD("sendfile", to);
  return real_sendfile(to, from, offset, size);
}

EXPORT ssize_t sendfile64(int to, int from, off64_t *offset, size_t size) {
  REAL(sendfile64);
  UNKNOWN_ON_FD("sendfile64", to);
  return real_sendfile64(to, from, offset, size);
}

EXPORT int futimens(int fd, const struct timespec times[2]) {
  REAL(futimens);
  UNKNOWN_ON_FD("futimens", fd);
  return real_futimens(fd, times);
}

EXPORT int utimensat(int dirfd, const char *path, const struct timespec times[2], int flags) {
  REAL(utimensat);
  const int entered = enter();
  if (entered) {
    /* Linux takes a null path for the descriptor itself, although glibc declares it nonnull. */
    const char *volatile given = path;
    if (given == NULL) {
      struct stat info;
      if (status_of_fd(dirfd, &info)) record_unknown("utimensat", &info, NULL);
    } else {
      record_unknown_path("utimensat", dirfd, path, !(flags & AT_SYMLINK_NOFOLLOW));
    }
  }
  leave(entered, errno);
  return real_utimensat(dirfd, path, times, flags);
}

EXPORT int utimes(const char *path, const struct timeval times[2]) {
  REAL(utimes);
  const int entered = enter();
  if (entered) record_unknown_path("utimes", AT_FDCWD, path, 1);
  leave(entered, errno);
  return real_utimes(path, times);
}

EXPORT int utime(const char *path, const struct utimbuf *times) {
  REAL(utime);
  const int entered = enter();
  if (entered) record_unknown_path("utime", AT_FDCWD, path, 1);
  leave(entered, errno);
  return real_utime(path, times);
}

static int do_symlink(int dirfd, const char *target, const char *path, int at) {
  const int entered = enter();
  int result;
  if (at) {
    REAL(symlinkat);
    result = real_symlinkat(target, dirfd, path);
  } else {
    REAL(symlink);
    result = real_symlink(target, path);
  }
  const int saved = errno;
  if (entered && result == 0) record_unknown_path("symlink", dirfd, path, 0);
  leave(entered, saved);
  return result;
}

EXPORT int symlink(const char *target, const char *path) { return do_symlink(AT_FDCWD, target, path, 0); }
EXPORT int symlinkat(const char *target, int dirfd, const char *path) { return do_symlink(dirfd, target, path, 1); }

EXPORT int mknodat(int dirfd, const char *path, mode_t mode, dev_t device) {
  REAL(mknodat);
  const int entered = enter();
  const int result = real_mknodat(dirfd, path, mode, device);
  const int saved = errno;
  if (entered && result == 0) record_unknown_path("mknod", dirfd, path, 0);
  leave(entered, saved);
  return result;
}

EXPORT int mknod(const char *path, mode_t mode, dev_t device) { return mknodat(AT_FDCWD, path, mode, device); }

EXPORT int mkfifo(const char *path, mode_t mode) {
  REAL(mkfifo);
  const int entered = enter();
  const int result = real_mkfifo(path, mode);
  const int saved = errno;
  if (entered && result == 0) record_unknown_path("mkfifo", AT_FDCWD, path, 0);
  leave(entered, saved);
  return result;
}

/* stdio opens and writes its files inside libc, out of this library's sight. */
static FILE *do_fopen(void **cache, const char *call, const char *path, const char *mode, FILE *stream) {
  typedef FILE *(*Fopen)(const char *, const char *);
  typedef FILE *(*Freopen)(const char *, const char *, FILE *);
  void *function = pick(cache, call);
  const int entered = writes_to(mode) ? enter() : 0;
  FILE *result = stream == NULL && strncmp(call, "freopen", 7) != 0 ? ((Fopen)function)(path, mode)
                                                                     : ((Freopen)function)(path, mode, stream);
  const int saved = errno;
  if (entered && result != NULL && path != NULL) record_unknown_path(call, AT_FDCWD, path, 1);
  leave(entered, saved);
  return result;
}

EXPORT FILE *fopen(const char *path, const char *mode) {
  static void *cache;
  return do_fopen(&cache, "fopen", path, mode, NULL);
}
EXPORT FILE *fopen64(const char *path, const char *mode) {
  static void *cache;
  return do_fopen(&cache, "fopen64", path, mode, NULL);
}
EXPORT FILE *freopen(const char *path, const char *mode, FILE *stream) {
  static void *cache;
  return do_fopen(&cache, "freopen", path, mode, stream);
}
EXPORT FILE *freopen64(const char *path, const char *mode, FILE *stream) {
  static void *cache;
  return do_fopen(&cache, "freopen64", path, mode, stream);
}

/* mkstemp and its kin create their file inside libc. */
static void record_made(const char *call, const char *path) {
  const int entered = enter();
  if (entered) record_unknown_path(call, AT_FDCWD, path, 0);
  leave(entered, errno);
}

EXPORT int mkstemp(char *pattern) {
  REAL(mkstemp);
  const int fd = real_mkstemp(pattern);
  if (fd >= 0) record_made("mkstemp", pattern);
  return fd;
}
EXPORT int mkstemp64(char *pattern) {
  REAL(mkstemp64);
  const int fd = real_mkstemp64(pattern);
  if (fd >= 0) record_made("mkstemp64", pattern);
  return fd;
}
EXPORT int mkostemp(char *pattern, int flags) {
  REAL(mkostemp);
  const int fd = real_mkostemp(pattern, flags);
  if (fd >= 0) record_made("mkostemp", pattern);
  return fd;
}
EXPORT int mkstemps(char *pattern, int suffix) {
  REAL(mkstemps);
  const int fd = real_mkstemps(pattern, suffix);
  if (fd >= 0) record_made("mkstemps", pattern);
  return fd;
}
EXPORT int mkostemps(char *pattern, int suffix, int flags) {
  REAL(mkostemps);
  const int fd = real_mkostemps(pattern, suffix, flags);
  if (fd >= 0) record_made("mkostemps", pattern);
  return fd;
}
EXPORT char *mkdtemp(char *pattern) {
  REAL(mkdtemp);
  char *made = real_mkdtemp(pattern);
  if (made != NULL) record_made("mkdtemp", made);
  return made;
}

/* A shared writable mapping of a file changes it without any write(). */
static void *do_mmap(void **cache, const char *call, void *address, size_t size, int protection, int flags, int fd, off_t offset) {
  typedef void *(*Mmap)(void *, size_t, int, int, int, off_t);
  Mmap function = (Mmap)pick(cache, call);
  if ((protection & PROT_WRITE) && (flags & MAP_SHARED) && fd >= 0) UNKNOWN_ON_FD(call, fd);
  return function(address, size, protection, flags, fd, offset);
}

EXPORT void *mmap(void *address, size_t size, int protection, int flags, int fd, off_t offset) {
  static void *cache;
  return do_mmap(&cache, "mmap", address, size, protection, flags, fd, offset);
}
EXPORT void *mmap64(void *address, size_t size, int protection, int flags, int fd, off64_t offset) {
  static void *cache;
  return do_mmap(&cache, "mmap64", address, size, protection, flags, fd, offset);
}
