// CAboutDlg: the about box.
#pragma once
#include "../framework/dialog.h"
#include "../res/resource.h"

class CAboutDlg : public CDialog {
public:
    CAboutDlg() : CDialog(IDD_ABOUTBOX) {}
};
