#include "listing_reader.h"

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <memory>
#include <new>
#include <string>
#include <thread>
#include <vector>

namespace kvad::platform {
namespace {

std::vector<ReceivedFile> Files(std::size_t count) {
    std::vector<ReceivedFile> files;
    for (std::size_t i = 0; i < count; ++i) {
        files.push_back(ReceivedFile{"/nowhere/" + std::to_string(i), std::to_string(i), {}});
    }
    return files;
}

/// Reads a file as its name's number, counting the reads of each, each read taking `pause`;
/// file 7 runs out of memory.
struct CountingRead {
    explicit CountingRead(std::size_t count, std::chrono::milliseconds each = {})
        : reads(count), pause(each) {}

    ListedSummary operator()(const ReceivedFile& file) {
        const auto index = std::stoul(file.name);
        ++reads[index];
        std::this_thread::sleep_for(pause);
        if (index == 7) {
            throw std::bad_alloc();
        }
        ListedSummary reading;
        reading.textSize = index;
        reading.summary.number = "PO/" + file.name;
        return reading;
    }

    std::vector<std::atomic<int>> reads;
    std::chrono::milliseconds pause;
};

// Whoever reads a file, and in whatever order the readings are asked for, each file is read
// once and each reading is its own file's; a failure is its file's alone.
TEST(ListingReader, EachFileIsReadOnceAndKeepsItsOwnReading) {
    constexpr std::size_t kFiles = 400;
    for (const unsigned helpers : {0U, 1U, 3U}) {
        CountingRead counting(kFiles);
        {
            ListingReader reader(Files(kFiles), std::ref(counting), helpers);
            ASSERT_EQ(reader.Size(), kFiles);
            for (const std::size_t i : {std::size_t{300}, std::size_t{2}, std::size_t{399}}) {
                EXPECT_EQ(reader.Reading(i).textSize, i) << helpers;
            }
            for (std::size_t i = 0; i < kFiles; ++i) {
                if (i == 7) {
                    EXPECT_THROW((void)reader.Reading(i), std::bad_alloc);
                    continue;
                }
                const ListedSummary& reading = reader.Reading(i);
                EXPECT_EQ(reading.textSize, i);
                EXPECT_EQ(reading.summary.number, "PO/" + std::to_string(i));
            }
            EXPECT_THROW((void)reader.Reading(kFiles), std::out_of_range);
        }
        for (std::size_t i = 0; i < kFiles; ++i) {
            EXPECT_EQ(counting.reads[i].load(), 1) << "file " << i << ", helpers " << helpers;
        }
    }
}

// With no helper a reading is made when asked for, reading the files before it and none after;
// a reader dropped while its helpers are at work stops them without waiting for the rest.
TEST(ListingReader, ReadsNoFurtherThanAskedAndStopsWhenDropped) {
    CountingRead counting(50);
    {
        ListingReader reader(Files(50), std::ref(counting), 0);
        EXPECT_EQ(reader.Reading(5).textSize, 5U);
        int read = 0;
        for (const auto& count : counting.reads) {
            read += count.load();
        }
        EXPECT_EQ(read, 6);
    }

    // A millisecond a file: the helpers would need most of a second to read them all.
    CountingRead slow(2000, std::chrono::milliseconds(1));
    auto reader = std::make_unique<ListingReader>(Files(2000), std::ref(slow), 3);
    EXPECT_EQ(reader->Reading(0).textSize, 0U);
    reader.reset();
    int read = 0;
    for (const auto& count : slow.reads) {
        EXPECT_LE(count.load(), 1);
        read += count.load();
    }
    EXPECT_LT(read, 2000);
}

} // namespace
} // namespace kvad::platform
