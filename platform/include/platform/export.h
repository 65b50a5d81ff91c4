// Marks the plain C functions and data that a library of ours exports; everything else in a
// shared library stays hidden.
#pragma once

#define DRAVIK_EXPORT extern "C" __attribute__((visibility("default")))
