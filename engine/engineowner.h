// IEngineOwner: what the engine asks of the window that owns it.
#pragma once
#include <windows.h>

struct IEngineOwner {
    virtual ~IEngineOwner() = default;
    // The window the run's results window belongs to.
    virtual HWND OwnerWindow() const = 0;
    // Index of the drive in the cache driver's list, -1 if it is not there.
    virtual int FindCachedDrive(const char* root) const = 0;
};
