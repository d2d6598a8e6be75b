// Process list and shared-memory probe on Windows: `tasklist /FO CSV /NH` from the system
// folder, run without a console window, its standard output read through a pipe; mappings
// opened by name.
#include <windows.h>

#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "provider/process_list.hpp"
#include "sim_bridge/detection_rules.hpp"

namespace sim_bridge::provider {
namespace {

struct HandleCloser {
    void operator()(HANDLE h) const {
        if (h != nullptr && h != INVALID_HANDLE_VALUE) ::CloseHandle(h);
    }
};
using UniqueHandle = std::unique_ptr<void, HandleCloser>;

struct AttributeListDeleter {
    void operator()(LPPROC_THREAD_ATTRIBUTE_LIST list) const {
        ::DeleteProcThreadAttributeList(list);
        delete[] reinterpret_cast<char*>(list);
    }
};
using UniqueAttributeList = std::unique_ptr<_PROC_THREAD_ATTRIBUTE_LIST, AttributeListDeleter>;

// The child may inherit only these handles. Without the list it would inherit every
// inheritable handle of this process, among them the pipe of a tasklist that another
// thread (the adapter's watchdog) runs at the same moment, and that pipe would then not
// reach its end until both children had ended.
UniqueAttributeList inherit_only(HANDLE* handles, std::size_t count) {
    SIZE_T size = 0;
    ::InitializeProcThreadAttributeList(nullptr, 1, 0, &size);
    auto* raw = reinterpret_cast<LPPROC_THREAD_ATTRIBUTE_LIST>(new char[size]);
    if (!::InitializeProcThreadAttributeList(raw, 1, 0, &size)) {
        delete[] reinterpret_cast<char*>(raw);
        return nullptr;
    }
    UniqueAttributeList list(raw);
    if (!::UpdateProcThreadAttribute(list.get(), 0, PROC_THREAD_ATTRIBUTE_HANDLE_LIST, handles,
                                     count * sizeof(HANDLE), nullptr, nullptr)) {
        return nullptr;
    }
    return list;
}

// The system's own tasklist.exe. Started by bare name, CreateProcessW would look in this
// program's folder and the working directory first, and a tasklist.exe lying in a downloads
// folder would run with the user's rights on every listing.
std::optional<std::wstring> system_tasklist_path() {
    std::wstring folder(MAX_PATH, L'\0');
    for (;;) {
        const UINT length = ::GetSystemDirectoryW(folder.data(), static_cast<UINT>(folder.size()));
        if (length == 0) return std::nullopt;
        if (length < folder.size()) {
            folder.resize(length);
            break;
        }
        folder.resize(length);  // the size it needs, terminator included
    }
    return folder + L"\\tasklist.exe";
}

std::optional<std::string> run_tasklist() {
    const std::optional<std::wstring> program = system_tasklist_path();
    if (!program) return std::nullopt;
    SECURITY_ATTRIBUTES inheritable{sizeof(SECURITY_ATTRIBUTES), nullptr, TRUE};
    HANDLE read_raw = nullptr;
    HANDLE write_raw = nullptr;
    if (!::CreatePipe(&read_raw, &write_raw, &inheritable, 0)) return std::nullopt;
    UniqueHandle read_end(read_raw);
    UniqueHandle write_end(write_raw);
    if (!::SetHandleInformation(read_end.get(), HANDLE_FLAG_INHERIT, 0)) return std::nullopt;
    UniqueHandle null_device(::CreateFileW(L"NUL", GENERIC_READ | GENERIC_WRITE,
                                           FILE_SHARE_READ | FILE_SHARE_WRITE, &inheritable, OPEN_EXISTING, 0,
                                           nullptr));
    if (null_device.get() == INVALID_HANDLE_VALUE) return std::nullopt;

    HANDLE inherited[] = {write_end.get(), null_device.get()};
    UniqueAttributeList attributes = inherit_only(inherited, 2);
    if (!attributes) return std::nullopt;

    STARTUPINFOEXW startup{};
    startup.StartupInfo.cb = sizeof(startup);
    startup.StartupInfo.dwFlags = STARTF_USESTDHANDLES;
    startup.StartupInfo.hStdInput = null_device.get();
    startup.StartupInfo.hStdOutput = write_end.get();
    startup.StartupInfo.hStdError = null_device.get();
    startup.lpAttributeList = attributes.get();

    std::wstring command_line = L"tasklist /FO CSV /NH";  // CreateProcessW may write into it
    PROCESS_INFORMATION child{};
    if (!::CreateProcessW(program->c_str(), command_line.data(), nullptr, nullptr, TRUE,
                          CREATE_NO_WINDOW | EXTENDED_STARTUPINFO_PRESENT, nullptr, nullptr,
                          &startup.StartupInfo, &child)) {
        return std::nullopt;
    }
    UniqueHandle process(child.hProcess);
    UniqueHandle thread(child.hThread);
    write_end.reset();  // else the pipe never reports its end: this process would still hold a writer

    std::string output;
    char buffer[4096];
    bool ended_cleanly = true;
    for (;;) {
        DWORD got = 0;
        if (!::ReadFile(read_end.get(), buffer, sizeof buffer, &got, nullptr)) {
            ended_cleanly = ::GetLastError() == ERROR_BROKEN_PIPE;  // the child closed its end
            break;
        }
        if (got == 0) break;
        output.append(buffer, got);
    }
    ::WaitForSingleObject(process.get(), INFINITE);  // its exit status is not examined
    if (!ended_cleanly) return std::nullopt;
    return output;
}

}  // namespace

std::optional<std::vector<std::string>> take_process_listing() {
    const auto output = run_tasklist();
    if (!output) return std::nullopt;
    return parse_tasklist_csv(*output);
}

bool shared_memory_exists(const std::string& name) {
    HANDLE mapping = ::OpenFileMappingA(FILE_MAP_READ, FALSE, name.c_str());
    if (mapping == nullptr) return false;
    ::CloseHandle(mapping);
    return true;
}

}  // namespace sim_bridge::provider
