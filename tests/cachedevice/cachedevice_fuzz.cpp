// Every control code from 0 to 64 with missing, short, exact and long buffers in both directions: the device
// refuses what it does not understand with an error, never crashes, and still answers correctly afterwards.
#include "device.h"
#include <gtest/gtest.h>
#include <cstdio>
#include <cstring>
#include <map>
#include <vector>

namespace {

const uint32_t kFuzzFlags = 0x5A5A5A5Au;

struct Case {
    DWORD code;
    DWORD inSize;   // 0: no input buffer at all
    DWORD outSize;  // 0: no output buffer at all
    int32_t drive;
};

// What a sound device does with a request: does it succeed, and how many bytes come back.
bool Expected(const Case& c, DWORD* bytes)
{
    const bool handled = c.drive == kDriveD;
    *bytes = 0;
    switch (c.code) {
    case 11:
        *bytes = static_cast<DWORD>(HandledDrives().size());
        return c.outSize >= *bytes;
    case 8:
        *bytes = 24;
        return c.inSize == 4 && handled && c.outSize >= 24;
    case 9:
        return c.inSize == 8 && handled;
    default:
        return false;
    }
}

bool IsKnown(DWORD code) { return code == 8 || code == 9 || code == 11; }
bool IsCoarse(DWORD size) { return size == 0 || size == 4 || size == 8 || size == 33; }

TEST(CacheDeviceFuzz, AllCodesAllSizes)
{
    FlagsRestorer restore;
    RawDevice device;
    ASSERT_TRUE(device.IsOpen()) << "the cache device \\\\.\\KELDR is not loaded in this prefix";
    ASSERT_TRUE(restore.valid);

    const DWORD sizes[] = {0, 1, 3, 4, 5, 7, 8, 9, 23, 24, 25, 33, 4096};
    // E: is never handled by the test set-up; M: may be, so it is left out.
    const int32_t drives[] = {kDriveD, 4, -1, 0x7FFFFFFF, 255};
    int requests = 0, failures = 0;
    std::map<DWORD, int> errors;
    for (DWORD code = 0; code <= 64; ++code) {
        for (DWORD inSize : sizes) {
            for (DWORD outSize : sizes) {
                // Codes the device does not know get a coarser grid: the answer is the same for every size.
                if (!IsKnown(code) && !(IsCoarse(inSize) && IsCoarse(outSize)))
                    continue;
                for (int32_t drive : drives) {
                    // The drive number matters only to requests that take one.
                    if (drive != kDriveD && code != 8 && code != 9)
                        continue;
                    Case c{code, inSize, outSize, drive};
                    std::vector<unsigned char> in(inSize + 16, 0xEE), out(outSize + 16, 0xAB);
                    if (inSize >= 4)
                        std::memcpy(in.data(), &drive, 4);
                    if (inSize >= 8)
                        std::memcpy(in.data() + 4, &kFuzzFlags, 4);
                    DWORD returned = 0xDEADBEEF;
                    ::SetLastError(0);
                    BOOL ok = device.Control(code, inSize ? in.data() : nullptr, inSize,
                                             outSize ? out.data() : nullptr, outSize, &returned);
                    DWORD error = ::GetLastError();
                    ++requests;
                    DWORD bytes;
                    bool expected = Expected(c, &bytes);
                    SCOPED_TRACE(testing::Message() << "code " << code << " in " << inSize << " out " << outSize
                                                    << " drive " << drive);
                    EXPECT_EQ(ok != FALSE, expected) << "error " << error;
                    // A failed request leaves the byte count unwritten, so only a success's count is checked.
                    if (ok) {
                        EXPECT_EQ(returned, bytes);
                    } else {
                        ++failures;
                        EXPECT_NE(error, 0u);
                        ++errors[error];
                    }
                    // Nothing is written past the bytes reported, and the input is left alone.
                    for (size_t i = ok ? bytes : 0; i < out.size(); ++i)
                        if (out[i] != 0xAB) {
                            ADD_FAILURE() << "output byte " << i << " written";
                            break;
                        }
                    for (size_t i = inSize >= 8 ? 8 : inSize >= 4 ? 4 : 0; i < in.size(); ++i)
                        if (in[i] != 0xEE) {
                            ADD_FAILURE() << "input byte " << i << " changed";
                            break;
                        }
                    if (ok && code == 11) {
                        EXPECT_EQ(out[0], kDriveD);
                    }
                    if (ok && code == 8) {
                        uint32_t words[6];
                        std::memcpy(words, out.data(), sizeof words);
                        EXPECT_EQ(words[0], static_cast<uint32_t>(kDriveD));
                        EXPECT_EQ(words[1], 24u);
                    }
                }
            }
        }
        if (HasFailure())
            break;
    }
    std::printf("%d requests, %d refused; errors:", requests, failures);
    for (const auto& e : errors)
        std::printf(" %lu x%d", static_cast<unsigned long>(e.first), e.second);
    std::printf("\n");
    // Unknown codes are refused as such, not as a bad buffer.
    EXPECT_GT(errors[ERROR_INVALID_FUNCTION], 0);

    // Still answering, on this connection and on a new one; the last accepted flags word is the drive's.
    uint32_t flags = 0;
    ASSERT_TRUE(device.ReadFlags(kDriveD, &flags));
    EXPECT_EQ(flags, kFuzzFlags);
    RawDevice fresh;
    ASSERT_TRUE(fresh.IsOpen());
    unsigned char list[33] = {};
    DWORD got = 0;
    ASSERT_TRUE(fresh.Control(11, nullptr, 0, list, sizeof list, &got));
    EXPECT_EQ(got, HandledDrives().size());
    EXPECT_EQ(list[0], kDriveD);
}

// Buffers that point nowhere: the caller's own system refuses or the device does, and the device lives on.
TEST(CacheDeviceFuzz, BuffersThatPointNowhere)
{
    FlagsRestorer restore;
    RawDevice device;
    ASSERT_TRUE(device.IsOpen());
    for (DWORD code : {8u, 9u, 11u}) {
        DWORD returned = 0;
        unsigned char small[64] = {};
        EXPECT_FALSE(device.Control(code, nullptr, 8, nullptr, 33, &returned)) << code;
        int32_t request[2] = {kDriveD, 0};
        if (code == 11) {
            EXPECT_FALSE(device.Control(code, nullptr, 0, nullptr, 33, &returned));
        } else {
            EXPECT_FALSE(device.Control(code, request, sizeof request, nullptr, 24, &returned)) << code;
        }
        (void)small;
    }
    uint32_t flags = 0;
    ASSERT_TRUE(device.ReadFlags(kDriveD, &flags));
}

} // namespace
