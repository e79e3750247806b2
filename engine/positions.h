// Block positions of the random read: a fixed linear congruential generator and
// the scaling of its draws to whole blocks inside a file.
#pragma once
#include <cstdint>

class PositionGenerator {
public:
    void Seed(uint32_t seed) { m_state = seed; }
    // The next value, 0 to 32767.
    int Next()
    {
        m_state = m_state * 214013u + 2531011u;
        return static_cast<int>((m_state >> 16) & 0x7FFF);
    }

private:
    uint32_t m_state = 1;
};

// Byte offset of a whole block of a file of `length` bytes for a draw r: always
// a multiple of blockSize, never the file's final partial block.
inline uint32_t BlockOffsetForDraw(uint32_t r, uint32_t length, uint32_t blockSize)
{
    uint32_t blocks = length / blockSize;
    if (blocks == 0)
        return 0;
    uint64_t block = static_cast<uint64_t>(r) * (blocks - 1) / 32767u;
    return static_cast<uint32_t>(block * blockSize);
}
