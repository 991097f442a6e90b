/* Calls into the plugin the way a Windows host does: inside __try/__except,
 * catching the structured exception that carries the plugin's error. Used by
 * the host stand-in and the tests. Built by clang (-fms-extensions), since
 * GCC has no __try; plain C so that GCC-built code can call it. */
#ifndef ZV_HOST_SEH_CALL_H
#define ZV_HOST_SEH_CALL_H

#include <stdint.h>

#include "zelvane_info.h"

#ifdef __cplusplus
extern "C" {
#endif

/* What the host's exception filter saw. */
typedef struct ZvRaised {
  uint32_t code;
  uint32_t flags;
  uint32_t parameter_count;
  const char* message_pointer; /* ExceptionInformation[0] */
  char message[4096];          /* copied in the filter, NUL-terminated */
} ZvRaised;

/* Calls get_value(code, param). Returns 1 and sets *result when it returned,
 * or 0 and fills *raised when it raised any structured exception. */
int ZvCallGetValue(GetValueFunc get_value, int32_t code, const char* param, char** result,
                   ZvRaised* raised);

/* The same for Init and Config. */
int ZvCallNumeric(InitFunc entry, int32_t* result, ZvRaised* raised);

#ifdef __cplusplus
}
#endif

#endif /* ZV_HOST_SEH_CALL_H */
