// Progress windows: no Close command, a caption per pass, the read bar's range.
#include "progressdlg.h"
#include "../res/resource.h"
#include "constants.h"

namespace {

// Shared start of both windows: no Close command, caption for the pass.
void PreparePass(CDialog& dlg, int pass)
{
    ::DeleteMenu(::GetSystemMenu(dlg.m_hWnd, FALSE), SC_CLOSE, MF_BYCOMMAND);
    dlg.SetWindowText(ProgressCaption(dlg.GetWindowText(), pass));
}
}

std::string ProgressCaption(const std::string& templateCaption, int pass)
{
    return templateCaption + (pass ? " - with " : " - without ") + "Zelkor Cache";
}

CWalkProgressDlg::CWalkProgressDlg() : CDialog(IDD_WALK_PROGRESS) {}

BOOL CWalkProgressDlg::Create(int pass, UINT idTemplate, HWND hParent)
{
    m_pass = pass;
    return CDialog::Create(idTemplate, hParent);
}

BOOL CWalkProgressDlg::OnInitDialog()
{
    CDialog::OnInitDialog();
    PreparePass(*this, m_pass);
    return TRUE;
}

CReadProgressDlg::CReadProgressDlg() : CDialog(IDD_READ_PROGRESS) {}

BOOL CReadProgressDlg::Create(int pass, UINT idTemplate, HWND hParent)
{
    m_pass = pass;
    return CDialog::Create(idTemplate, hParent);
}

void CReadProgressDlg::DoDataExchange(CDataExchange* pDX)
{
    DDX_Control(pDX, IDC_READ_PROGRESS, m_progress);
}

BOOL CReadProgressDlg::OnInitDialog()
{
    CDialog::OnInitDialog();
    PreparePass(*this, m_pass);
    m_progress.SetRange(0, kReadBlocks);
    m_progress.SetStep(kProgressStep);
    m_progress.SetPos(0);
    return TRUE;
}
