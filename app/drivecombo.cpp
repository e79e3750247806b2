// Drive selector: the drive list, the selection and the drawing of each item.
#include "drivecombo.h"
#include "../engine/seams.h"
#include "../framework/dpi.h"
#include "shellicons.h"
#include <cstring>

namespace {
const int kMaxDriveLetters = 32;
const char* g_driveTable[kMaxDriveLetters + 1];
char g_drivePool[kMaxDriveLetters][4];
const char* const kPlaceholder = "??";
const int kStockDriveCd = 11;  // SIID_DRIVECD
const int kShellCdIcon = 12;   // shell32.dll's CD-drive icon resource, Windows 95 on
const int kListCdIndex = 11;   // where older shells keep that icon in the system image list
}

CDriveCombo::CDriveCombo(int driveType) : m_dpi(CDpi::Screen()), m_driveType(driveType)
{
    // 18 pixels at 96 dpi, and never less than the small icon with a pixel above and below.
    m_nItemHeight = m_dpi.ScaleY(18);
    const int iconRows = ::GetSystemMetrics(SM_CYSMICON) + 2;
    if (m_nItemHeight < iconRows)
        m_nItemHeight = iconRows;
    char systemDir[MAX_PATH] = "";
    ::GetSystemDirectoryA(systemDir, sizeof systemDir);
    char root[4] = "C:\\";
    if (systemDir[0] && systemDir[1] == ':')
        std::memcpy(root, systemDir, 3);
    m_hSysImageList = ShellIcons().SmallImageList(root);
    m_iconIndex[DRIVE_REMOVABLE] = 7;
    m_iconIndex[DRIVE_FIXED] = 8;
    m_iconIndex[DRIVE_REMOTE] = 9;
    m_iconIndex[DRIVE_CDROM] = kListCdIndex;
    m_iconIndex[DRIVE_RAMDISK] = 12;
    if (m_driveType == DRIVE_CDROM)
        ChooseCdIcon();
}

CDriveCombo::~CDriveCombo()
{
    if (m_hOwnImageList)
        ::ImageList_Destroy(m_hOwnImageList);
}

// The CD-drive icon from the first source that has one, none of them asked about
// a drive of the list (that would read its disc before Run): the stock icon's
// index in the system image list (Vista and later, whose list fills on demand);
// shell32's icon resource (every Windows, and Wine, whose list holds few images);
// the system image list's fixed index where the list reaches it.
void CDriveCombo::ChooseCdIcon()
{
    const int stock = ShellIcons().StockIconIndex(kStockDriveCd);
    if (stock >= 0 && m_hSysImageList) {
        m_iconIndex[DRIVE_CDROM] = stock;
        return;
    }
    if (HICON icon = ShellIcons().SmallShellIcon(kShellCdIcon)) {
        m_hOwnImageList = ::ImageList_Create(::GetSystemMetrics(SM_CXSMICON), ::GetSystemMetrics(SM_CYSMICON),
                                             ILC_COLORDDB | ILC_MASK, 1, 0);
        const int index = m_hOwnImageList ? ::ImageList_ReplaceIcon(m_hOwnImageList, -1, icon) : -1;
        ::DestroyIcon(icon);
        if (index >= 0) {
            m_iconIndex[DRIVE_CDROM] = index;
            return;
        }
        if (m_hOwnImageList)
            ::ImageList_Destroy(m_hOwnImageList);
        m_hOwnImageList = nullptr;
    }
    if (!(m_hSysImageList && ::ImageList_GetImageCount(m_hSysImageList) > kListCdIndex))
        m_iconIndex[DRIVE_CDROM] = -1;
}

const char* const* CDriveCombo::BuildDriveList(int type)
{
    const DWORD mask = Disc().GetLogicalDrives();
    int count = 0;
    for (int i = 0; i < kMaxDriveLetters; ++i) {
        g_driveTable[i] = g_drivePool[i];
        if (!(mask & (1u << i)))
            continue;
        char root[] = "A:\\";
        root[0] = static_cast<char>('A' + i);
        if (Disc().GetDriveType(root) == static_cast<UINT>(type))
            std::memcpy(g_drivePool[count++], root, sizeof root);
    }
    if (count == 0)
        std::memcpy(g_drivePool[count++], kPlaceholder, 3);
    g_driveTable[count] = nullptr;
    return g_driveTable;
}

