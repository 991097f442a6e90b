/* Calls into the plugin the way a Windows host does, catching the structured
 * exception that carries the plugin's error. Used by the plugin loader (that
 * of zelvane-lcd and the tests) and by the tests that time or count
 * the calls. Two implementations, picked by the build:
 *   - seh_call_x86.c, 32-bit x86: an exception-registration record on the
 *     thread's chain at fs:[0] for the length of the call, as a host built
 *     with the vendor's compiler has it (GCC; no __try needed);
 *   - seh_call_x64.c, 64-bit: __try/__except, compiled by clang
 *     (-fms-extensions), since GCC has no __try and x64 has no fs:[0] chain.
 * Plain C so that GCC-built C++ can call it. */
#ifndef ZV_LOADER_SEH_CALL_H
#define ZV_LOADER_SEH_CALL_H

#include <stdint.h>

#include "zelvane_info.h"

#ifdef __cplusplus
extern "C" {
#endif

/* What the host's exception handler saw. */
typedef struct ZvRaised {
  uint32_t code;
  uint32_t flags;
  uint32_t parameter_count;
  const char* message_pointer; /* ExceptionInformation[0] */
  char message[4096];          /* copied while dispatching, NUL-terminated */
} ZvRaised;

/* Calls get_value(code, param). Returns 1 and sets *result when it returned,
 * or 0 and fills *raised when it raised any structured exception. */
int ZvCallGetValue(GetValueFunc get_value, int32_t code, const char* param, char** result,
                   ZvRaised* raised);

/* The same for Init and Config. */
int ZvCallNumeric(InitFunc entry, int32_t* result, ZvRaised* raised);

/* The head of the calling thread's exception-handler chain (fs:[0]) on
 * 32-bit x86, where every call above leaves it as it found it; null on x64,
 * which has no such chain. */
const void* ZvHandlerChainHead(void);

struct _EXCEPTION_RECORD;
/* Fills *raised from the exception being dispatched; the message is copied
 * only for the plugin's own code. Both implementations call it before the
 * plugin's frames are left. */
void ZvCopyRaised(const struct _EXCEPTION_RECORD* record, ZvRaised* raised);

#ifdef __cplusplus
}
#endif

#endif /* ZV_LOADER_SEH_CALL_H */
