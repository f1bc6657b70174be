#include "platform/FreedMemory.h"

#include <malloc.h>

#include "platform/CurlLibrary.h"

namespace orvex {

void ReturnFreedMemory() {
    // libcurl and what it brought are loaded again by the next transfer that asks.
    ReleaseIdleCurl();
#ifdef __GLIBC__
    ::malloc_trim(0);
#endif
}

}  // namespace orvex
