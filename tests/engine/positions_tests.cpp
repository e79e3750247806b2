// The read positions: the generator's draws and the block offsets they give.
#include "tests/engine/enginetest.h"

TEST(Positions, FirstOffsetsOfA2MiBFile)
{
    PositionGenerator gen;
    gen.Seed(1);
    const int draws[] = {41, 18467, 6334, 26500, 19169};
    const uint32_t offsets[] = {2048, 1179648, 403456, 1693696, 1224704};
    for (int i = 0; i < 5; ++i) {
        int r = gen.Next();
        EXPECT_EQ(draws[i], r);
        EXPECT_EQ(offsets[i], BlockOffsetForDraw(r, 2097152, 2048));
    }
}

TEST(Positions, NeverTheFinalPartialBlock)
{
    const uint32_t length = 2097152 + 1000;
    EXPECT_EQ(1023u * 2048, BlockOffsetForDraw(32767, length, 2048));
    PositionGenerator gen;
    gen.Seed(1);
    for (int i = 0; i < 100000; ++i) {
        uint32_t offset = BlockOffsetForDraw(gen.Next(), length, 2048);
        ASSERT_EQ(0u, offset % 2048);
        ASSERT_LE(offset + 2048, length);
    }
    EXPECT_EQ(0u, BlockOffsetForDraw(32767, 100, 2048));  // shorter than a block
}
