// CDialog: modal and modeless dialogs from numbered templates, with data exchange
// and a modal loop for modeless windows that keeps the owner enabled.
#pragma once
#include "wnd.h"

class CDialog;

// Direction and target of one data exchange.
struct CDataExchange {
    bool m_bSaveAndValidate;  // true: controls to members; false: members to controls
    CDialog* m_pDlg;
};

// Binds a control object to the dialog's control.
void DDX_Control(CDataExchange* pDX, int id, CWnd& control);
// Exchanges a string with the text of a control.
void DDX_Text(CDataExchange* pDX, int id, std::string& value);

// Flags of RunModalLoop.
enum : DWORD {
    MLF_NOIDLEMSG = 0x0001,   // never send WM_ENTERIDLE to the owner
    MLF_SHOWONIDLE = 0x0004,  // show the window when the queue first runs empty
};

class CDialog : public CWnd {
public:
    explicit CDialog(UINT idTemplate, HWND hParent = nullptr);
    ~CDialog() override;

    // Runs the dialog modally in RunModalLoop, its owner disabled; returns the
    // value given to EndDialog, -1 on failure.
    INT_PTR DoModal();
    // Creates the dialog modeless from a template; FALSE when that fails.
    BOOL Create(UINT idTemplate, HWND hParent);
    void EndDialog(int result);

    // Pumps this thread's messages until EndModalLoop; sends WM_ENTERIDLE to the
    // owner each time the queue runs empty. The owner is not disabled.
    int RunModalLoop(DWORD flags = 0);
    void EndModalLoop(int result);
    bool IsInModalLoop() const { return m_bInModalLoop; }

    BOOL UpdateData(BOOL bSaveAndValidate = TRUE);

protected:
    virtual BOOL OnInitDialog();
    virtual void OnOK();
    virtual void OnCancel();
    // WM_COMMAND; the default sends IDOK and IDCANCEL to OnOK and OnCancel.
    virtual BOOL OnCommand(WPARAM wParam, LPARAM lParam);
    virtual BOOL OnNotify(WPARAM wParam, LPARAM lParam, LRESULT* pResult);
    virtual void DoDataExchange(CDataExchange* pDX);
    // A message that RunModalLoop is about to hand on: for this dialog or one
    // of its controls, or, when no dialog of this framework holds its window,
    // for any window of this thread while this dialog's loop runs. TRUE when it
    // has been dealt with here.
    virtual BOOL PreTranslateMessage(MSG* msg);
    // Any other message. Set handled to stop the default processing; the return
    // value is then the message's result.
    virtual LRESULT OnMessage(UINT msg, WPARAM wParam, LPARAM lParam, bool& handled);

private:
    static INT_PTR CALLBACK DialogProc(HWND hWnd, UINT msg, WPARAM wParam, LPARAM lParam);
    // The object of a dialog window of this framework; nullptr for any other window.
    static CDialog* FromHandle(HWND hWnd);
    BOOL CreateFromTemplate(HWND hParent);
    INT_PTR Dispatch(UINT msg, WPARAM wParam, LPARAM lParam);
    // Enables the owner that DoModal disabled, once.
    void ReleaseOwner();

    UINT m_idTemplate;
    HWND m_hParent;
    HWND m_hDisabledOwner = nullptr;
    bool m_bModal = false;
    bool m_bInModalLoop = false;
    bool m_bContinueModal = false;
    int m_nModalResult = -1;
};

// The dialog (or other top-level window) that holds hWnd, if it is a dialog.
HWND FindDialogAncestor(HWND hWnd);
