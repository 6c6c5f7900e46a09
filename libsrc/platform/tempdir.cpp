#include "platform/tempdir.h"

#include <errno.h>
#include <fcntl.h>
#include <stdlib.h>
#include <sys/stat.h>
#include <unistd.h>

#include <vector>

namespace plat {

std::string temp_dir() {
  const char* env = getenv("TMPDIR");
  std::string dir = (env && *env) ? env : "/tmp";
  while (dir.size() > 1 && dir.back() == '/') dir.pop_back();
  return dir;
}

int create_temp_file(const char* prefix) {
  std::string tmpl = temp_dir();
  if (tmpl != "/") tmpl += '/';
  tmpl += (prefix && *prefix) ? prefix : "qmrtmp";
  tmpl += "XXXXXX";
  std::vector<char> name(tmpl.begin(), tmpl.end());
  name.push_back('\0');
  // mkostemp creates with O_EXCL and mode 0600.
  const int fd = mkostemp(name.data(), O_CLOEXEC);
  if (fd < 0) return -1;
  if (unlink(name.data()) != 0) {
    const int e = errno;
    close(fd);
    errno = e;
    return -1;
  }
  return fd;
}

int create_named_temp_file(const std::string& path) {
  const int fd = open(path.c_str(), O_RDWR | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, 0600);
  if (fd < 0) return -1;
  if (unlink(path.c_str()) != 0) {
    const int e = errno;
    close(fd);
    errno = e;
    return -1;
  }
  return fd;
}

FILE* open_named_temp_stream(const std::string& path) {
  const int fd = create_named_temp_file(path);
  if (fd < 0) return nullptr;
  FILE* f = fdopen(fd, "w+b");
  if (!f) {
    const int e = errno;
    close(fd);
    errno = e;
  }
  return f;
}

int open_private_file(const std::string& path, OpenMode mode) {
  int flags = O_WRONLY | O_CREAT | O_NOFOLLOW | O_CLOEXEC;
  // Not blocking on a FIFO planted under the name; the file-kind check
  // below refuses it anyway.
  flags |= O_NONBLOCK;
  flags |= mode == OpenMode::Append ? O_APPEND : 0;
  const int fd = open(path.c_str(), flags, 0600);
  if (fd < 0) return -1;
  struct stat st;
  if (fstat(fd, &st) != 0 || !(S_ISREG(st.st_mode) || S_ISCHR(st.st_mode))) {
    close(fd);
    errno = EINVAL;
    return -1;
  }
  // Truncate only once we know it is our kind of file.
  if (mode == OpenMode::Truncate && S_ISREG(st.st_mode) && ftruncate(fd, 0) != 0) {
    const int e = errno;
    close(fd);
    errno = e;
    return -1;
  }
  fcntl(fd, F_SETFL, fcntl(fd, F_GETFL) & ~O_NONBLOCK);
  return fd;
}

FILE* open_private_stream(const std::string& path, OpenMode mode) {
  const int fd = open_private_file(path, mode);
  if (fd < 0) return nullptr;
  FILE* f = fdopen(fd, mode == OpenMode::Append ? "a" : "w");
  if (!f) {
    const int e = errno;
    close(fd);
    errno = e;
  }
  return f;
}

}  // namespace plat
