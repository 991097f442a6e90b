/* The stand-in borlndmm.dll's three exports on 32-bit x86, written by hand in
 * the register convention of the vendor's compiler:
 *   - the first argument in EAX, the second in EDX (the third would be in
 *     ECX); nothing on the stack, and the callee returns with a plain ret;
 *   - the result in EAX;
 *   - the callee keeps EBX, ESI, EDI and EBP; EAX, ECX and EDX are free.
 * Each thunk hands its arguments to the stand-in's C function (cdecl, in
 * borlndmm.cpp) and then spoils ECX and EDX, as the convention allows, so
 * that a caller counting on them shows it. Nothing here comes from the
 * compiler's regparm attribute: the plugin's and the host's calls meet code
 * that does not share their compiler's idea of the convention. */

        .text

/* Saves the registers the callee keeps and gives the C function a stack
 * aligned to 16 bytes, whatever the caller's alignment. */
.macro enter_c
        pushl   %ebx
        pushl   %esi
        pushl   %edi
        pushl   %ebp
        movl    %esp, %ebp
        andl    $-16, %esp
        subl    $8, %esp        /* with the two arguments: 16 bytes */
.endm

.macro leave_c
        movl    %ebp, %esp
        popl    %ebp
        popl    %edi
        popl    %esi
        popl    %ebx
        movl    $0xBAADF00D, %ecx
        movl    $0xBAADF00D, %edx
        ret
.endm

/* void* SysGetMem(int size): size in EAX; the buffer in EAX. */
        .globl  _SysGetMem
_SysGetMem:
        enter_c
        pushl   $0
        pushl   %eax
        call    _StandInGetMem
        leave_c

/* int SysFreeMem(void* p): p in EAX; 0 (freed) or not 0 in EAX. */
        .globl  _SysFreeMem
_SysFreeMem:
        enter_c
        pushl   $0
        pushl   %eax
        call    _StandInFreeMem
        leave_c

/* void* SysReallocMem(void* p, int size): p in EAX, size in EDX; the buffer
 * in EAX. */
        .globl  _SysReallocMem
_SysReallocMem:
        enter_c
        pushl   %edx
        pushl   %eax
        call    _StandInReallocMem
        leave_c
