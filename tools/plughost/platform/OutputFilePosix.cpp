#include <errno.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstdio>
#include <cstring>
#include <filesystem>

#include "tools/plughost/platform/OutputFile.h"

namespace plughost {

ExclusiveCreate CreateFileExclusively(const std::string& path, std::string* error) {
  const int fd = open(path.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0644);
  if (fd >= 0) {
    close(fd);
    return ExclusiveCreate::Created;
  }
  if (errno == EEXIST) return ExclusiveCreate::Taken;
  *error = std::strerror(errno);
  return ExclusiveCreate::Failed;
}

unsigned long CurrentProcessNumber() {
  return static_cast<unsigned long>(getpid());
}

bool OutputFile::WriteAll(const void* data, std::size_t size, std::string* error) {
  const int fd = open(temporary.c_str(), O_WRONLY | O_TRUNC | O_CLOEXEC);
  if (fd < 0) {
    *error = "cannot write '" + temporary + "': " + std::strerror(errno);
    return false;
  }
  const auto* bytes = static_cast<const unsigned char*>(data);
  std::size_t done = 0;
  while (done < size) {
    const ssize_t put = write(fd, bytes + done, size - done);
    if (put < 0 && errno == EINTR) continue;
    if (put <= 0) {
      *error = "cannot write '" + target + "': " + std::strerror(errno);
      close(fd);
      return false;
    }
    done += static_cast<std::size_t>(put);
  }
  if (close(fd) != 0) {
    *error = "cannot write '" + target + "': " + std::strerror(errno);
    return false;
  }
  return true;
}

bool OutputFile::Commit(std::string* error) {
  if (temporary.empty()) {
    *error = "nothing to commit";
    return false;
  }
  if (std::rename(temporary.c_str(), target.c_str()) != 0) {
    *error = "cannot write '" + target + "': " + std::strerror(errno);
    return false;
  }
  temporary.clear();
  return true;
}

void OutputFile::Discard() {
  if (!temporary.empty()) unlink(temporary.c_str());
  temporary.clear();
}

}  // namespace plughost
