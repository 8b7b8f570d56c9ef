// Symbol visibility of the library's exported interface. The library is built
// with hidden visibility; only what carries ZIVO_EXPORT is seen by a host. The
// in-memory stores, the variant and the XML parser carry it too: the
// simulation library (libzivorivizo-sim.so) builds on them.
#pragma once

#define ZIVO_EXPORT __attribute__((visibility("default")))
