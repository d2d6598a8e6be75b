// Linux: terminals take UTF-8 bytes as they are, so no stream needs a console writer.
#include "sim_bridge/platform/console_text.hpp"

namespace sim_bridge::platform {

ConsoleWriter console_writer_for(StandardStream) {
    return {};
}

}  // namespace sim_bridge::platform
