# Cross-compiles a 64-bit twin of the Windows program with MinGW-w64: the
# Wine tests run it on machines whose kernel cannot start 32-bit code.
set(CMAKE_SYSTEM_PROCESSOR x86_64)
include(${CMAKE_CURRENT_LIST_DIR}/mingw.cmake)
