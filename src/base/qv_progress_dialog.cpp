// The GUI build's progress: the system's progress dialog. It runs its window on
// a thread of its own, so the work's thread need not pump messages; its Cancel
// button only raises a flag that the reporter reads when it shows the figures.

#include "base/qv_message_box.h"
#include "base/qv_progress.h"
#include "base/qv_unique.h"
#include "trace/qv_trace.h"

#include <shlobj.h>

namespace {

constexpr const wchar_t* PROGRESS_DIALOG = L"qv_progress_dialog";
constexpr DWORD ACTIVITY_LINE = 1;
constexpr DWORD FIGURES_LINE = 2;

class Progress_dialog : public QV_progress_view {
public:
    explicit Progress_dialog(QV_com_ptr<IProgressDialog> dialog) : dialog_(std::move(dialog)) {}
    ~Progress_dialog() override { dialog_->StopProgressDialog(); }
    Progress_dialog(const Progress_dialog&) = delete;
    Progress_dialog& operator=(const Progress_dialog&) = delete;

    void show(const QV_progress_figures& figures) override
    {
        if (figures.total != 0)
            dialog_->SetProgress64(figures.done, figures.total);
        dialog_->SetLine(FIGURES_LINE, qv_progress_text(figures).c_str(), FALSE, nullptr);
    }

    bool cancelled() override { return dialog_->HasUserCancelled() != FALSE; }

private:
    QV_com_ptr<IProgressDialog> dialog_;
};

// Without a total there is no bar to fill and no time to estimate.
DWORD dialog_flags(const QV_progress_figures& first)
{
    return PROGDLG_NORMAL | PROGDLG_NOMINIMIZE | (first.total != 0 ? PROGDLG_AUTOTIME : PROGDLG_NOPROGRESSBAR);
}

} // namespace

std::unique_ptr<QV_progress_view> qv_progress_dialog(const wchar_t* activity, const QV_progress_figures& first)
{
    QV_com_ptr<IProgressDialog> dialog;
    HRESULT hr = CoCreateInstance(CLSID_ProgressDialog, nullptr, CLSCTX_INPROC_SERVER, IID_IProgressDialog,
                                  dialog.put_void());
    if (FAILED(hr)) {
        qv_trace_failed_hresult(PROGRESS_DIALOG, hr, L"Unable to create the progress dialog\n");
        return nullptr;
    }
    dialog->SetTitle(QV_PRODUCT_CAPTION);
    dialog->SetLine(ACTIVITY_LINE, activity ? activity : L"", FALSE, nullptr);
    hr = dialog->StartProgressDialog(nullptr, nullptr, dialog_flags(first), nullptr);
    if (FAILED(hr)) {
        qv_trace_failed_hresult(PROGRESS_DIALOG, hr, L"Unable to show the progress dialog\n");
        return nullptr;
    }
    return std::make_unique<Progress_dialog>(std::move(dialog));
}
