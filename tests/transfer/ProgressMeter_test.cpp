#include "transfer/ProgressMeter.h"

#include <gtest/gtest.h>

namespace transfer {
namespace {

TEST(ProgressFormats, TimeAndRateReadAsTheWindowShowsThem) {
    const struct {
        std::int64_t value;
        const char* duration;
        const char* rate;
    } rows[] = {
        {0, " 0:00:00", "0.0 K/sec"},
        {10, " 0:00:10", "0.10 K/sec"},
        {1050, " 0:17:30", "1.50 K/sec"}, // the remainder without leading zeros
        {12345, " 3:25:45", "12.345 K/sec"},
        {250000, "69:26:40", "250.0 K/sec"},
        {-5, " 0:00:00", ""}, // a clock stepping back shows no negative time
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(row.value);
        EXPECT_EQ(DurationText(row.value), row.duration);
        if (*row.rate != '\0') {
            EXPECT_EQ(RateText(row.value), row.rate);
        }
    }
}

TEST(ProgressMeterTest, FiguresOfTheFileAndTheQueue) {
    ProgressMeter meter(1000);

    meter.StartFile("/pub/big.iso", 5'000'000, Direction::Receiving, 2000);
    meter.Update(100, 2500); // within the first second
    ProgressTexts t = meter.Texts();
    EXPECT_EQ(t.caption, "Receiving big.iso (5000000 bytes)");
    EXPECT_EQ(t.rate, "0.0 K/sec");
    EXPECT_EQ(t.fileLeft, " 0:00:00");

    meter.Update(2'500'000, 12'000); // 10 s into the file
    t = meter.Texts();
    EXPECT_EQ(t.fileTime, " 0:00:10");
    EXPECT_EQ(t.rate, "250.0 K/sec");
    EXPECT_EQ(t.fileLeft, " 0:00:10");
    EXPECT_EQ(t.allTime, " 0:00:11");

    meter.Update(4'000'000, 13'000);
    meter.EndFile();
    meter.Update(4'500'000, 13'100); // a late report after the end counts for nothing
    EXPECT_EQ(meter.Texts().allBytes, "4000000");

    // The queue's total is the last count reported, not the announced size;
    // sizes beyond 32 bits are exact.
    meter.StartFile("/home/u/disk.img", 6'000'000'000, Direction::Sending, 14'000);
    meter.Update(5'000'000'000, 24'000);
    t = meter.Texts();
    EXPECT_EQ(t.caption, "Sending   disk.img (6000000000 bytes)");
    EXPECT_EQ(t.allBytes, "5004000000");
    EXPECT_EQ(t.rate, "500000.0 K/sec");
    EXPECT_EQ(t.fileLeft, " 0:00:02");

    // Below a byte a second the time left keeps its last estimate.
    meter.StartFile("slow", 100, Direction::Sending, 30'000);
    meter.Update(5, 31'000);
    meter.Update(6, 40'000);
    EXPECT_EQ(meter.Texts().fileLeft, " 0:00:19");
}

} // namespace
} // namespace transfer
