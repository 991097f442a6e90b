// The stand-in borlndmm.dll's exports on x64, where the host header gives
// them the platform's one C calling convention.
extern "C" {

void* StandInGetMem(int size);
int StandInFreeMem(void* p);
void* StandInReallocMem(void* p, int size);

void* SysGetMem(int size) { return StandInGetMem(size); }
int SysFreeMem(void* p) { return StandInFreeMem(p); }
void* SysReallocMem(void* p, int size) { return StandInReallocMem(p, size); }

}  // extern "C"
