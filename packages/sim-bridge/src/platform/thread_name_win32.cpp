// Windows thread names through SetThreadDescription. It exists only since Windows 10 1607 and
// some MinGW headers lack it, so it is looked up in kernel32 at run time.
#include <windows.h>

#include <string>

#include "platform/thread_name.hpp"

namespace sim_bridge::platform {
namespace {

using SetThreadDescriptionFn = HRESULT(WINAPI*)(HANDLE, PCWSTR);

SetThreadDescriptionFn find_set_thread_description() {
    HMODULE kernel32 = ::GetModuleHandleW(L"kernel32.dll");
    if (kernel32 == nullptr) return nullptr;
    FARPROC proc = ::GetProcAddress(kernel32, "SetThreadDescription");
    // Through the generic function pointer type, which converts to any other without warnings.
    return reinterpret_cast<SetThreadDescriptionFn>(reinterpret_cast<void (*)()>(proc));
}

}  // namespace

void set_current_thread_name(const char* name) noexcept {
    static const SetThreadDescriptionFn set_description = find_set_thread_description();
    if (set_description == nullptr) return;
    // Thread names are ASCII here; widen byte by byte.
    std::wstring wide;
    for (const char* c = name; *c != '\0'; ++c)
        wide.push_back(static_cast<wchar_t>(static_cast<unsigned char>(*c)));
    set_description(::GetCurrentThread(), wide.c_str());
}

}  // namespace sim_bridge::platform
