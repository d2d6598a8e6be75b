// The OS-independent part of the named-object wrappers: moving one hands its handles over and
// leaves the source empty, so exactly one owner ever releases them.
#include <utility>

#include "sim_bridge/platform/named_objects.hpp"

namespace sim_bridge::platform {

SharedMapping::SharedMapping(SharedMapping&& other) noexcept
    : handle_(std::exchange(other.handle_, nullptr)),
      view_(std::exchange(other.view_, nullptr)),
      size_(std::exchange(other.size_, 0)) {}

SharedMapping& SharedMapping::operator=(SharedMapping&& other) noexcept {
    if (this != &other) {
        close();
        handle_ = std::exchange(other.handle_, nullptr);
        view_ = std::exchange(other.view_, nullptr);
        size_ = std::exchange(other.size_, 0);
    }
    return *this;
}

NamedEvent::NamedEvent(NamedEvent&& other) noexcept : native_(std::exchange(other.native_, nullptr)) {}

NamedEvent& NamedEvent::operator=(NamedEvent&& other) noexcept {
    if (this != &other) {
        close();
        native_ = std::exchange(other.native_, nullptr);
    }
    return *this;
}

}  // namespace sim_bridge::platform
