// The two progress windows of the timed tests: the walk's current directory and
// the random read's progress bar. Their captions tell whether the cache is used.
#pragma once
#include "../framework/dialog.h"
#include "../framework/controls.h"

class CWalkProgressDlg : public CDialog {
public:
    CWalkProgressDlg();
    BOOL Create(int pass, UINT idTemplate, HWND hParent);
    int m_pass = 0;

protected:
    BOOL OnInitDialog() override;
};

class CReadProgressDlg : public CDialog {
public:
    CReadProgressDlg();
    BOOL Create(int pass, UINT idTemplate, HWND hParent);
    CProgressCtrl m_progress;
    int m_pass = 0;

protected:
    void DoDataExchange(CDataExchange* pDX) override;
    BOOL OnInitDialog() override;
};

// The caption of a progress window: the template's caption and the pass's suffix.
std::string ProgressCaption(const std::string& templateCaption, int pass);
