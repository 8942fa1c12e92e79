/* Included before each of OpenSSL's files in the WebAssembly build
 * (scripts/platforms/wasm.sh). The module imports from its host the random
 * source and what writing a message before an abort needs, nothing else:
 * no environment, clock or file system. What OpenSSL would ask of those here
 * fails as it may on any system, and none of it is reached by what the
 * library calls (digests, HMAC, P-256 verification):
 *   getenv        no variable is set (OPENSSL_CONF and the like);
 *   time, clock_gettime  the time is unknown (DRBG reseeding by age, the
 *                 seed pool's time stamps, certificate checks);
 *   stat, opendir, readdir, closedir  no file or directory can be read
 *                 (configuration files, certificate stores);
 *   chmod         wasi-libc has none (RAND_write_file).
 * The random seed comes from getentropy (--with-rand-seed=getrandom), as
 * the library's own random bytes do. */
#include <dirent.h>
#include <errno.h>
#include <stdlib.h>
#include <sys/stat.h>
#include <time.h>

static inline char *quorent_wasi_getenv(const char *name) {
  (void)name;
  return NULL;
}
static inline time_t quorent_wasi_time(time_t *t) {
  if (t != NULL) *t = (time_t)-1;
  return (time_t)-1;
}
static inline int quorent_wasi_clock_gettime(clockid_t clock, struct timespec *ts) {
  (void)clock;
  (void)ts;
  errno = ENOTSUP;
  return -1;
}
static inline int quorent_wasi_stat(const char *path, struct stat *st) {
  (void)path;
  (void)st;
  errno = ENOTSUP;
  return -1;
}
static inline DIR *quorent_wasi_opendir(const char *path) {
  (void)path;
  errno = ENOTSUP;
  return NULL;
}
static inline struct dirent *quorent_wasi_readdir(DIR *dir) {
  (void)dir;
  errno = EBADF;
  return NULL;
}
static inline int quorent_wasi_closedir(DIR *dir) {
  (void)dir;
  errno = EBADF;
  return -1;
}
static inline int chmod(const char *path, mode_t mode) {
  (void)path;
  (void)mode;
  errno = ENOTSUP;
  return -1;
}
/* Function-like: the names alone stay what they are elsewhere (OpenSSL's
 * safe_add_time and the like are made by pasting "time"). */
#define getenv(name) quorent_wasi_getenv(name)
#define time(t) quorent_wasi_time(t)
#define clock_gettime(clock, ts) quorent_wasi_clock_gettime(clock, ts)
#define stat(path, st) quorent_wasi_stat(path, st)
#define opendir(path) quorent_wasi_opendir(path)
#define readdir(dir) quorent_wasi_readdir(dir)
#define closedir(dir) quorent_wasi_closedir(dir)
