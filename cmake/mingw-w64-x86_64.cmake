# Cross-compiling for 64-bit Windows with Debian's mingw-w64 (posix threads
# variant, so that std::mutex and std::call_once exist).
set(CMAKE_SYSTEM_NAME Windows)
set(CMAKE_SYSTEM_PROCESSOR x86_64)

set(mingw_prefix x86_64-w64-mingw32)
set(CMAKE_C_COMPILER ${mingw_prefix}-gcc-posix)
set(CMAKE_CXX_COMPILER ${mingw_prefix}-g++-posix)
set(CMAKE_RC_COMPILER ${mingw_prefix}-windres)
set(CMAKE_AR ${mingw_prefix}-ar CACHE FILEPATH "")
set(CMAKE_RANLIB ${mingw_prefix}-ranlib CACHE FILEPATH "")

# Libraries and headers come from the mingw sysroot and the folders named in
# CMAKE_PREFIX_PATH (the cross-built libpng), never from the Linux system.
set(CMAKE_FIND_ROOT_PATH /usr/${mingw_prefix})
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_PACKAGE ONLY)

# Prefer static archives: the module must import nothing but system DLLs.
set(CMAKE_FIND_LIBRARY_SUFFIXES .a .dll.a .lib)

# Wine runs the cross-built programs (try_run and the tests).
find_program(THUDRA_WINE NAMES wine64 wine)
if(THUDRA_WINE)
  set(CMAKE_CROSSCOMPILING_EMULATOR ${THUDRA_WINE})
endif()

# libgcc, libstdc++ and winpthread go into the binaries themselves.
set(CMAKE_SHARED_LINKER_FLAGS_INIT "-static -static-libgcc -static-libstdc++")
set(CMAKE_MODULE_LINKER_FLAGS_INIT "-static -static-libgcc -static-libstdc++")
set(CMAKE_EXE_LINKER_FLAGS_INIT "-static -static-libgcc -static-libstdc++")
