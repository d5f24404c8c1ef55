# Builds the Linux program against musl, statically: a head part then
# starts on any x86-64 Linux, whatever its C library.  The program uses no
# C++ library, only the C one, so g++ with musl's specs will do.
set(CMAKE_SYSTEM_NAME Linux)
set(CMAKE_SYSTEM_PROCESSOR x86_64)
set(CMAKE_CXX_COMPILER g++)
set(CMAKE_ASM_COMPILER gcc)
set(musl_specs "-specs /usr/lib/x86_64-linux-musl/musl-gcc.specs")
set(CMAKE_CXX_FLAGS_INIT "${musl_specs}")
set(CMAKE_ASM_FLAGS_INIT "${musl_specs}")
set(CMAKE_EXE_LINKER_FLAGS_INIT "-static")  # the compile flags, and so the specs, come along
