// Keeps the DLL out of its host's exception handling.
//
// The C++ runtime's exception support brings in MinGW-w64's winpthreads, and
// winpthreads registers a vectored exception handler whenever the DLL that
// holds it loads: a hook into every exception of the whole process, there
// only to swallow the exception that names a thread for a debugger, which
// this plug-in never raises. A plug-in has no business there, and a 32-bit
// Double Commander under Wine hangs at exit while such a hook is registered
// by a plug-in it has loaded. The two calls are served here, through the
// import slots that the linker would otherwise fill from kernel32: the
// registration hooks nothing and returns a handle of ours, which removes
// successfully.
#include <windows.h>

namespace {

int NoHandlerToken;

PVOID WINAPI RegisterNoHandler(ULONG /*first*/, PVECTORED_EXCEPTION_HANDLER /*handler*/) {
  return &NoHandlerToken;
}

ULONG WINAPI RemoveNoHandler(PVOID handle) { return handle == &NoHandlerToken ? 1 : 0; }

using RegisterFunction = decltype(&RegisterNoHandler);
using RemoveFunction = decltype(&RemoveNoHandler);

} // namespace

// An import slot holds the address that `call [__imp_Name]` jumps to. Names
// are decorated with the stdcall argument size on 32-bit Windows only.
#if defined(_WIN64)
#define KORVEL_IMPORT_SLOT(name, bytes) "__imp_" #name
#else
#define KORVEL_IMPORT_SLOT(name, bytes) "__imp__" #name "@" #bytes
#endif

extern "C" {
extern const RegisterFunction RegisterSlot __asm__(KORVEL_IMPORT_SLOT(AddVectoredExceptionHandler, 8));
extern const RemoveFunction RemoveSlot __asm__(KORVEL_IMPORT_SLOT(RemoveVectoredExceptionHandler, 4));
const RegisterFunction RegisterSlot = &RegisterNoHandler;
const RemoveFunction RemoveSlot = &RemoveNoHandler;
}
