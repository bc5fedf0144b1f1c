// The class factory of the service's root object, shared by the in-process
// registration and the Windows DLL. Internal to sim/.
#pragma once

#include "platform/com.h"

// A new factory with one reference.
IClassFactory* SimNewClassFactory();

// LockServer(TRUE) calls not yet undone (for DllCanUnloadNow).
long SimServerLocks();
