// Writes the scripted session into an image of LMU's data block, at the offsets the adapter
// reads: the header and vehicle list from the (older) scoring moment, the telemetry list from
// the current one, each bumping its own update word.
#pragma once

#include <cstddef>
#include <cstdint>
#include <cstring>
#include <span>
#include <string>
#include <string_view>
#include <type_traits>
#include <vector>

#include "session_script.hpp"
#include "sim_bridge/lmu/block_layout.hpp"
#include "sim_options.hpp"

namespace corvel::lmu_sim {

class BlockImage {
  public:
    BlockImage() : bytes_(sim_bridge::lmu::kBlockSize) {}

    [[nodiscard]] std::span<const std::byte> bytes() const { return bytes_; }

    template <typename T>
    void put(std::size_t offset, T value) {
        static_assert(std::is_trivially_copyable_v<T>);
        std::memcpy(bytes_.data() + offset, &value, sizeof(T));
    }
    template <typename T>
    [[nodiscard]] T get(std::size_t offset) const {
        T value{};
        std::memcpy(&value, bytes_.data() + offset, sizeof(T));
        return value;
    }
    // Writes at most `size` bytes of `text`; the rest of the field is NUL.
    void put_text(std::size_t offset, std::size_t size, std::string_view text);

  private:
    std::vector<std::byte> bytes_;
};

// The exact bytes of every text field of one entry (or of the track), as written: at most the
// field's size, without a NUL when they fill it. Hostile texts are already applied.
struct EntryTexts {
    std::string driver;
    std::string vehicle_name;
    std::string vehicle_class;
    std::string vehicle_file;
    std::string model_name;
};
struct PublishedTexts {
    std::string track;
    std::vector<EntryTexts> entries;  // in the order of the vehicle list
};
[[nodiscard]] PublishedTexts published_texts(const SimOptions& options, const std::vector<Entrant>& entrants);

// Cuts `text` to at most `size` bytes without splitting a UTF-8 sequence.
[[nodiscard]] std::string fit_text(std::string_view text, std::size_t size);

// The lap number as the 32-bit field holds it (wrapping, as a lap count past the limit would).
[[nodiscard]] std::int32_t wrap_lap_number(std::int64_t laps);

class BlockWriter {
  public:
    BlockWriter(const SimOptions& options, const SessionScript& script);

    // Header and vehicle list from `scoring` (the older moment); bumps the word at 0x28.
    void write_scoring(BlockImage& image, const WorldState& scoring);
    // Telemetry list from `now`; bumps the word at 0x2C.
    void write_telemetry(BlockImage& image, const WorldState& now);

    // Where a car of the vehicle list sits in the telemetry list: the lists are not in the
    // same order, as readers must match them by slot id.
    [[nodiscard]] static std::size_t telemetry_index(std::size_t scoring_index, std::size_t cars);

  private:
    void write_header(BlockImage& image, const WorldState& scoring) const;
    void write_scoring_entry(BlockImage& image, std::size_t index, const CarState& car) const;
    void write_telemetry_entry(BlockImage& image, std::size_t index, const CarState& car,
                               double time_s) const;
    void spoil_numbers(BlockImage& image, const WorldState& world, bool scoring_part) const;

    const SimOptions* options_;
    const SessionScript* script_;
    PublishedTexts texts_;
    double clock_origin_s_;
    std::uint32_t scoring_updates_ = 0;
    std::uint32_t telemetry_updates_ = 0;
};

}  // namespace corvel::lmu_sim
