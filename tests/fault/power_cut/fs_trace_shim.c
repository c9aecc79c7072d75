/* A library preloaded (LD_PRELOAD) into sarnavel-cli by the power-cut test: it records every
 * call by which the process changes the file system or makes it durable, one line per call,
 * so that the test can replay the run and ask what a disk would hold had the power gone after
 * any one of them.
 *
 * Contract. Without SARNAVEL_FS_TRACE in the environment every call passes straight through.
 * With it, each call below that succeeds appends a line to that file, in the order the kernel
 * did them: the calls are made one at a time under one lock, and the line is written before
 * the lock is let go. Files and folders are named "DEV:INO" in hexadecimal ("-": not found),
 * leaf names and bytes in hexadecimal ("-": none). The lines (power_cut_disk.h reads them):
 *   create OBJ DIR NAME MODE UID GID   open/creat made a new file NAME in folder DIR
 *   tmpfile OBJ MODE UID GID           an unnamed file (O_TMPFILE)
 *   trunc OBJ LENGTH                   O_TRUNC, ftruncate
 *   write OBJ OFFSET BYTES             write, pwrite, writev (regular files only)
 *   fsync OBJ | fdatasync OBJ          a file's or a folder's flush
 *   rename SDIR SNAME DDIR DNAME FLAGS OBJ | link OBJ DDIR DNAME
 *   unlink DIR NAME | rmdir DIR NAME
 *   mode OBJ MODE | owner OBJ UID GID | xattr OBJ NAME VALUE
 *   times OBJ                          futimens: a file's times, which no promise is about
 *   close OBJ
 *   unknown CALL OBJ DIR               a call that is not modelled, with the file and the
 *                                      folder it touches; the test fails when they are its own
 * sync, syncfs and sync_file_range, which the program does not call, are not recorded: the
 * replay then takes nothing as durable that they made so, and fails rather than passes.
 * SARNAVEL_FS_TRACE_DROP=file-flush (or folder-flush) turns fsync and fdatasync of regular
 * files (of folders) into no-ops that are not recorded: the test's proof that it notices a
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

/* ---- state and the lock ----------------------------------------------------------------- */

static int g_tracing, g_drop_file_flush, g_drop_folder_flush, g_trace_fd = -1;
static char g_trace_path[4096];
static pthread_mutex_t g_lock = PTHREAD_MUTEX_INITIALIZER;
/* Calls made while this thread holds the lock (ours, or a signal handler's) pass unrecorded. */
static __thread int t_depth __attribute__((tls_model("initial-exec")));

static void open_trace(void) {
  int fd = (int)syscall(SYS_openat, AT_FDCWD, g_trace_path, O_WRONLY | O_CREAT | O_APPEND | O_CLOEXEC, 0600);
  int high = fd >= 0 ? fcntl(fd, F_DUPFD_CLOEXEC, 900) : -1; /* out of the program's way */
  if (high >= 0) syscall(SYS_close, fd);
  g_trace_fd = high >= 0 ? high : fd;
}

