// The few Windows types, constants and calls the plug-in uses. On Windows they
// come from the system headers; elsewhere they are declared here and the two
// calls are served by the stand-ins in platform/.
#pragma once

#ifdef _WIN32
#ifndef WIN32_LEAN_AND_MEAN
#define WIN32_LEAN_AND_MEAN
#endif
#include <windows.h>
#else
#include <cstdint>

typedef uint32_t DWORD;
typedef uint16_t WORD;
typedef int BOOL;
typedef void *HANDLE;
typedef void *HWND;
typedef intptr_t INT_PTR;
typedef uintptr_t DWORD_PTR;
typedef unsigned int UINT;

struct FILETIME {
  DWORD dwLowDateTime;
  DWORD dwHighDateTime;
};

#define TRUE 1
#define FALSE 0
#define WINAPI
#define MAX_PATH 260
#define MB_OK 0x00000000u
#define INVALID_HANDLE_VALUE ((HANDLE)(intptr_t)-1)

// Stand-ins for the system calls: platform/dos_date_time.h, and
// platform/posix_stand_ins.cpp for the message box.
#include "platform/dos_date_time.h"

// The plug-in's message box. The stand-in writes "CAPTION: TEXT" to standard
// error; it is weak and exported, so a host program that defines (and exports)
// its own MessageBoxA gets every box as a call, as a Windows host does by
// redirecting the plug-in's import.
extern "C" int MessageBoxA(HWND owner, const char *text, const char *caption, UINT type);
#endif

// The separator the export puts between the destination directory and a name.
#ifdef _WIN32
#define PATH_SEPARATOR '\\'
#else
#define PATH_SEPARATOR '/'
#endif
