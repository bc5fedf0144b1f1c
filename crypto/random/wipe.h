// Clearing memory that held key material or gathered entropy. A plain memset
// of a buffer that is never read again may be removed by the optimiser; this
// one may not.
#pragma once

#include <cstddef>

void SecureWipe(void* pv, size_t cb);
