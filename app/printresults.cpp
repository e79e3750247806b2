// The Print Results command: the chosen drive's report on the default printer.
#include "maindlg.h"
#include "../framework/dc.h"
#include "../framework/printsetup.h"
#include "../results/reportlayout.h"

void CMainDlg::OnPrintResults()
{
    // The placeholder stands for no drive: there is no report to print.
    const char* drive = m_driveCombo.GetSelectedDrive();
    if (!drive)
        return;

    CPrintDialog setup(FALSE, PD_USEDEVMODECOPIES | PD_RETURNDC | PD_NOPAGENUMS | PD_NOSELECTION, m_hWnd);
    m_toolBar.UpdateWindow();
    // No default printer: nothing is printed and nothing is said.
    setup.GetDefaults();
    const std::string port = setup.GetPortName();
    DOCINFOA job{};
    job.cbSize = sizeof job;
    job.lpszDocName = report::kDocumentName;
    job.lpszOutput = setup.PrintToFile() ? port.c_str() : nullptr;

    CDC dc;
    // Any StartDoc result of 0 or less is a refused job, not only SP_ERROR.
    if (dc.Attach(setup.GetPrinterDC()) && dc.StartDoc(&job) > 0) {
        dc.StartPage();
        m_pEngine->PrintReport(drive, dc);
        dc.EndPage();
        dc.EndDoc();
    }

    if (setup.m_pd.hDevMode)
        ::GlobalFree(setup.m_pd.hDevMode);
    if (setup.m_pd.hDevNames)
        ::GlobalFree(setup.m_pd.hDevNames);
    dc.DeleteDC();
}
