// The tests stand in for some of SDL's calls by defining them in the test program, where the
// program's calls reach them first; a stand-in passes a call on to SDL's own function with this.
#pragma once

#include <dlfcn.h>

#define REAL_SDL(name) reinterpret_cast<decltype(&name)>(dlsym(RTLD_NEXT, #name))
