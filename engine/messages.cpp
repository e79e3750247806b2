// The texts of the run's messages, exactly as the user sees them.
#include "messages.h"

const char* const kNoDiscMessage = "Please make sure there is a CD-ROM in your drive.";
const char* const kFewFilesMessage =
    "This CD-ROM contains relatively few files and/or subdirectories.  For more accurate results, use another.";
const char* const kChangedDiscMessage =
    "You have changed CD-ROMs.  Before doing a Read test, You must Walk directories to locate the largest file.";
const char* const kSmallFileMessage =
    "For a valid test, you need a CD-ROM file larger than 2MB bytes.  None was found on this CD.  Try another.";
const char* const kReadFailedMessage =
    "The CD-ROM could not be read.  The disc may be damaged or may have been removed.";
const char* const kNoCounterMessage =
    "This computer has no high-resolution timer.  Korvane cannot measure your drive without one.";
const char* const kRunNotStartedMessage = "Korvane could not start the tests.";
