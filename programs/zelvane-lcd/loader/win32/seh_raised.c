#include <windows.h>

#include "seh_call.h"

/* Copied while the exception is dispatched: the message is only promised
 * until then. */
void ZvCopyRaised(const EXCEPTION_RECORD* record, ZvRaised* raised) {
  raised->code = record->ExceptionCode;
  raised->flags = record->ExceptionFlags;
  raised->parameter_count = record->NumberParameters;
  raised->message_pointer =
      /* NOLINTNEXTLINE(performance-no-int-to-ptr): the raiser's pointer, as a word */
      record->NumberParameters >= 1 ? (const char*)record->ExceptionInformation[0] : NULL;
  raised->message[0] = '\0';
  if (record->ExceptionCode == ZV_ERROR_EXCEPTION_CODE && raised->message_pointer != NULL) {
    size_t i = 0;
    for (; i + 1 < sizeof raised->message && raised->message_pointer[i] != '\0'; ++i) {
      raised->message[i] = raised->message_pointer[i];
    }
    raised->message[i] = '\0';
  }
}
