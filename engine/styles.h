// Styles and colours of the engine's message boxes and list cells.
#pragma once
#include <windows.h>
#include <commctrl.h>

namespace engine {
const UINT kErrorStyle = MB_OK | MB_ICONWARNING | MB_SETFOREGROUND;
const UINT kWarningStyle = MB_OK | MB_ICONWARNING | MB_TASKMODAL | MB_SETFOREGROUND;
const COLORREF kNoColour = CLR_NONE;
}
