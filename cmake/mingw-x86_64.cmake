# CMake toolchain file: cross-compile for x86_64 Windows with MinGW-w64 and its
# "-posix" thread model (GoogleTest needs std::mutex). Debian package:
# g++-mingw-w64-x86-64 (scripts/setup-windows.sh installs it). Used by the
# windows-x86_64 preset; scripts/wine-run.sh runs what it builds.
set(CMAKE_SYSTEM_NAME Windows)
set(CMAKE_SYSTEM_PROCESSOR AMD64)
set(MINGW_TRIPLE x86_64-w64-mingw32)
include(${CMAKE_CURRENT_LIST_DIR}/mingw-common.cmake)
