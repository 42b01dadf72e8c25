// windows.h for the tests, without the macros that rename the project's own functions
// (DeleteFile, SetPort and the like).
#pragma once

#ifndef WIN32_LEAN_AND_MEAN
#define WIN32_LEAN_AND_MEAN
#endif
#ifndef NOMINMAX
#define NOMINMAX
#endif
#include <windows.h>
#undef DeleteFile
#undef RemoveDirectory
#undef MessageBox
#undef SetPort
