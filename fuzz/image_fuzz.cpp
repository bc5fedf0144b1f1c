// Arbitrary bytes as a ".bin" image file: open it, look up the signature
// extension and read it, walk the signed parts, close. Every outcome is a
// true/false result; nothing may crash, hang or touch memory it does not own.
#include <fcntl.h>
#include <unistd.h>

#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string>
#include <vector>

#include "image/binutils.h"
#include "image/traverse.h"
#include "platform/diag.h"
#include "platform/text.h"

namespace {

// tmpfs when there is one: a file is written for every input.
std::string g_path;
WString g_widePath;

void Quiet(DiagStream, const char*, void*) {}

void RemoveFile() { ::unlink(g_path.c_str()); }

bool WriteInput(const uint8_t* data, size_t size) {
  const int fd = ::open(g_path.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0600);
  if (fd < 0) return false;
  size_t done = 0;
  while (done < size) {
    const ssize_t n = ::write(fd, data + done, size - done);
    if (n <= 0) break;
    done += static_cast<size_t>(n);
  }
  ::close(fd);
  return done == size;
}

// Touches both ends of every part (or piece of a long one), so that one
// shorter than its count shows up under ASan.
bool Touch(const BYTE* pbData, DWORD cbData, void* pvContext) {
  if (cbData != 0) *static_cast<unsigned*>(pvContext) += pbData[0] + pbData[cbData - 1];
  return true;
}

}  // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***) {
  const char* dir =
      ::access("/dev/shm", W_OK) == 0 ? "/dev/shm" : (std::getenv("TMPDIR") ? std::getenv("TMPDIR") : "/tmp");
  g_path = std::string(dir) + "/tf_image_fuzz_" + std::to_string(::getpid()) + ".bin";
  g_widePath = WidenUtf8(g_path);
  std::atexit(RemoveFile);
  DiagSetSink(Quiet, nullptr);
  return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  if (!WriteInput(data, size)) std::abort();
  if (OpenImage(g_widePath.c_str())) {
    DWORD address = 0, length = 0;
    if (FindRomExtension("cat_sig", 8, &address, &length) && length <= (1u << 20)) {
      std::vector<BYTE> payload(length);
      ReadRomExtension(address, payload.data(), length);
    }
    unsigned sum = 0;
    TraverseImage(Touch, &sum);
    CloseImage();
  }
  return 0;
}
