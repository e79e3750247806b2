// The engine's messages: which errors mean a missing file, and the texts the end-to-end tests look for.
#include "tests/engine/enginetest.h"
#include "tools/uidriver/uidriver.h"

TEST(Messages, NotFoundErrorsAndOthers)
{
    for (DWORD e : {ERROR_FILE_NOT_FOUND, ERROR_PATH_NOT_FOUND, ERROR_DISK_CHANGE, ERROR_WRONG_DISK,
                    ERROR_INVALID_DRIVE, ERROR_FILENAME_EXCED_RANGE, ERROR_DIRECTORY, ERROR_BAD_NETPATH})
        EXPECT_TRUE(IsNotFoundError(e)) << e;
    for (DWORD e : {ERROR_NOT_READY, ERROR_ACCESS_DENIED, ERROR_CRC, ERROR_SUCCESS})
        EXPECT_FALSE(IsNotFoundError(e)) << e;
    EXPECT_EQ("MOVIE.DAT", FileNamePart("D:\\DIR\\MOVIE.DAT"));
    EXPECT_EQ("PLAIN", FileNamePart("PLAIN"));
}

// The end-to-end tests look for the texts through their own copies.
TEST(Messages, TextsAreTheOnesTheEndToEndTestsExpect)
{
    EXPECT_STREQ(uidriver::korvane::kFewFilesText, kFewFilesMessage);
    EXPECT_STREQ(uidriver::korvane::kSmallFileText, kSmallFileMessage);
    EXPECT_STREQ(uidriver::korvane::kChangedDiscText, kChangedDiscMessage);
    EXPECT_STREQ(uidriver::korvane::kReadFailedText, kReadFailedMessage);
}