__attribute__((constructor)) static void start_tracing(void) {
  const char *path = getenv("SARNAVEL_FS_TRACE"), *drop = getenv("SARNAVEL_FS_TRACE_DROP");
  if (path == NULL || *path == '\0' || strlen(path) >= sizeof g_trace_path) return;
  strcpy(g_trace_path, path);
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

static void* lookup(const char* name) {
  void* function = dlsym(RTLD_NEXT, name);
  if (function == NULL) abort(); /* a libc without the call: nothing sensible to pass it to */
  return function;
}

/* real_NAME: the next definition of NAME (libc's, or a sanitizer's in front of it). */
#define REAL(name)                      \
  static __typeof__(&name) real_##name; \
  if (real_##name == NULL) real_##name = (__typeof__(&name))lookup(#name)

/* ---- the trace -------------------------------------------------------------------------- */

static int write_fully(const char* text, size_t size) {
  while (size > 0) {
    long written = syscall(SYS_write, g_trace_fd, text, size);
    if (written < 0 && errno == EINTR) continue;
    if (written <= 0) return 0;
    text += written;
    size -= (size_t)written;
  }
  return 1;
}

/* Appends one line; should the program have closed the descriptor, it is opened again. */
static void emit(const char* format, ...) {
  va_list arguments;
  va_start(arguments, format);
  char* line = NULL;
  int size = vasprintf(&line, format, arguments);
  va_end(arguments);
  if (size < 0) return;
  if (!write_fully(line, (size_t)size)) {
    open_trace();
    write_fully(line, (size_t)size);
  }
  free(line);
}

/* Hexadecimal of the bytes, "-" for none; the caller frees it. */
static char* hex(const void* bytes, size_t size) {
  static const char kDigits[] = "0123456789abcdef";
  char* text = malloc(2 * size + 2);
  if (text == NULL) abort();
  const unsigned char* at = bytes;
  for (size_t k = 0; k < size; ++k) {
    text[2 * k] = kDigits[at[k] >> 4];
    text[2 * k + 1] = kDigits[at[k] & 15];
  }
  strcpy(text + 2 * size, size == 0 ? "-" : "");
  return text;
}

typedef struct {
  char text[40];
} Id;

static Id id_of(const struct stat* info) {
  Id id = {"-"};
  if (info != NULL)
    snprintf(id.text, sizeof id.text, "%lx:%lx", (unsigned long)info->st_dev, (unsigned long)info->st_ino);
  return id;
}

static int fd_status(int fd, struct stat* info) { return fd >= 0 && fstat(fd, info) == 0; }
static int is_regular_fd(int fd, struct stat* info) { return fd_status(fd, info) && S_ISREG(info->st_mode); }

/* Where a path lies: its folder (relative to DIRFD) and its last name, hexadecimal. */
typedef struct {
  Id folder;
  char* leaf;
} Place;

static Place place_of(int dirfd, const char* path) {
  Place place = {{"-"}, NULL};
  size_t length = path != NULL ? strlen(path) : 0;
  while (length > 1 && path[length - 1] == '/') --length;
  size_t start = length;
  while (start > 0 && path[start - 1] != '/') --start;
  char* parent = strndup(path != NULL ? path : "", start);
  struct stat folder;
  if (parent != NULL && fstatat(dirfd, start == 0 ? "." : parent, &folder, 0) == 0) place.folder = id_of(&folder);
  free(parent);
  place.leaf = hex(path != NULL ? path + start : "", length - start);
  return place;
}

/* A call that is not modelled: the file it names (if any) and that file's folder. */
static void note_unknown(const char* call, int dirfd, const char* path, int fd) {
  const int entered = enter();
  const int saved = errno;
  if (entered) {
    struct stat info;
    const int found = path != NULL ? fstatat(dirfd, path, &info, 0) == 0 : fd_status(fd, &info);
    Place place = path != NULL ? place_of(dirfd, path) : (Place){{"-"}, NULL};
    emit("unknown %s %s %s\n", call, id_of(found ? &info : NULL).text, place.folder.text);
    free(place.leaf);
  }
  leave(entered, saved);
}

/* ---- opening and creating --------------------------------------------------------------- */

static int traced_open(int (*call)(int, const char*, int, ...), int dirfd, const char* path, int flags, mode_t mode) {
  const int unnamed = (flags & O_TMPFILE) == O_TMPFILE;
  const int truncating = (flags & O_TRUNC) != 0 && (flags & O_ACCMODE) != O_RDONLY;
  const int entered = unnamed || truncating || (flags & O_CREAT) ? enter() : 0;
  struct stat before, info;
  const int existed = entered && fstatat(dirfd, path, &before, (flags & O_NOFOLLOW) ? AT_SYMLINK_NOFOLLOW : 0) == 0;
  const int fd = call(dirfd, path, flags, mode);
  const int saved = errno;
  if (entered && fd >= 0 && is_regular_fd(fd, &info)) {
    if (unnamed) {
      emit("tmpfile %s %o %u %u\n", id_of(&info).text, info.st_mode & 07777, info.st_uid, info.st_gid);
    } else if (!existed) {
      Place place = place_of(dirfd, path);
      emit("create %s %s %s %o %u %u\n", id_of(&info).text, place.folder.text, place.leaf, info.st_mode & 07777,
           info.st_uid, info.st_gid);
      free(place.leaf);
    } else if (truncating) {
      emit("trunc %s 0\n", id_of(&info).text);
    }
  }
  leave(entered, saved);
  return fd;
}

/* open() and open64() as openat() from the current folder. */
static int open_here(int dirfd, const char* path, int flags, ...) {
  (void)dirfd;
  va_list arguments;
  va_start(arguments, flags);
  const mode_t mode = (mode_t)va_arg(arguments, int);
  va_end(arguments);
  REAL(open);
  return real_open(path, flags, mode);
}

#define MODE_ARGUMENT(flags)                                   \
  mode_t mode = 0;                                             \
  if (((flags)&O_CREAT) || ((flags)&O_TMPFILE) == O_TMPFILE) { \
    va_list arguments;                                         \
    va_start(arguments, flags);                                \
    mode = (mode_t)va_arg(arguments, int);                     \
    va_end(arguments);                                         \
  }

EXPORT int open(const char* path, int flags, ...) {
  MODE_ARGUMENT(flags);
  return traced_open(open_here, AT_FDCWD, path, flags, mode);
}
EXPORT int open64(const char* path, int flags, ...) {
  MODE_ARGUMENT(flags);
  return traced_open(open_here, AT_FDCWD, path, flags, mode);
}
EXPORT int openat(int dirfd, const char* path, int flags, ...) {
  MODE_ARGUMENT(flags);
  REAL(openat);
  return traced_open(real_openat, dirfd, path, flags, mode);
}
EXPORT int openat64(int dirfd, const char* path, int flags, ...) {
  MODE_ARGUMENT(flags);
  REAL(openat);
  return traced_open(real_openat, dirfd, path, flags, mode);
}
EXPORT int creat(const char* path, mode_t mode) {
  return traced_open(open_here, AT_FDCWD, path, O_CREAT | O_WRONLY | O_TRUNC, mode);
}
EXPORT int creat64(const char* path, mode_t mode) { return creat(path, mode); }

/* ---- writing ---------------------------------------------------------------------------- */

static void note_write(const struct stat* info, off_t offset, const void* bytes, size_t size) {
  char* text = hex(bytes, size);
  emit("write %s %lld %s\n", id_of(info).text, (long long)offset, text);
  free(text);
}

/* Where a write() at the descriptor's own position lands. */
static off_t position_of(int fd, const struct stat* info) {
  const int flags = fcntl(fd, F_GETFL);
  return flags >= 0 && (flags & O_APPEND) ? info->st_size : lseek(fd, 0, SEEK_CUR);
}

/* Writes to pipes and terminals pass unlocked (they may wait for a reader); OFFSET -1: the
 * descriptor's own position. */
static ssize_t traced_write(int fd, const void* bytes, size_t size, off_t offset) {
  REAL(write);
  REAL(pwrite);
  struct stat info;
  const int entered = g_tracing && t_depth == 0 && is_regular_fd(fd, &info) ? enter() : 0;
  const off_t at = entered && offset < 0 ? position_of(fd, &info) : offset;
  const ssize_t written = offset < 0 ? real_write(fd, bytes, size) : real_pwrite(fd, bytes, size, offset);
  const int saved = errno;
  if (entered && written > 0) note_write(&info, at, bytes, (size_t)written);
  leave(entered, saved);
  return written;
}

EXPORT ssize_t write(int fd, const void* bytes, size_t size) { return traced_write(fd, bytes, size, -1); }
EXPORT ssize_t pwrite(int fd, const void* bytes, size_t size, off_t offset) {
  return traced_write(fd, bytes, size, offset);
}
EXPORT ssize_t pwrite64(int fd, const void* bytes, size_t size, off64_t offset) {
  return traced_write(fd, bytes, size, offset);
}

/* writev as one write of its gathered bytes: the same on a regular file. */
EXPORT ssize_t writev(int fd, const struct iovec* vector, int count) {
  REAL(writev);
  struct stat info;
  size_t size = 0;
  for (int k = 0; k < count; ++k) size += vector[k].iov_len;
  char* bytes = g_tracing && t_depth == 0 && is_regular_fd(fd, &info) ? malloc(size + 1) : NULL;
  if (bytes == NULL) return real_writev(fd, vector, count);
  size_t at = 0;
  for (int k = 0; k < count; at += vector[k].iov_len, ++k) memcpy(bytes + at, vector[k].iov_base, vector[k].iov_len);
  const ssize_t written = traced_write(fd, bytes, size, -1);
  free(bytes);
  return written;
}

static int traced_ftruncate(int fd, off_t length) {
  REAL(ftruncate);
  const int entered = enter();
  const int result = real_ftruncate(fd, length);
  const int saved = errno;
  struct stat info;
  if (entered && result == 0 && is_regular_fd(fd, &info)) emit("trunc %s %lld\n", id_of(&info).text, (long long)length);
  leave(entered, saved);
  return result;
}

EXPORT int ftruncate(int fd, off_t length) { return traced_ftruncate(fd, length); }
EXPORT int ftruncate64(int fd, off64_t length) { return traced_ftruncate(fd, length); }

/* ---- flushing --------------------------------------------------------------------------- */

static int traced_flush(int fd, int data_only) {
  REAL(fsync);
  REAL(fdatasync);
  struct stat info;
  const int known = fd_status(fd, &info) && (S_ISREG(info.st_mode) || S_ISDIR(info.st_mode));
  if (g_tracing && known && (S_ISDIR(info.st_mode) ? g_drop_folder_flush : g_drop_file_flush)) return 0;
  const int entered = known ? enter() : 0;
  const int result = data_only ? real_fdatasync(fd) : real_fsync(fd);
  const int saved = errno;
  if (entered && result == 0) emit("%s %s\n", data_only ? "fdatasync" : "fsync", id_of(&info).text);
  leave(entered, saved);
  return result;
}

EXPORT int fsync(int fd) { return traced_flush(fd, 0); }
EXPORT int fdatasync(int fd) { return traced_flush(fd, 1); }

/* ---- names ------------------------------------------------------------------------------ */

EXPORT int renameat2(int from_dir, const char* from, int to_dir, const char* to, unsigned int flags) {
  REAL(renameat2);
  const int entered = enter();
  struct stat moved;
  const int found = entered && fstatat(from_dir, from, &moved, AT_SYMLINK_NOFOLLOW) == 0;
  Place source = {{"-"}, NULL}, target = {{"-"}, NULL};
  if (entered) {
    source = place_of(from_dir, from);
    target = place_of(to_dir, to);
  }
  const int result = real_renameat2(from_dir, from, to_dir, to, flags);
  const int saved = errno;
  if (entered && result == 0) {
    emit("rename %s %s %s %s %u %s\n", source.folder.text, source.leaf, target.folder.text, target.leaf, flags,
         id_of(found ? &moved : NULL).text);
  }
  free(source.leaf);
  free(target.leaf);
  leave(entered, saved);
  return result;
}

/* glibc's rename and renameat are renameat2 without flags. */
EXPORT int renameat(int from_dir, const char* from, int to_dir, const char* to) {
  return renameat2(from_dir, from, to_dir, to, 0);
}
EXPORT int rename(const char* from, const char* to) { return renameat2(AT_FDCWD, from, AT_FDCWD, to, 0); }

EXPORT int linkat(int from_dir, const char* from, int to_dir, const char* to, int flags) {
  REAL(linkat);
  const int entered = enter();
  const int result = real_linkat(from_dir, from, to_dir, to, flags);
  const int saved = errno;
  struct stat linked;
  const int how = (flags & AT_EMPTY_PATH) ? AT_EMPTY_PATH : (flags & AT_SYMLINK_FOLLOW) ? 0 : AT_SYMLINK_NOFOLLOW;
  if (entered && result == 0) {
    Place target = place_of(to_dir, to);
    emit("link %s %s %s\n", id_of(fstatat(from_dir, from, &linked, how) == 0 ? &linked : NULL).text, target.folder.text,
         target.leaf);
    free(target.leaf);
  }
  leave(entered, saved);
  return result;
}

EXPORT int link(const char* from, const char* to) { return linkat(AT_FDCWD, from, AT_FDCWD, to, 0); }

EXPORT int unlinkat(int dirfd, const char* path, int flags) {
  REAL(unlinkat);
  const int entered = enter();
  Place place = {{"-"}, NULL};
  if (entered) place = place_of(dirfd, path);
  const int result = real_unlinkat(dirfd, path, flags);
  const int saved = errno;
  if (entered && result == 0)
    emit("%s %s %s\n", (flags & AT_REMOVEDIR) ? "rmdir" : "unlink", place.folder.text, place.leaf);
  free(place.leaf);
  leave(entered, saved);
  return result;
}

EXPORT int unlink(const char* path) { return unlinkat(AT_FDCWD, path, 0); }
EXPORT int rmdir(const char* path) { return unlinkat(AT_FDCWD, path, AT_REMOVEDIR); }
/* glibc's remove() unlinks inside libc, out of sight: it is done here instead. */
EXPORT int remove(const char* path) {
  struct stat info;
  return unlinkat(AT_FDCWD, path, lstat(path, &info) == 0 && S_ISDIR(info.st_mode) ? AT_REMOVEDIR : 0);
}

/* ---- owner, mode, extended attributes --------------------------------------------------- */

EXPORT int fchmod(int fd, mode_t mode) {
  REAL(fchmod);
  const int entered = enter();
  const int result = real_fchmod(fd, mode);
  const int saved = errno;
  struct stat info;
  if (entered && result == 0 && fd_status(fd, &info)) emit("mode %s %o\n", id_of(&info).text, info.st_mode & 07777);
  leave(entered, saved);
  return result;
}

EXPORT int futimens(int fd, const struct timespec times[2]) {
  REAL(futimens);
  const int entered = enter();
  const int result = real_futimens(fd, times);
  const int saved = errno;
  struct stat info;
  if (entered && result == 0 && fd_status(fd, &info)) emit("times %s\n", id_of(&info).text);
  leave(entered, saved);
  return result;
}

EXPORT int fchown(int fd, uid_t user, gid_t group) {
  REAL(fchown);
  const int entered = enter();
  const int result = real_fchown(fd, user, group);
  const int saved = errno;
  struct stat info;
  if (entered && result == 0 && fd_status(fd, &info))
    emit("owner %s %u %u\n", id_of(&info).text, info.st_uid, info.st_gid);
  leave(entered, saved);
  return result;
}

static int traced_setxattr(int fd, const char* path, const char* name, const void* value, size_t size, int flags) {
  REAL(fsetxattr);
  REAL(setxattr);
  const int entered = enter();
  const int result =
      path != NULL ? real_setxattr(path, name, value, size, flags) : real_fsetxattr(fd, name, value, size, flags);
  const int saved = errno;
  struct stat info;
  if (entered && result == 0 && (path != NULL ? stat(path, &info) == 0 : fd_status(fd, &info))) {
    char *name_text = hex(name, strlen(name)), *value_text = hex(value, size);
    emit("xattr %s %s %s\n", id_of(&info).text, name_text, value_text);
    free(name_text);
    free(value_text);
  }
  leave(entered, saved);
  return result;
}

EXPORT int fsetxattr(int fd, const char* name, const void* value, size_t size, int flags) {
  return traced_setxattr(fd, NULL, name, value, size, flags);
}
EXPORT int setxattr(const char* path, const char* name, const void* value, size_t size, int flags) {
  return traced_setxattr(-1, path, name, value, size, flags);
}

/* ---- close ------------------------------------------------------------------------------ */

EXPORT int close(int fd) {
  REAL(close);
  if (g_tracing && fd == g_trace_fd) return 0; /* the trace's own descriptor stays open */
  struct stat info;
  const int entered =
      g_tracing && t_depth == 0 && fd_status(fd, &info) && (S_ISREG(info.st_mode) || S_ISDIR(info.st_mode)) ? enter()
                                                                                                            : 0;
  const int result = real_close(fd);
  const int saved = errno;
  if (entered) emit("close %s\n", id_of(&info).text);
  leave(entered, saved);
  return result;
}

/* ---- calls not modelled: noted with what they touch, then passed on --------------------- */

#define UNKNOWN_FD(type, name, parameters, fd, arguments) \
  EXPORT type name parameters {                           \
    REAL(name);                                           \
    note_unknown(#name, AT_FDCWD, NULL, fd);              \
    return real_##name arguments;                         \
  }
#define UNKNOWN_PATH(type, name, parameters, dirfd, path, arguments) \
  EXPORT type name parameters {                                      \
    REAL(name);                                                      \
    note_unknown(#name, dirfd, path, -1);                            \
    return real_##name arguments;                                    \
  }

UNKNOWN_FD(ssize_t, pwritev, (int fd, const struct iovec* v, int n, off_t o), fd, (fd, v, n, o))
UNKNOWN_FD(ssize_t, pwritev64, (int fd, const struct iovec* v, int n, off64_t o), fd, (fd, v, n, o))
UNKNOWN_FD(ssize_t, pwritev2, (int fd, const struct iovec* v, int n, off_t o, int f), fd, (fd, v, n, o, f))
UNKNOWN_FD(ssize_t, pwritev64v2, (int fd, const struct iovec* v, int n, off64_t o, int f), fd, (fd, v, n, o, f))
UNKNOWN_FD(int, fallocate, (int fd, int m, off_t o, off_t n), fd, (fd, m, o, n))
UNKNOWN_FD(int, fallocate64, (int fd, int m, off64_t o, off64_t n), fd, (fd, m, o, n))
UNKNOWN_FD(int, posix_fallocate, (int fd, off_t o, off_t n), fd, (fd, o, n))
UNKNOWN_FD(int, posix_fallocate64, (int fd, off64_t o, off64_t n), fd, (fd, o, n))
UNKNOWN_FD(ssize_t, copy_file_range, (int i, off64_t* io, int fd, off64_t* o, size_t n, unsigned f), fd,
           (i, io, fd, o, n, f))
UNKNOWN_FD(ssize_t, sendfile, (int fd, int i, off_t* o, size_t n), fd, (fd, i, o, n))
UNKNOWN_FD(ssize_t, sendfile64, (int fd, int i, off64_t* o, size_t n), fd, (fd, i, o, n))
UNKNOWN_FD(int, fremovexattr, (int fd, const char* a), fd, (fd, a))
UNKNOWN_PATH(int, truncate, (const char* p, off_t n), AT_FDCWD, p, (p, n))
UNKNOWN_PATH(int, truncate64, (const char* p, off64_t n), AT_FDCWD, p, (p, n))
UNKNOWN_PATH(int, utimensat, (int d, const char* p, const struct timespec t[2], int f), d, p, (d, p, t, f))
UNKNOWN_PATH(int, utimes, (const char* p, const struct timeval t[2]), AT_FDCWD, p, (p, t))
UNKNOWN_PATH(int, utime, (const char* p, const struct utimbuf* t), AT_FDCWD, p, (p, t))
UNKNOWN_PATH(int, symlinkat, (const char* t, int d, const char* p), d, p, (t, d, p))
UNKNOWN_PATH(int, symlink, (const char* t, const char* p), AT_FDCWD, p, (t, p))
UNKNOWN_PATH(int, mkdirat, (int d, const char* p, mode_t m), d, p, (d, p, m))
UNKNOWN_PATH(int, mkdir, (const char* p, mode_t m), AT_FDCWD, p, (p, m))
UNKNOWN_PATH(int, mknodat, (int d, const char* p, mode_t m, dev_t v), d, p, (d, p, m, v))
UNKNOWN_PATH(int, mknod, (const char* p, mode_t m, dev_t v), AT_FDCWD, p, (p, m, v))
UNKNOWN_PATH(int, mkfifo, (const char* p, mode_t m), AT_FDCWD, p, (p, m))
UNKNOWN_PATH(int, chmod, (const char* p, mode_t m), AT_FDCWD, p, (p, m))
UNKNOWN_PATH(int, fchmodat, (int d, const char* p, mode_t m, int f), d, p, (d, p, m, f))
UNKNOWN_PATH(int, chown, (const char* p, uid_t u, gid_t g), AT_FDCWD, p, (p, u, g))
UNKNOWN_PATH(int, lchown, (const char* p, uid_t u, gid_t g), AT_FDCWD, p, (p, u, g))
UNKNOWN_PATH(int, fchownat, (int d, const char* p, uid_t u, gid_t g, int f), d, p, (d, p, u, g, f))
UNKNOWN_PATH(int, lsetxattr, (const char* p, const char* a, const void* v, size_t n, int f), AT_FDCWD, p,
             (p, a, v, n, f))
UNKNOWN_PATH(int, removexattr, (const char* p, const char* a), AT_FDCWD, p, (p, a))
UNKNOWN_PATH(int, lremovexattr, (const char* p, const char* a), AT_FDCWD, p, (p, a))
/* mkstemp and its kin create their file inside libc, out of sight. */
UNKNOWN_PATH(int, mkstemp, (char* p), AT_FDCWD, p, (p))
UNKNOWN_PATH(int, mkstemp64, (char* p), AT_FDCWD, p, (p))
UNKNOWN_PATH(int, mkostemp, (char* p, int f), AT_FDCWD, p, (p, f))
UNKNOWN_PATH(int, mkstemps, (char* p, int s), AT_FDCWD, p, (p, s))
UNKNOWN_PATH(int, mkostemps, (char* p, int s, int f), AT_FDCWD, p, (p, s, f))
UNKNOWN_PATH(char*, mkdtemp, (char* p), AT_FDCWD, p, (p))

/* stdio opens and writes its files inside libc: a file opened to write is noted. */
#define UNKNOWN_STDIO(name, parameters, arguments)                                             \
  EXPORT FILE* name parameters {                                                               \
    REAL(name);                                                                                \
    if (mode != NULL && strpbrk(mode, "wa+") != NULL) note_unknown(#name, AT_FDCWD, path, -1); \
    return real_##name arguments;                                                              \
  }
UNKNOWN_STDIO(fopen, (const char* path, const char* mode), (path, mode))
UNKNOWN_STDIO(fopen64, (const char* path, const char* mode), (path, mode))
UNKNOWN_STDIO(freopen, (const char* path, const char* mode, FILE* stream), (path, mode, stream))
UNKNOWN_STDIO(freopen64, (const char* path, const char* mode, FILE* stream), (path, mode, stream))

/* A shared writable mapping changes a file without any write(). */
#define UNKNOWN_MMAP(name, offset_type)                                                                        \
  EXPORT void* name(void* address, size_t size, int protection, int flags, int fd, offset_type offset) {       \
    REAL(name);                                                                                                \
    if ((protection & PROT_WRITE) && (flags & MAP_SHARED) && fd >= 0) note_unknown(#name, AT_FDCWD, NULL, fd); \
    return real_##name(address, size, protection, flags, fd, offset);                                          \
  }
UNKNOWN_MMAP(mmap, off_t)
UNKNOWN_MMAP(mmap64, off64_t)
