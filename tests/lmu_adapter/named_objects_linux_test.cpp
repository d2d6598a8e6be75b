// The Linux conventions of the named-object layer, which other programs (the stand-in
// simulator, anything else publishing LMU's objects) rely on: /dev/shm objects named after the
// object, a 4-byte futex word per event, sizes only ever grown.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/mman.h>
#include <sys/stat.h>
#include <unistd.h>

#include <chrono>
#include <cstdint>
#include <cstring>
#include <filesystem>

#include "sim_bridge/platform/named_objects.hpp"
#include "test_publisher.hpp"

namespace {

using namespace std::chrono_literals;
using sim_bridge::platform::NamedEvent;
using sim_bridge::platform::SharedMapping;
using sim_bridge::platform::WaitResult;

class LinuxNamedObjects : public ::testing::Test {
  protected:
    ~LinuxNamedObjects() override { ::shm_unlink(path().c_str()); }

    [[nodiscard]] std::string path() const { return "/" + name_; }
    [[nodiscard]] std::filesystem::path dev_shm_file() const { return "/dev/shm/" + name_; }

    // Creates the raw object as another program would, `size` bytes.
    void create_raw(std::size_t size) const {
        int fd = ::shm_open(path().c_str(), O_RDWR | O_CREAT | O_EXCL, 0600);
        ASSERT_GE(fd, 0);
        ASSERT_EQ(::ftruncate(fd, static_cast<off_t>(size)), 0);
        ::close(fd);
    }

    // The object's first 32-bit word, read through a mapping of our own.
    [[nodiscard]] std::uint32_t first_word() const {
        int fd = ::shm_open(path().c_str(), O_RDONLY, 0);
        EXPECT_GE(fd, 0);
        std::uint32_t word = 0;
        EXPECT_EQ(::pread(fd, &word, sizeof(word), 0), static_cast<ssize_t>(sizeof(word)));
        ::close(fd);
        return word;
    }

    std::string name_ = corvel_test::unique_lmu_names().data;
};

TEST_F(LinuxNamedObjects, MappingIsTheDevShmObjectOfItsName) {
    auto created = SharedMapping::create_or_open(name_, 8);
    ASSERT_TRUE(created);

    struct stat info {};
    ASSERT_EQ(::stat(dev_shm_file().c_str(), &info), 0);
    EXPECT_EQ(info.st_size, 8);
    EXPECT_EQ(info.st_mode & 0777, 0600u);
}

TEST_F(LinuxNamedObjects, OpeningGrowsASmallerObjectAndNeverShrinksIt) {
    create_raw(4);
    ASSERT_TRUE(SharedMapping::create_or_open(name_, 8));
    EXPECT_EQ(std::filesystem::file_size(dev_shm_file()), 8u);

    ASSERT_TRUE(SharedMapping::create_or_open(name_, 2));
    EXPECT_EQ(std::filesystem::file_size(dev_shm_file()), 8u);
}

TEST_F(LinuxNamedObjects, EmptyObjectCannotBeOpenedReadOnly) {
    create_raw(0);

    EXPECT_FALSE(SharedMapping::open_read_only(name_));
}

TEST_F(LinuxNamedObjects, EventIsAFourByteObject) {
    ASSERT_TRUE(NamedEvent::create_or_open(name_));

    EXPECT_EQ(std::filesystem::file_size(dev_shm_file()), 4u);
}

TEST_F(LinuxNamedObjects, EventUnderFourBytesIsNotReadyYet) {
    create_raw(0);
    EXPECT_FALSE(NamedEvent::open_for_waiting(name_));

    ASSERT_EQ(::truncate(dev_shm_file().c_str(), 4), 0);
    EXPECT_TRUE(NamedEvent::open_for_waiting(name_));
}

TEST_F(LinuxNamedObjects, SignalSetsTheWordToOneAndAWaitClearsIt) {
    auto event = NamedEvent::create_or_open(name_);
    ASSERT_TRUE(event);

    ASSERT_TRUE(event->signal());
    EXPECT_EQ(first_word(), 1u);

    ASSERT_EQ(event->wait(0ms), WaitResult::Signalled);
    EXPECT_EQ(first_word(), 0u);
}

TEST_F(LinuxNamedObjects, WaitSeesAWordSetByAnotherProgram) {
    auto event = NamedEvent::create_or_open(name_);
    ASSERT_TRUE(event);
    int fd = ::shm_open(path().c_str(), O_RDWR, 0);
    ASSERT_GE(fd, 0);
    const std::uint32_t one = 1;
    ASSERT_EQ(::pwrite(fd, &one, sizeof(one), 0), static_cast<ssize_t>(sizeof(one)));
    ::close(fd);

    EXPECT_EQ(event->wait(0ms), WaitResult::Signalled);
}

TEST_F(LinuxNamedObjects, UnlinkRemovesTheName) {
    ASSERT_TRUE(SharedMapping::create_or_open(name_, 8));

    ASSERT_TRUE(sim_bridge::platform::unlink_shared_object(name_));

    EXPECT_FALSE(std::filesystem::exists(dev_shm_file()));
}

}  // namespace
