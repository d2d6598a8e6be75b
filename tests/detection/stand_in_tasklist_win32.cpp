// A stand-in for tasklist.exe that the detection tests plant where a bare-name search would
// find it: when it runs, it leaves "<its own path>.ran" beside itself and lists nothing.
#include <windows.h>

#include <string>

int main() {
    std::wstring path(MAX_PATH, L'\0');
    for (;;) {
        const DWORD length = ::GetModuleFileNameW(nullptr, path.data(), static_cast<DWORD>(path.size()));
        if (length == 0) return 1;
        if (length < path.size()) {
            path.resize(length);
            break;
        }
        path.resize(path.size() * 2);
    }
    const HANDLE marker = ::CreateFileW((path + L".ran").c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS,
                                        FILE_ATTRIBUTE_NORMAL, nullptr);
    if (marker == INVALID_HANDLE_VALUE) return 1;
    ::CloseHandle(marker);
    return 0;
}
