// CPrintDialog: a print setup over PRINTDLGA; GetDefaults takes the default
// printer's settings and device context without showing anything.
#pragma once
#include <windows.h>
#include <commdlg.h>
#include <cstddef>
#include <cstring>
#include <string>

class CPrintDialog {
public:
    PRINTDLGA m_pd{};

    // A setup-only dialog asks for PD_PRINTSETUP; any other returns a device context.
    CPrintDialog(BOOL printSetupOnly, DWORD flags, HWND hParent = nullptr)
    {
        m_pd.lStructSize = sizeof m_pd;
        m_pd.hwndOwner = hParent;
        m_pd.Flags = flags | (printSetupOnly ? PD_PRINTSETUP : PD_RETURNDC);
        m_pd.nCopies = 1;
    }
    CPrintDialog(const CPrintDialog&) = delete;
    CPrintDialog& operator=(const CPrintDialog&) = delete;
    // The setup's memory and device context are freed by their owner (the
    // caller), as the settings outlive this object in a real dialog.
    ~CPrintDialog() = default;

    // The default printer without a dialog; FALSE when there is none. With
    // PD_RETURNDC the device context is in m_pd.hDC.
    BOOL GetDefaults()
    {
        m_pd.hDevMode = nullptr;
        m_pd.hDevNames = nullptr;
        m_pd.hDC = nullptr;
        m_pd.Flags |= PD_RETURNDEFAULT;
        const BOOL ok = ::PrintDlgA(&m_pd);
        m_pd.Flags &= ~PD_RETURNDEFAULT;
        return ok;
    }
    HDC GetPrinterDC() const { return m_pd.hDC; }
    BOOL PrintToFile() const { return (m_pd.Flags & PD_PRINTTOFILE) != 0; }

    // The printer's port from the DEVNAMES block; empty when there is none.
    std::string GetPortName() const { return DevNamesString(offsetof(DEVNAMES, wOutputOffset)); }

private:
    std::string DevNamesString(size_t offsetField) const
    {
        if (!m_pd.hDevNames)
            return std::string();
        const char* block = static_cast<const char*>(::GlobalLock(m_pd.hDevNames));
        if (!block)
            return std::string();
        WORD offset = 0;
        std::memcpy(&offset, block + offsetField, sizeof offset);
        const size_t size = ::GlobalSize(m_pd.hDevNames);
        std::string text;
        // The block may be short or unterminated: read within it only.
        for (size_t i = offset; i < size && block[i]; ++i)
            text += block[i];
        ::GlobalUnlock(m_pd.hDevNames);
        return text;
    }
};
