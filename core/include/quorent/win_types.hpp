// The Windows types (<windef.h>, with winnt.h), on Windows only: without the
// min and max macros, and without windows.h's function-name macros (GetObject
// and the like), which would reach every file that includes this one.
#pragma once

#ifdef _WIN32
#ifndef NOMINMAX
#define NOMINMAX
#endif
#include <windef.h>
#endif
