# CMake toolchain file: cross-compile for i686 Windows with MinGW-w64 and its
# "-posix" thread model (GoogleTest needs std::mutex). Debian package:
# g++-mingw-w64-i686 (scripts/setup-windows.sh installs it). Used by the
# windows-i686 preset; scripts/wine-run.sh runs what it builds.
set(CMAKE_SYSTEM_NAME Windows)
set(CMAKE_SYSTEM_PROCESSOR x86)
set(MINGW_TRIPLE i686-w64-mingw32)
include(${CMAKE_CURRENT_LIST_DIR}/mingw-common.cmake)
