// CResultsDlg: the results window whose list the engine fills during a run.
#pragma once
#include "../framework/dialog.h"
#include "../framework/controls.h"
#include <atomic>
#include <string>

class CResultsDlg : public CDialog {
public:
    explicit CResultsDlg(HWND hParent = nullptr);

    // The rows shown so far and the two labels as text for the clipboard ("" while the list is empty).
    std::string ResultsText() const;
    // Puts ResultsText on the clipboard as CF_TEXT; FALSE when there is nothing to copy or the clipboard refused.
    BOOL CopyResults();
    // A row's time as measured, before the list rounds it to hundredths; kept with
    // the row (as its item data) for the figures of the copied text. 0: none.
    void SetMeasuredSeconds(int row, double seconds) const;
    double MeasuredSeconds(int row) const;

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
    BOOL OnNotify(WPARAM wParam, LPARAM lParam, LRESULT* pResult) override;
    BOOL PreTranslateMessage(MSG* msg) override;
    LRESULT OnMessage(UINT msg, WPARAM wParam, LPARAM lParam, bool& handled) override;

private:
    // The list's menu with its one item, Copy, at a screen point.
    void ShowCopyMenu(POINT at);
};
