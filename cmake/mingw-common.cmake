# The part of the MinGW-w64 toolchain files that both bitnesses share; the
# toolchain file of each sets MINGW_TRIPLE and CMAKE_SYSTEM_PROCESSOR first.
#
# The GCC runtime (libgcc, libstdc++, libwinpthread) is linked statically, so
# the .exe/.dll files import only Windows system DLLs (KERNEL32 and msvcrt, plus
# USER32 etc. only when the code itself uses them) and need no MinGW DLLs.

set(CMAKE_C_COMPILER   ${MINGW_TRIPLE}-gcc-posix)
set(CMAKE_CXX_COMPILER ${MINGW_TRIPLE}-g++-posix)
find_program(MINGW_WINDRES ${MINGW_TRIPLE}-windres)
if(MINGW_WINDRES)
  set(CMAKE_RC_COMPILER ${MINGW_WINDRES})
endif()

# Headers/libraries/packages only from the MinGW sysroot; programs from the host.
set(CMAKE_FIND_ROOT_PATH /usr/${MINGW_TRIPLE})
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_PACKAGE ONLY)

# Static runtime: no libgcc_s_*.dll / libstdc++-6.dll / libwinpthread-1.dll
# needed next to the binaries. -static makes the linker pick the .a archives
# (libwinpthread included); it also works for DLLs (add_library SHARED/MODULE).
set(CMAKE_EXE_LINKER_FLAGS_INIT    "-static -static-libgcc -static-libstdc++")
set(CMAKE_SHARED_LINKER_FLAGS_INIT "-static -static-libgcc -static-libstdc++")
set(CMAKE_MODULE_LINKER_FLAGS_INIT "-static -static-libgcc -static-libstdc++")

# Tests are run explicitly through scripts/wine-run.sh, not by CMake/CTest.
set(CMAKE_CROSSCOMPILING_EMULATOR "")
