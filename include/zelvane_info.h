/*
 * zelvane_info: host interface of the Zelvane info plugin for Lumora 3.
 *
 * This is the one header a host author needs. It describes the descriptor
 * record that getPlugin returns, the macro codes GetValue serves, who owns
 * the texts the plugin returns and how errors reach the host.
 *
 * Texts: every text pointer in PluginInfo and every text GetValue returns
 * points to a NUL-terminated 8-bit text in the Windows-1251 code page.
 *
 * Threads: the plugin starts no threads and takes no locks. Call its entry
 * points from one thread at a time; Init and Config may open modal windows
 * and belong on the host's user-interface thread.
 *
 * Returned buffers: each GetValue call returns a fresh buffer of
 * strlen(text) + 1 bytes which the host owns from then on; the plugin never
 * frees it. Release it with:
 *   - Linux and other POSIX systems: free(p);
 *   - Windows, when borlndmm.dll was loaded in the process (with all three
 *     of "@Borlndmm@SysGetMem$qqri", "@Borlndmm@SysFreeMem$qqrpv" and
 *     "@Borlndmm@SysReallocMem$qqrpvi") when the plugin was loaded or, at the
 *     latest, before its first GetValue returned a buffer: its SysFreeMem
 *     (on 32-bit x86 in borlndmm's register convention, the pointer in EAX);
 *   - Windows otherwise: HeapFree(GetProcessHeap(), 0, p).
 *   The plugin chooses once, at its first buffer, and keeps that allocator
 *   for as long as it stays loaded. It does not import borlndmm.dll itself.
 *
 * Errors: an entry point that fails does not return.
 *   - Linux: it throws a C++ exception derived from std::exception; what()
 *     is the exact message (Windows-1251 bytes). Catch std::exception.
 *     The host must share the plugin's C++ runtime: link libstdc++ and
 *     libgcc_s dynamically (the system's shared ones). A host linked with
 *     a static libstdc++ or libgcc cannot catch the plugin's exceptions and
 *     aborts on the first error.
 *   - Windows: no C++ exception leaves the DLL. The failure is raised as a
 *     structured exception with RaiseException: ExceptionCode
 *     ZV_ERROR_EXCEPTION_CODE, ExceptionFlags EXCEPTION_NONCONTINUABLE,
 *     NumberParameters 1, ExceptionInformation[0] a pointer (ULONG_PTR) to
 *     the NUL-terminated message (Windows-1251 bytes). The message stays
 *     valid while the exception is dispatched and until the next entry point
 *     call; copy it in the exception filter. Catch it with __try/__except
 *     (or any handler that unwinds to the host's frame): the plugin has
 *     nothing left to clean up when it raises, and stays usable afterwards.
 *     Do not continue execution at the point of the raise.
 */
#ifndef ZELVANE_INFO_H
#define ZELVANE_INFO_H

#include <stddef.h>
#include <stdint.h>

#if defined(_WIN32)
#define ZV_CDECL __cdecl
#else
#define ZV_CDECL
#endif

#ifdef __cplusplus
extern "C" {
#endif

/* Number of entries of each macro table in PluginInfo. */
#define ZV_TABLE_ENTRIES 17

/* Structured-exception code of the plugin's errors on Windows (an
 * application code: severity error, customer bit set). */
#define ZV_ERROR_EXCEPTION_CODE 0xE05A5601u
/* Number of exception parameters; parameter 0 is the message pointer. */
#define ZV_ERROR_EXCEPTION_PARAMS 1

#if defined(_WIN32)
/* The host's shared memory manager, borlndmm.dll: its exports, and their
 * calling convention (on 32-bit x86 the first three integer arguments travel
 * in EAX, EDX, ECX, which GCC's and clang's regparm(3) matches). Buffers
 * handed out while it was loaded are released with its SysFreeMem. */
#define ZV_BORLNDMM_MODULE "borlndmm.dll"
#define ZV_BORLNDMM_SYSGETMEM "@Borlndmm@SysGetMem$qqri"
#define ZV_BORLNDMM_SYSFREEMEM "@Borlndmm@SysFreeMem$qqrpv"
#define ZV_BORLNDMM_SYSREALLOCMEM "@Borlndmm@SysReallocMem$qqrpvi"
#if defined(__i386__) && defined(__GNUC__)
#define ZV_BORLNDMM_CALL __attribute__((regparm(3)))
#else
#define ZV_BORLNDMM_CALL
#endif
typedef void *(ZV_BORLNDMM_CALL *SysGetMemFunc)(int32_t size);
typedef int32_t(ZV_BORLNDMM_CALL *SysFreeMemFunc)(void *p);
typedef void *(ZV_BORLNDMM_CALL *SysReallocMemFunc)(void *p, int32_t size);
#endif

/* Macro codes accepted by GetValue; only the low 16 bits of the argument
 * count, sign-extended. Any other code returns the previous text again. */
enum MacroCode {
  ZV_MACRO_RESET = -1, /* "" and the last text becomes empty */
  ZV_MACRO_CHECK = 0,  /* "" while the monitor is there (connects on demand),
                          else "#skip" */
  ZV_MACRO_TEMP = 1,   /* temperature of sensor `index`, whole degrees */
  ZV_MACRO_FAN = 2,    /* fan speed of sensor `index`, RPM */
  ZV_MACRO_VOLT = 3    /* voltage of sensor `index`, whole volts */
};

/* Computes the text of one macro occurrence. `param` holds the sensor index
 * as a decimal integer (0..31), or is null for index 0. */
typedef char *(ZV_CDECL *GetValueFunc)(int32_t code, const char *param);
/* Prepares the plugin: loads its settings and starts the monitor when asked
 * to. Returns 0, or -1 when the user declined to retry a failed start. */
typedef int32_t(ZV_CDECL *InitFunc)(void);
/* Shows the settings dialog; always returns 0. */
typedef int32_t(ZV_CDECL *ConfigFunc)(void);

/* The plugin's descriptor: static, never changed, valid while the module is
 * loaded. Entries 1..4 of the three macro tables describe $zvCheck, $zvTemp,
 * $zvFan and $zvVolt; the other entries point to "". On 32-bit x86 the
 * record is 300 bytes; on 64-bit the pointer fields are 8 bytes wide. */
typedef struct PluginInfo {
  const char *Title;
  const char *About;
  int32_t InfoCode; /* 1027 */
  const char *ShortName;
  const char *Descriptions[ZV_TABLE_ENTRIES];
  const char *Macros[ZV_TABLE_ENTRIES];
  const char *Examples[ZV_TABLE_ENTRIES];
  const char *Headings[ZV_TABLE_ENTRIES];
  GetValueFunc GetValue;
  InitFunc Init;
  ConfigFunc Config;
} PluginInfo;

/* The module's only export. Returns the same address on every call. */
typedef PluginInfo *(ZV_CDECL *GetPluginFunc)(void);

#ifdef __cplusplus
}
#endif

#endif /* ZELVANE_INFO_H */
