#include "seh_call.h"

#include <windows.h>

/* Everything is copied here in the filter: under Wine, GetExceptionCode()
 * in the __except body reads 0, and the message is only promised while the
 * exception is dispatched. */
static int Filter(const EXCEPTION_POINTERS* info, ZvRaised* raised) {
  const EXCEPTION_RECORD* record = info->ExceptionRecord;
  raised->code = record->ExceptionCode;
  raised->flags = record->ExceptionFlags;
  raised->parameter_count = record->NumberParameters;
  raised->message_pointer =
      record->NumberParameters >= 1 ? (const char*)record->ExceptionInformation[0] : NULL;
  raised->message[0] = '\0';
  if (record->ExceptionCode == ZV_ERROR_EXCEPTION_CODE && raised->message_pointer != NULL) {
    size_t i = 0;
    for (; i + 1 < sizeof raised->message && raised->message_pointer[i] != '\0'; ++i) {
      raised->message[i] = raised->message_pointer[i];
    }
    raised->message[i] = '\0';
  }
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
