// The module's global objects. Loading the library constructs these and
// nothing else: no manager exists, no registry key is read and no connection
// is made until the host asks for it. The managers' singleton pointers are
// defined beside their classes and start null.
#include "zivorivizo/Log.h"

constinit CPrint myPrint;
