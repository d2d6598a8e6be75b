// Windows named mappings and events: kernel objects in the session namespace, opened with
// exactly the access that LMU's own objects grant to readers.
#include <windows.h>

#include <algorithm>
#include <utility>

#include "sim_bridge/platform/named_objects.hpp"

namespace sim_bridge::platform {
namespace {

std::error_code last_error() {
    return {static_cast<int>(::GetLastError()), std::system_category()};
}

// The size Windows actually mapped: whole pages, so it may exceed the object's own size.
std::size_t view_size(const void* view) {
    MEMORY_BASIC_INFORMATION info{};
    if (::VirtualQuery(view, &info, sizeof(info)) == 0) return 0;
    return static_cast<std::size_t>(info.RegionSize);
}

void close_handle(void* handle) {
    if (handle != nullptr) ::CloseHandle(handle);
}

DWORD to_wait_millis(std::chrono::milliseconds timeout) {
    if (timeout.count() <= 0) return 0;
    // INFINITE is 0xFFFFFFFF; every finite wait stays below it.
    constexpr auto kLongest = static_cast<long long>(INFINITE - 1);
    return static_cast<DWORD>(timeout.count() < kLongest ? timeout.count() : kLongest);
}

}  // namespace

// ---- SharedMapping ----

OsResult<SharedMapping> SharedMapping::open_read_only(const std::string& name) {
    HANDLE mapping = ::OpenFileMappingA(FILE_MAP_READ, FALSE, name.c_str());
    if (mapping == nullptr) return std::unexpected(last_error());
    void* view = ::MapViewOfFile(mapping, FILE_MAP_READ, 0, 0, 0);
    if (view == nullptr) {
        auto error = last_error();
        ::CloseHandle(mapping);
        return std::unexpected(error);
    }
    return SharedMapping(mapping, view, view_size(view));
}

OsResult<SharedMapping::CreatedOrOpened> SharedMapping::create_or_open(const std::string& name,
                                                                       std::size_t size) {
    if (size == 0) return std::unexpected(std::make_error_code(std::errc::invalid_argument));
    const auto wide = static_cast<unsigned long long>(size);
    HANDLE mapping =
        ::CreateFileMappingA(INVALID_HANDLE_VALUE, nullptr, PAGE_READWRITE, static_cast<DWORD>(wide >> 32),
                             static_cast<DWORD>(wide), name.c_str());
    // Must be read before any other call can overwrite it.
    const bool already_existed = ::GetLastError() == ERROR_ALREADY_EXISTS;
    if (mapping == nullptr) return std::unexpected(last_error());
    void* view = ::MapViewOfFile(mapping, FILE_MAP_ALL_ACCESS, 0, 0, size);
    if (view == nullptr) {
        auto error = last_error();
        ::CloseHandle(mapping);
        return std::unexpected(error);
    }
    return CreatedOrOpened{SharedMapping(mapping, view, size), already_existed};
}

OsResult<SharedMapping> SharedMapping::create_replacing(const std::string& name, std::size_t size) {
    // The size is fixed at creation, so readers never see another. Objects vanish with their
    // last handle; one still held by a reader of an earlier run is reused when large enough.
    auto created = create_or_open(name, size);
    if (!created) return std::unexpected(created.error());
    if (created->already_existed) {
        std::fill_n(created->mapping.writable_data(), size, std::byte{0});
    }
    return std::move(created->mapping);
}

void SharedMapping::unmap() noexcept {
    if (view_ != nullptr) ::UnmapViewOfFile(view_);
    view_ = nullptr;
    size_ = 0;
}

void SharedMapping::close() noexcept {
    unmap();
    close_handle(std::exchange(handle_, nullptr));
}

// ---- NamedEvent ----

OsResult<NamedEvent> NamedEvent::open_for_waiting(const std::string& name) {
    HANDLE event = ::OpenEventA(SYNCHRONIZE, FALSE, name.c_str());
    if (event == nullptr) return std::unexpected(last_error());
    return NamedEvent(event);
}

OsResult<NamedEvent> NamedEvent::create_or_open(const std::string& name) {
    HANDLE event = ::CreateEventA(nullptr, FALSE, FALSE, name.c_str());
    if (event == nullptr) return std::unexpected(last_error());
    return NamedEvent(event);
}

WaitResult NamedEvent::wait(std::chrono::milliseconds timeout) const {
    if (native_ == nullptr) return WaitResult::Failed;
    switch (::WaitForSingleObject(native_, to_wait_millis(timeout))) {
        case WAIT_OBJECT_0:
            return WaitResult::Signalled;
        case WAIT_TIMEOUT:
            return WaitResult::TimedOut;
        default:
            return WaitResult::Failed;
    }
}

OsResult<void> NamedEvent::signal() const {
    if (native_ == nullptr) return std::unexpected(std::make_error_code(std::errc::bad_file_descriptor));
    if (::SetEvent(native_) == 0) return std::unexpected(last_error());
    return {};
}

void NamedEvent::close() noexcept {
    close_handle(std::exchange(native_, nullptr));
}

OsResult<void> unlink_shared_object(const std::string&) {
    return {};
}

}  // namespace sim_bridge::platform
