#include <windows.h>

#include "seh_call.h"

/* Everything is copied in the filter: under Wine, GetExceptionCode() in the
 * __except body reads 0. */
static int Filter(const EXCEPTION_POINTERS* info, ZvRaised* raised) {
  ZvCopyRaised(info->ExceptionRecord, raised);
  return EXCEPTION_EXECUTE_HANDLER;
}

int ZvCallGetValue(GetValueFunc get_value, int32_t code, const char* param, char** result,
                   ZvRaised* raised) {
  __try {
    *result = get_value(code, param);
    return 1;
  } __except (Filter(GetExceptionInformation(), raised)) {
    return 0;
  }
}

int ZvCallNumeric(InitFunc entry, int32_t* result, ZvRaised* raised) {
  __try {
    *result = entry();
    return 1;
  } __except (Filter(GetExceptionInformation(), raised)) {
    return 0;
  }
}

const void* ZvHandlerChainHead(void) { return NULL; }
