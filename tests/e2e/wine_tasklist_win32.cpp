// A tasklist.exe for the Wine test prefix, whose own tasklist prints nothing. It lists the
// running processes as `tasklist /FO CSV /NH` does, one CRLF-ended line each, in UTF-8:
//   "LMU.exe","1234","Console","1","12,345 K"
// The options are accepted and ignored; this is the only form detection asks for. Test-only:
// the e2e tests copy it into the prefix's system32 and run with WINEDLLOVERRIDES=tasklist.exe=n.
#include <windows.h>
#include <psapi.h>
#include <tlhelp32.h>

#include <string>

#include "text/wide_text.hpp"

namespace {

// The working set as tasklist shows it: kilobytes with thousands separators, "0 K" when the
// process cannot be asked.
std::string memory_usage(DWORD pid) {
    SIZE_T bytes = 0;
    if (HANDLE process = ::OpenProcess(PROCESS_QUERY_LIMITED_INFORMATION, FALSE, pid)) {
        PROCESS_MEMORY_COUNTERS counters{};
        if (::K32GetProcessMemoryInfo(process, &counters, sizeof counters)) bytes = counters.WorkingSetSize;
        ::CloseHandle(process);
    }
    std::string digits = std::to_string(bytes / 1024);
    for (auto at = digits.size(); at > 3; at -= 3) digits.insert(at - 3, ",");
    return digits + " K";
}

std::string csv_line(const PROCESSENTRY32W& entry) {
    DWORD session = 0;
    ::ProcessIdToSessionId(entry.th32ProcessID, &session);
    const std::string session_name = session == 0 ? "Services" : "Console";
    return "\"" + text::utf8_from_wide(entry.szExeFile) + "\",\"" + std::to_string(entry.th32ProcessID) + "\",\"" +
           session_name + "\",\"" + std::to_string(session) + "\",\"" + memory_usage(entry.th32ProcessID) +
           "\"\r\n";
}

}  // namespace

int main() {
    HANDLE snapshot = ::CreateToolhelp32Snapshot(TH32CS_SNAPPROCESS, 0);
    if (snapshot == INVALID_HANDLE_VALUE) return 1;
    std::string listing;
    PROCESSENTRY32W entry{};
    entry.dwSize = sizeof entry;
    for (BOOL more = ::Process32FirstW(snapshot, &entry); more; more = ::Process32NextW(snapshot, &entry)) {
        listing += csv_line(entry);
    }
    ::CloseHandle(snapshot);
    // Bytes as they are: no text-mode translation of the line ends, no code-page conversion.
    const HANDLE out = ::GetStdHandle(STD_OUTPUT_HANDLE);
    for (std::size_t done = 0; done < listing.size();) {
        DWORD written = 0;
        const auto chunk = static_cast<DWORD>(listing.size() - done);
        if (!::WriteFile(out, listing.data() + done, chunk, &written, nullptr) || written == 0) return 1;
        done += written;
    }
    return 0;
}
