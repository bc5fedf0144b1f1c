# 32-bit Linux programs on an x86_64 host (gcc -m32 with Debian's multilib
# and the i386 libraries): the benchmarks measure the arithmetic as the i686
# deliverable runs it, with OpenSSL and GMP of the same width beside it.
# The host still runs the programs, so this is not a cross build.
set(CMAKE_SYSTEM_PROCESSOR i686)
set(CMAKE_C_COMPILER gcc)
set(CMAKE_CXX_COMPILER g++)
# 64-bit file offsets, as on the 64-bit host (the stand-ins compare sizes with 2^32).
set(CMAKE_C_FLAGS_INIT "-m32 -D_FILE_OFFSET_BITS=64")
set(CMAKE_CXX_FLAGS_INIT "-m32 -D_FILE_OFFSET_BITS=64")
set(CMAKE_EXE_LINKER_FLAGS_INIT "-m32")
set(CMAKE_SHARED_LINKER_FLAGS_INIT "-m32")
# Libraries and package files from the i386 multiarch directories only.
set(CMAKE_LIBRARY_ARCHITECTURE i386-linux-gnu)
set(CMAKE_IGNORE_PATH /usr/lib/x86_64-linux-gnu /lib/x86_64-linux-gnu /usr/lib/x86_64-linux-gnu/cmake)
