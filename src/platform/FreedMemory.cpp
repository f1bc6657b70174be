#include "platform/FreedMemory.h"

#include <malloc.h>

namespace orvex {

void ReturnFreedMemory() {
#ifdef __GLIBC__
    ::malloc_trim(0);
#endif
}

}  // namespace orvex
