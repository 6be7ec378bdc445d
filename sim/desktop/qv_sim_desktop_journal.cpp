#include "qv_sim_desktop.h"

#include "base/qv_unique.h"

#include <cwchar>

namespace {

std::wstring answer(const wchar_t* key)
{
    wchar_t value[64] = {};
    GetPrivateProfileStringW(L"answers", key, L"", value, 64, qv_sim_desktop_file(L"answers.ini").c_str());
    return value;
}

// A journal field: tabs and line ends would split the line.
std::wstring field(std::wstring text)
{
    for (wchar_t& c : text) {
        if (c == L'\t' || c == L'\n' || c == L'\r')
            c = L'?';
    }
    return text;
}

} // namespace

Sim_desktop_answers sim_desktop_read_answers()
{
    Sim_desktop_answers answers;
    answers.no_context_menu = answer(L"no_context_menu") == L"1";
    answers.keep_reference = answer(L"keep_reference") == L"1";
    std::wstring invoke = answer(L"invoke_result");
    if (!invoke.empty())
        answers.invoke_result = static_cast<HRESULT>(std::wcstoul(invoke.c_str(), nullptr, 16));
    return answers;
}

void sim_desktop_record(std::initializer_list<std::wstring> fields)
{
    std::wstring line;
    for (const std::wstring& text : fields)
        line += (line.empty() ? L"" : L"\t") + field(text);
    std::string bytes = qv_sim_to_utf8(line + L"\n");
    QV_file journal(CreateFileW(qv_sim_desktop_file(L"journal.txt").c_str(), FILE_APPEND_DATA,
                                FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr, OPEN_ALWAYS, FILE_ATTRIBUTE_NORMAL,
                                nullptr));
    DWORD written = 0;
    if (journal)
        WriteFile(journal.get(), bytes.data(), static_cast<DWORD>(bytes.size()), &written, nullptr);
}

std::wstring sim_desktop_hex(HRESULT value)
{
    wchar_t text[16] = {};
    _snwprintf(text, 15, L"%08X", static_cast<unsigned>(value));
    return text;
}
