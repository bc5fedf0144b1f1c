#include "crypto/random/wipe.h"

#include <cstring>

void SecureWipe(void* pv, size_t cb) {
  if (pv == nullptr || cb == 0) return;
  std::memset(pv, 0, cb);
  // Tells the compiler that the cleared bytes may be read through pv, so the
  // memset above is an observable store it must keep.
  __asm__ __volatile__("" : : "r"(pv) : "memory");
}
