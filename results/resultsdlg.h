// CResultsDlg: the results window whose list the engine fills during a run.
#pragma once
#include "../framework/dialog.h"
#include "../framework/controls.h"
#include <atomic>

class CResultsDlg : public CDialog {
public:
    explicit CResultsDlg(HWND hParent = nullptr);

    CListCtrl m_list;
    std::string m_fileName;
    std::string m_volumeLabel;
    // Nonzero: the run is asked to end (OK, Esc, Close box, or a failed run).
    // Written by both threads, hence atomic.
    std::atomic<int> m_stopRequested{1};

protected:
    void DoDataExchange(CDataExchange* pDX) override;
    BOOL OnInitDialog() override;
    void OnOK() override;
    void OnCancel() override;
};
