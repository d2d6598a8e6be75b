// The operating system's named shared memory and named events, as small move-only RAII types.
// LMU publishes its data through these objects; the adapter reads them and the stand-in
// simulator publishes them. One implementation per OS: named_objects_{win32,linux}.cpp.
//
// How the OSes differ (the Linux side is a fixed convention other programs rely on):
// - Windows: kernel file mappings and events (OpenFileMappingA, CreateFileMappingA, MapViewOfFile,
//   OpenEventA, CreateEventA, WaitForSingleObject, SetEvent). Objects vanish with their last handle.
// - Linux: a mapping NAME is the POSIX shared-memory object "/NAME" (/dev/shm/NAME). An event NAME
//   is the shared-memory object "/NAME" of 4 bytes holding one 32-bit word used as a process-shared
//   futex: 0 not signalled, 1 signalled. Objects persist until unlinked (unlink_shared_object).
#pragma once

#include <chrono>
#include <cstddef>
#include <cstdint>
#include <expected>
#include <string>
#include <system_error>

namespace sim_bridge::platform {

// An OS failure carries the system's error code (errno or GetLastError).
template <class T>
using OsResult = std::expected<T, std::error_code>;

enum class WaitResult : std::uint8_t { Signalled, TimedOut, Failed };

// A mapped view of a named shared-memory object. The view stays valid until unmap() or
// destruction; the object itself stays alive while any party holds it.
class SharedMapping {
  public:
    // Opens an existing object read-only and maps all of it. Fails when the object does not
    // exist (or, on Linux, is still empty). Windows: OpenFileMappingA(FILE_MAP_READ, not
    // inheritable) + MapViewOfFile(FILE_MAP_READ, offset 0, length 0); the size is the view's,
    // which Windows rounds up to whole pages. Linux: shm_open(O_RDONLY) + fstat + mmap(PROT_READ).
    [[nodiscard]] static OsResult<SharedMapping> open_read_only(const std::string& name);

    struct CreatedOrOpened;
    // Creates the object with `size` bytes (zero-filled) or opens the existing one, and maps
    // `size` bytes read-write; tells whether it already existed. Windows: CreateFileMappingA
    // (paging file, PAGE_READWRITE) + GetLastError()==ERROR_ALREADY_EXISTS + MapViewOfFile
    // (FILE_MAP_ALL_ACCESS, length `size`). Linux: shm_open(O_RDWR|O_CREAT|O_EXCL, 0600) and
    // ftruncate when created; otherwise shm_open(O_RDWR), grown to `size` only when smaller.
    // Used for LMU's 8-byte lock block and, by the stand-in simulator, for the data mapping.
    [[nodiscard]] static OsResult<CreatedOrOpened> create_or_open(const std::string& name, std::size_t size);

    // Creates the object anew with `size` bytes (zero-filled), mapped read-write, replacing one
    // left under the name; no reader ever finds it at another size. The stand-in simulator
    // publishes its data mapping this way. Linux: made and sized under a temporary name, then
    // renamed over /dev/shm/NAME. Windows: CreateFileMappingA fixes the size at creation; an
    // object still held under the name by another party is reused when it is large enough.
    [[nodiscard]] static OsResult<SharedMapping> create_replacing(const std::string& name, std::size_t size);

    SharedMapping() = default;
    SharedMapping(const SharedMapping&) = delete;
    SharedMapping& operator=(const SharedMapping&) = delete;
    SharedMapping(SharedMapping&& other) noexcept;
    SharedMapping& operator=(SharedMapping&& other) noexcept;
    ~SharedMapping() { close(); }

    [[nodiscard]] bool is_mapped() const { return view_ != nullptr; }
    [[nodiscard]] const std::byte* data() const { return static_cast<const std::byte*>(view_); }
    // Only for mappings made by create_or_open; writing a read-only view faults.
    [[nodiscard]] std::byte* writable_data() const { return static_cast<std::byte*>(view_); }
    // Bytes that may be read from data(); never more than the view holds.
    [[nodiscard]] std::size_t size() const { return size_; }

    // Unmaps the view and keeps the object's handle (UnmapViewOfFile); close() does both.
    // Separate so that a caller can release a view, another object and then this handle.
    void unmap() noexcept;
    void close() noexcept;

  private:
    SharedMapping(void* handle, void* view, std::size_t size) : handle_(handle), view_(view), size_(size) {}

    void* handle_ = nullptr;  // Windows: the mapping HANDLE; Linux: unused (the fd is closed after mmap)
    void* view_ = nullptr;
    std::size_t size_ = 0;
};

struct SharedMapping::CreatedOrOpened {
    SharedMapping mapping;
    bool already_existed = false;
};

// A named auto-reset event: a signal wakes one waiter, or stays set until one wait consumes it.
class NamedEvent {
  public:
    // Opens an existing event for waiting only. Windows: OpenEventA(SYNCHRONIZE, not
    // inheritable). Linux: shm_open(O_RDWR) without O_CREAT; an object under 4 bytes is not
    // ready yet and the open fails.
    [[nodiscard]] static OsResult<NamedEvent> open_for_waiting(const std::string& name);

    // Creates the event, not signalled, or opens the existing one; it can be waited on and
    // signalled. Windows: CreateEventA(auto-reset, not signalled). Linux: shm_open with
    // O_CREAT|O_EXCL (0600) and ftruncate to 4 when created, else shm_open(O_RDWR) and grown
    // to 4 bytes only when smaller.
    [[nodiscard]] static OsResult<NamedEvent> create_or_open(const std::string& name);

    NamedEvent() = default;
    NamedEvent(const NamedEvent&) = delete;
    NamedEvent& operator=(const NamedEvent&) = delete;
    NamedEvent(NamedEvent&& other) noexcept;
    NamedEvent& operator=(NamedEvent&& other) noexcept;
    ~NamedEvent() { close(); }

    [[nodiscard]] bool is_open() const { return native_ != nullptr; }

    // Waits until the event is signalled (consuming the signal) or `timeout` passes.
    // Windows: WaitForSingleObject. Linux: compare-exchange 1 -> 0, else FUTEX_WAIT on 0.
    [[nodiscard]] WaitResult wait(std::chrono::milliseconds timeout) const;
    // Windows: SetEvent. Linux: release-store 1, then FUTEX_WAKE one waiter.
    [[nodiscard]] OsResult<void> signal() const;

    void close() noexcept;

  private:
    explicit NamedEvent(void* native) : native_(native) {}

    void* native_ = nullptr;  // Windows: the event HANDLE; Linux: the mapped 32-bit futex word
};

// Linux: removes the shared-memory object "/NAME" (a mapping or an event) so that the name can
// be created anew; parties that hold it keep their view. Windows: nothing to do (objects vanish
// with their last handle); succeeds.
[[nodiscard]] OsResult<void> unlink_shared_object(const std::string& name);

}  // namespace sim_bridge::platform
