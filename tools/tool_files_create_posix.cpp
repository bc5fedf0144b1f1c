#include <fcntl.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>

#include "tools/tool_files_create.h"

namespace toolfiles {

bool CreateAndWrite(const std::string& path, const void* bytes, size_t size, Access access, std::string* cause) {
  const mode_t mode = access == Access::kOwnerOnly ? 0600 : 0666;
  const int fd = ::open(path.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, mode);
  if (fd < 0) {
    *cause = std::strerror(errno);
    return false;
  }
  const char* p = static_cast<const char*>(bytes);
  int failure = 0;
  for (size_t done = 0; done < size && failure == 0;) {
    const ssize_t n = ::write(fd, p + done, size - done);
    if (n > 0) {
      done += static_cast<size_t>(n);
    } else if (n < 0 && errno != EINTR) {
      failure = errno;
    }
  }
  if (::close(fd) != 0 && failure == 0) failure = errno;
  if (failure == 0) return true;
  *cause = std::strerror(failure);
  ::unlink(path.c_str());
  return false;
}

}  // namespace toolfiles
