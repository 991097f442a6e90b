/* 32-bit x86: each call into the plugin runs with an exception-registration
 * record of ours at the head of the thread's handler chain (fs:[0]), the way
 * code from the vendor's compiler guards a try block. When the plugin raises,
 * the system calls our handler; it copies what was raised, unwinds the
 * records above ours (RtlUnwind), and resumes in the guarding function,
 * which takes its record off the chain. The plugin's abandoned frames hold
 * nothing to clean up, as its header promises. */
#include <windows.h>

#include "seh_call.h"

/* Our registration record: the system's two fields first, then what the
 * handler needs to resume in the host. */
typedef struct Guard {
  EXCEPTION_REGISTRATION_RECORD record;
  ZvRaised* raised;
  void* resume[5]; /* __builtin_setjmp's buffer: frame, label, stack */
} Guard;

/* RtlUnwind(frame, NULL, record, NULL), keeping EBX, ESI, EDI and EBP, which
 * RtlUnwind is not known to keep (it resumes through a context it captured);
 * the C code around the call counts on them. */
void ZvUnwindTo(void* frame, EXCEPTION_RECORD* record);
__asm__(
    ".text\n"
    ".globl _ZvUnwindTo\n"
    "_ZvUnwindTo:\n"
    "  pushl %ebx\n"
    "  pushl %esi\n"
    "  pushl %edi\n"
    "  pushl %ebp\n"
    "  pushl $0\n"       /* ReturnValue */
    "  pushl 28(%esp)\n" /* ExceptionRecord: the second argument */
    "  pushl $0\n"       /* TargetIp */
    "  pushl 32(%esp)\n" /* TargetFrame: the first argument */
    "  call _RtlUnwind@16\n"
    "  popl %ebp\n"
    "  popl %edi\n"
    "  popl %esi\n"
    "  popl %ebx\n"
    "  ret\n");

/* Called by the system for every exception that reaches our record. Any
 * structured exception ends the call (the host reports the ones that are not
 * the plugin's); the calls it gets while the chain unwinds pass. */
static EXCEPTION_DISPOSITION NTAPI Handler(EXCEPTION_RECORD* record, void* frame, CONTEXT* context,
                                           void* dispatcher) {
  (void)context;
  (void)dispatcher;
  if ((record->ExceptionFlags & (EXCEPTION_UNWINDING | EXCEPTION_EXIT_UNWIND)) != 0) {
    return ExceptionContinueSearch;
  }
  Guard* guard = (Guard*)frame;
  ZvCopyRaised(record, guard->raised);
  /* Leaves our record at the head of the chain. */
  ZvUnwindTo(frame, record);
  __builtin_longjmp(guard->resume, 1);
}

/* The head of this thread's handler chain, fs:[0]. */
static EXCEPTION_REGISTRATION_RECORD* ChainHead(void) {
  EXCEPTION_REGISTRATION_RECORD* head;
  __asm__ __volatile__("movl %%fs:0, %0" : "=r"(head));
  return head;
}

static void SetChainHead(EXCEPTION_REGISTRATION_RECORD* head) {
  __asm__ __volatile__("movl %0, %%fs:0" : : "r"(head) : "memory");
}

const void* ZvHandlerChainHead(void) { return ChainHead(); }

/* Calls call(argument) inside our record. Returns 1 when it returned, 0 when
 * it raised (and *raised is filled). */
static int __attribute__((noinline))
Guarded(void (*call)(void*), void* argument, ZvRaised* raised) {
  Guard guard;
  guard.record.Handler = Handler;
  guard.record.Next = ChainHead();
  guard.raised = raised;
  if (__builtin_setjmp(guard.resume) != 0) {
    /* Back from the handler, on this frame's stack again. */
    SetChainHead(guard.record.Next);
    return 0;
  }
  SetChainHead(&guard.record);
  call(argument);
  SetChainHead(guard.record.Next);
  return 1;
}

typedef struct GetValueCall {
  GetValueFunc get_value;
  int32_t code;
  const char* param;
  char* result;
} GetValueCall;

static void CallGetValue(void* argument) {
  GetValueCall* call = (GetValueCall*)argument;
  call->result = call->get_value(call->code, call->param);
}

int ZvCallGetValue(GetValueFunc get_value, int32_t code, const char* param, char** result,
                   ZvRaised* raised) {
  GetValueCall call = {get_value, code, param, NULL};
  if (Guarded(CallGetValue, &call, raised) == 0) {
    return 0;
  }
  *result = call.result;
  return 1;
}

typedef struct NumericCall {
  InitFunc entry;
  int32_t result;
} NumericCall;

static void CallNumeric(void* argument) {
  NumericCall* call = (NumericCall*)argument;
  call->result = call->entry();
}

int ZvCallNumeric(InitFunc entry, int32_t* result, ZvRaised* raised) {
  NumericCall call = {entry, 0};
  if (Guarded(CallNumeric, &call, raised) == 0) {
    return 0;
  }
  *result = call.result;
  return 1;
}
