// CDriveCombo: the owner-drawn "Drive:" list of the computer's CD-ROM drives.
#pragma once
#include "../framework/controls.h"
#include "../framework/dpi.h"
#include <commctrl.h>
#include <string>
#include <vector>

class CDriveCombo : public CComboBox {
public:
    explicit CDriveCombo(int driveType);
    ~CDriveCombo() override;

    // Binds control `id` of hParent and fills it from `list` (or the drives of
    // this object's type). Nonzero when the control was found.
    BOOL InitFromDlgItem(int id, HWND hParent, const char* const* list = nullptr);
    // The selected drive's root ("E:\"), or null for the placeholder.
    const char* GetSelectedDrive() const;
    // The roots of all drives of a type, in letter order, or the single
    // placeholder "??"; shared storage, overwritten by each call.
    static const char* const* BuildDriveList(int type);

    void MeasureItem(MEASUREITEMSTRUCT* measure) const;
    void DrawItem(const DRAWITEMSTRUCT* draw);

    int m_iconIndex[7] = {};  // -1: no icon
    HIMAGELIST m_hSysImageList = nullptr;  // shared with the whole system: never destroyed here
    // shell32's CD-drive icon where the system image list has none to offer; the control's own.
    HIMAGELIST m_hOwnImageList = nullptr;
    std::vector<std::string> m_drives;
    // The screen's resolution: the item's pixel figures are given for 96 dpi.
    CDpi m_dpi;
    int m_nItemHeight = 18;
    HDC m_pDC = nullptr;
    int m_driveType;
    const char* const* m_pDriveList = nullptr;

private:
    void ChooseCdIcon();
    int IconTop(const RECT& item) const;
    void DrawDriveItem(BOOL selected, HDC dc, const char* text, const RECT& item) const;
};
