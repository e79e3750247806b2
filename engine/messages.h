// The texts of the run's messages.
#pragma once

extern const char* const kNoDiscMessage;
extern const char* const kFewFilesMessage;
extern const char* const kChangedDiscMessage;
extern const char* const kSmallFileMessage;
extern const char* const kReadFailedMessage;
extern const char* const kNoCounterMessage;
extern const char* const kRunNotStartedMessage;