BOOL CDriveCombo::InitFromDlgItem(int id, HWND hParent, const char* const* list)
{
    BOOL attached = SubclassDlgItem(id, hParent);
    m_pDriveList = list ? list : BuildDriveList(m_driveType);
    ResetContent();
    m_drives.clear();
    m_drives.reserve(kMaxDriveLetters + 1);  // item data points into these strings
    for (int i = 0; m_pDriveList[i]; ++i) {
        m_drives.push_back(m_pDriveList[i]);
        SendMessage(CB_ADDSTRING, 0, reinterpret_cast<LPARAM>(m_drives.back().c_str()));
    }
    SetCurSel(0);
    // The closed box's field as high as an item. The box measured it at its
    // creation, but some (Wine's) size it anew from the font that the dialog
    // gives it next, which is lower than the icon.
    SendMessage(CB_SETITEMHEIGHT, static_cast<WPARAM>(-1), m_nItemHeight);
    return attached;
}

const char* CDriveCombo::GetSelectedDrive() const
{
    const int index = GetCurSel();
    if (index < 0 || !m_pDriveList || index >= static_cast<int>(m_drives.size()))
        return nullptr;
    const char* drive = m_pDriveList[index];
    return drive && drive[0] != '?' ? drive : nullptr;
}

void CDriveCombo::MeasureItem(MEASUREITEMSTRUCT* measure) const
{
    measure->itemWidth = m_dpi.ScaleX(45);
    measure->itemHeight = m_nItemHeight;
}

void CDriveCombo::DrawItem(const DRAWITEMSTRUCT* draw)
{
    const COLORREF textColour = ::GetSysColor(COLOR_BTNTEXT);
    const COLORREF highlightText = ::GetSysColor(COLOR_HIGHLIGHTTEXT);
    const char* text = reinterpret_cast<const char*>(draw->itemData);
    if (draw->itemID == static_cast<UINT>(-1) || !text)
        return;
    RECT focus = draw->rcItem;
    focus.top += m_dpi.ScaleY(1);
    focus.bottom -= m_dpi.ScaleY(1);
    focus.left += m_dpi.ScaleX(24);
    focus.right = m_dpi.ScaleX(44);
    m_pDC = draw->hDC;

    if (draw->itemAction & ODA_DRAWENTIRE) {
        ::SetBkMode(m_pDC, OPAQUE);
        ::SetTextColor(m_pDC, textColour);
        DrawDriveItem(FALSE, m_pDC, text, draw->rcItem);
    }
    if (draw->itemState & ODS_SELECTED) {
        if (draw->itemAction & (ODA_DRAWENTIRE | ODA_SELECT)) {
            ::SetBkMode(m_pDC, TRANSPARENT);
            ::DrawFocusRect(m_pDC, &focus);
            ::SetTextColor(m_pDC, highlightText);
            DrawDriveItem(TRUE, m_pDC, text, draw->rcItem);
        }
    } else if (draw->itemAction & ODA_SELECT) {
        // The item has just lost the selection: the XOR frame is drawn away.
        ::SetBkMode(m_pDC, TRANSPARENT);
        ::DrawFocusRect(m_pDC, &focus);
        ::SetTextColor(m_pDC, textColour);
        DrawDriveItem(FALSE, m_pDC, text, draw->rcItem);
    }
    m_pDC = nullptr;
}

// The icon's top: a pixel (at 96 dpi) below the item's, or, in a field too low
// for that, centred.
int CDriveCombo::IconTop(const RECT& item) const
{
    const int height = item.bottom - item.top;
    const int icon = ::GetSystemMetrics(SM_CYSMICON);
    const int gap = m_dpi.ScaleY(1);
    return height >= icon + 2 * gap ? item.top + gap : item.top + (height - icon) / 2;
}

void CDriveCombo::DrawDriveItem(BOOL selected, HDC dc, const char* text, const RECT& item) const
{
    HBRUSH highlight = ::CreateSolidBrush(::GetSysColor(COLOR_HIGHLIGHT));
    HBRUSH window = ::CreateSolidBrush(::GetSysColor(COLOR_WINDOW));
    char label[3] = {text[0], ':', 0};
    HIMAGELIST icons = m_hOwnImageList ? m_hOwnImageList : m_hSysImageList;
    if (icons && m_driveType >= 0 && m_driveType < 7 && m_iconIndex[m_driveType] >= 0)
        ::ImageList_Draw(icons, m_iconIndex[m_driveType], dc, item.left + m_dpi.ScaleX(4), IconTop(item),
                         selected ? ILD_TRANSPARENT | ILD_BLEND25 : ILD_TRANSPARENT);
    RECT box = item;
    box.top += m_dpi.ScaleY(2);
    box.bottom -= m_dpi.ScaleY(2);
    box.left = item.left + m_dpi.ScaleX(25);
    box.right = m_dpi.ScaleX(43);
    if (selected)
        ::FillRect(dc, &box, highlight);
    else if (::GetBkMode(dc) != OPAQUE)
        ::FillRect(dc, &box, window);
    ::DrawTextA(dc, label, 2, &box, DT_CENTER | DT_VCENTER | DT_SINGLELINE | DT_EXTERNALLEADING);
    ::DeleteObject(highlight);
    ::DeleteObject(window);
}
