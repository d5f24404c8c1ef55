// Part names, the trailer's bytes and the judgement of damaged trailers.
#include <gtest/gtest.h>

#include <string.h>

#include <string>

#include "part_layout.h"
#include "part_names.h"
#include "test_files.h"
#include "trailer.h"

static std::string PartName(const char *base, int index)
{
    char name[kPathSize];
    EXPECT_TRUE(FormatPartName(name, base, index));
    return name;
}

TEST(PartNames, NumberTheHeadAndTheSlices)
{
    EXPECT_EQ(PartName("report", 0), "report_00.exe");
    EXPECT_EQ(PartName("report", 1), "report_01.QCB");
    EXPECT_EQ(PartName("report", 99), "report_99.QCB");
    EXPECT_EQ(PartName("report", 100), "report_100.QCB");
    EXPECT_EQ(PartName("report.tar", 1), "report.tar_01.QCB");

    char name[kPathSize];
    EXPECT_TRUE(FormatPartName(name, std::string(252, 'x').c_str(), 0));  // 259 bytes
    EXPECT_FALSE(FormatPartName(name, std::string(253, 'x').c_str(), 1));
}

TEST(PartNames, OutputIsBaseNameAndExtension)
{
    char name[kPathSize];
    ASSERT_TRUE(FormatOutputName(name, "c:\\data\\report.tar.gz"));
    EXPECT_STREQ(name, "report.tar.gz");
    ASSERT_TRUE(FormatOutputName(name, "/home/ann/README"));
    EXPECT_STREQ(name, "README");
    ASSERT_TRUE(FormatOutputName(name, ""));
    EXPECT_STREQ(name, "");
}

static PartSetTrailer Sample()
{
    PartSetTrailer t;
    memset(&t, 0, sizeof t);
    strcpy(t.original_path, "c:\\data\\report.zip");
    t.image_size = 24576;
    t.original_size = 5000000;
    t.last_part = 3;
    return t;
}

TEST(Trailer, IsLittleEndianAt260_264_268)
{
    PartSetTrailer t = Sample();
    t.original_size = 0x01020304;
    t.last_part = -2;
    unsigned char bytes[kTrailerSize];
    EncodeTrailer(&t, bytes);
    EXPECT_EQ(memcmp(bytes, "c:\\data\\report.zip\0", 19), 0);
    EXPECT_EQ(bytes[259], 0);
    const unsigned char image[] = {0x00, 0x60, 0x00, 0x00};
    const unsigned char size[] = {0x04, 0x03, 0x02, 0x01};
    const unsigned char last[] = {0xFE, 0xFF, 0xFF, 0xFF};
    EXPECT_EQ(memcmp(bytes + 260, image, 4), 0);
    EXPECT_EQ(memcmp(bytes + 264, size, 4), 0);
    EXPECT_EQ(memcmp(bytes + 268, last, 4), 0);

    PartSetTrailer back;
    DecodeTrailer(bytes, &back);
    EXPECT_EQ(memcmp(&back, &t, sizeof t), 0);
}

TEST(Trailer, ReadsTheLast272BytesOfAFile)
{
    ScratchDir dir;
    PartSetTrailer t = Sample();
    unsigned char bytes[kTrailerSize];
    EncodeTrailer(&t, bytes);
    WriteBytes(dir / "head", PatternBytes(1000, 1) + std::string((char *)bytes, kTrailerSize));
    PartSetTrailer read;
    int64_t length = 0;
    ASSERT_TRUE(ReadTrailerOf((dir / "head").c_str(), &read, &length));
    EXPECT_EQ(length, 1272);
    EXPECT_STREQ(read.original_path, t.original_path);
    EXPECT_EQ(read.last_part, 3);

    WriteBytes(dir / "short", "too short");
    EXPECT_FALSE(ReadTrailerOf((dir / "short").c_str(), &read, &length));
    EXPECT_FALSE(ReadTrailerOf((dir / "missing").c_str(), &read, &length));
}

TEST(Trailer, PlausibilityCatchesDamage)
{
    const int64_t head = 24576 + 1409024 + 272;
    PartSetTrailer t = Sample();
    EXPECT_EQ(CheckTrailer(&t, head), kTrailerSound);

    PartSetTrailer zero;
    memset(&zero, 0, sizeof zero);
    EXPECT_EQ(CheckTrailer(&zero, 40000), kTrailerEmpty);

    auto damaged = [&](void (*spoil)(PartSetTrailer *), int64_t length) {
        PartSetTrailer d = Sample();
        spoil(&d);
        return CheckTrailer(&d, length) == kTrailerDamaged;
    };
    EXPECT_TRUE(damaged([](PartSetTrailer *d) { memset(d->original_path, 'x', kPathSize); }, head));
    EXPECT_TRUE(damaged([](PartSetTrailer *d) { d->original_path[0] = 0; }, head));
    EXPECT_TRUE(damaged([](PartSetTrailer *d) { d->image_size = -1; }, head));
    EXPECT_TRUE(damaged([](PartSetTrailer *d) { d->image_size = 2000000; }, head));
    EXPECT_TRUE(damaged([](PartSetTrailer *d) { d->original_size = -5; }, head));
    EXPECT_TRUE(damaged([](PartSetTrailer *d) { d->last_part = 0; }, head));
    EXPECT_TRUE(damaged([](PartSetTrailer *d) { d->last_part = -7; }, head));
    EXPECT_TRUE(damaged([](PartSetTrailer *d) { d->last_part = 0x7FFFFFFF; }, head));
    // A head part cut short in transfer: the image is whole, the data is not,
    // or the trailer read is really input data.
    EXPECT_TRUE(damaged([](PartSetTrailer *) {}, 20000));
    // More input in the head part than the whole input.
    EXPECT_TRUE(damaged([](PartSetTrailer *d) { d->original_size = 1000; }, head));
}

TEST(Trailer, MaxLastPartAdmitsEveryRealSet)
{
    // The most slices: 10 KB slices, none carried by the head part.
    for (int64_t size : {(int64_t)10241, (int64_t)1000000, kMaxInputSize}) {
        PartLayout layout = PlanParts(1 << 20, 10240, size);
        EXPECT_GE(MaxLastPart(size), layout.last_part) << size;
        EXPECT_GE(MaxLastPart(size), (size + 36864) / 10240) << size;  // older builds' count
    }
    EXPECT_LT(MaxLastPart(kMaxInputSize), 300000);
}
