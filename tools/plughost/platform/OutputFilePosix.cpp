#include <errno.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstdio>
#include <cstring>
#include <filesystem>

#include "tools/plughost/platform/OutputFile.h"

namespace plughost {

namespace {
constexpr int kNameAttempts = 100;
}

bool OutputFile::Begin(const std::string& targetPath, std::string* error) {
  Discard();
  const std::filesystem::path path(targetPath);
  const std::string folder = path.parent_path().string();
  const std::string stem = path.stem().string();
  const std::string extension = path.extension().string();
  for (int attempt = 0; attempt < kNameAttempts; ++attempt) {
    std::string name = "." + stem + ".partial-" + std::to_string(getpid()) + "-" +
                       std::to_string(attempt) + extension;
    if (!folder.empty()) name = folder + "/" + name;
    const int fd = open(name.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0644);
    if (fd >= 0) {
      close(fd);
      target = targetPath;
      temporary = name;
      return true;
    }
    if (errno != EEXIST) {
      *error = "cannot write in '" + (folder.empty() ? std::string(".") : folder) +
               "': " + std::strerror(errno);
      return false;
    }
  }
  *error = "cannot find a free temporary name next to '" + targetPath + "'";
  return false;
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
