// Results window: three columns; OK, Esc and Close only ask the run to stop.
#include "resultsdlg.h"
#include "../res/resource.h"

CResultsDlg::CResultsDlg(HWND hParent) : CDialog(IDD_RESULTS, hParent) {}

void CResultsDlg::DoDataExchange(CDataExchange* pDX)
{
    DDX_Control(pDX, IDC_RESULT_LIST, m_list);
    DDX_Text(pDX, IDC_FILE_NAME, m_fileName);
    DDX_Text(pDX, IDC_VOLUME_LABEL, m_volumeLabel);
}

BOOL CResultsDlg::OnInitDialog()
{
    CDialog::OnInitDialog();
    m_stopRequested = 0;
    m_list.InsertColumn(0, " Test", LVCFMT_RIGHT, 40, 0);
    m_list.InsertColumn(1, "Description", LVCFMT_RIGHT, 195, 1);
    m_list.InsertColumn(2, "Time", LVCFMT_CENTER, 100, 2);
    return TRUE;
}

// The window closes only when the run's owner ends its modal loop.
void CResultsDlg::OnOK() { m_stopRequested = 1; }
void CResultsDlg::OnCancel() { m_stopRequested = 1; }
