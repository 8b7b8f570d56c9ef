// Symbol visibility of the library's exported interface. The library is built
// with hidden visibility; only what carries ZIVO_EXPORT is seen by a host.
#pragma once

#define ZIVO_EXPORT __attribute__((visibility("default")))
