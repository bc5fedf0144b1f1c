// Stands in for the image reader and the acceptance until their sources are
// in the tree: no file opens as an image, and nothing is accepted. Only the
// parts that are missing are defined.
#include "platform/win.h"

#if !__has_include("image/binutils.cpp")
bool OpenImage(LPCWSTR) { return false; }
void CloseImage() {}
#endif

#if !__has_include("image/accept.cpp")
void SetExpectedDevice(const WCHAR*, const WCHAR*) {}
bool AcceptImage() { return false; }
#endif
