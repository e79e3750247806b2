// CMainDlg: the main dialog with its toolbar, drive selector and Run command.
#pragma once
#include "../engine/benchengine.h"
#include "../engine/cachecontrol.h"
#include "../engine/engineowner.h"
#include "../framework/controls.h"
#include "../framework/dialog.h"
#include "drivecombo.h"
#include <memory>

class CMainDlg : public CDialog, public IEngineOwner {
public:
    explicit CMainDlg(HWND hParent = nullptr);
    ~CMainDlg() override;

    void OnRun();
    void OnPrintResults();
    void OnQuit();
    void OnSelchangeDrive();
    void OnEnterIdle();
    // Index of the drive in the cache driver's list, -1 if it is not there.
    int FindCachedDrive(const char* root) const override;
    HWND OwnerWindow() const override { return m_hWnd; }
    BOOL IsUdfDisc(char letter) const;

    HICON m_hIcon;
    HICON m_hSmallIcon;
    CCacheControl m_cache;
    const char* const* m_cachedDrives = nullptr;
    CDriveCombo m_driveCombo;
    CToolBar m_toolBar;
    std::unique_ptr<CBenchEngine> m_pEngine;

protected:
    BOOL OnInitDialog() override;
    void OnOK() override;
    void OnCancel() override;
    BOOL OnCommand(WPARAM wParam, LPARAM lParam) override;
    BOOL OnNotify(WPARAM wParam, LPARAM lParam, LRESULT* pResult) override;
    BOOL PreTranslateMessage(MSG* msg) override;
    LRESULT OnMessage(UINT msg, WPARAM wParam, LPARAM lParam, bool& handled) override;

private:
    void OnSysCommand(WPARAM id, LPARAM lParam);
    void OnPaint();
    void EnableToolTips();
    // Ends the dialog, or, during a run, asks the run to stop and ends it after.
    void Close(int result);

    void RunCommand();

    HACCEL m_hAccel = nullptr;  // F5 Run, Ctrl+P Print
    bool m_keyRepeat = false;   // the key being translated is held down (a repeat)
    bool m_f1Repeat = false;    // the last F1 key-down was a repeat
    bool m_inRunCommand = false;
    bool m_closePending = false;
    int m_closeResult = IDOK;
};

extern const char* const kNoDrivesMessage;
extern const char* const kUdfMessage;
