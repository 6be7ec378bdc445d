#include "qv_sim_driver_store.h"

#include <cwchar>
#include <cwctype>

namespace {

// A journal field: tabs and line ends would split the line.
std::wstring field(std::wstring text)
{
    for (wchar_t& c : text) {
        if (c == L'\t' || c == L'\n' || c == L'\r')
            c = L'?';
    }
    return text;
}

std::wstring answer(const wchar_t* key, const wchar_t* fallback)
{
    wchar_t value[512] = {};
    GetPrivateProfileStringW(L"answers", key, fallback, value, 512, qv_sim_driver_file(L"answers.ini").c_str());
    return value;
}

ULONG answer_number(const wchar_t* key, ULONG fallback)
{
    std::wstring text = answer(key, L"");
    return text.empty() ? fallback : std::wcstoul(text.c_str(), nullptr, 16);
}

HANDLE open_state(const std::wstring& path, DWORD disposition)
{
    return CreateFileW(path.c_str(), GENERIC_READ | GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                       nullptr, disposition, FILE_ATTRIBUTE_NORMAL, nullptr);
}

// Writes at offset, or at the end for a negative offset.
bool write_at(HANDLE file, LONGLONG offset, const void* bytes, DWORD count)
{
    LARGE_INTEGER at{};
    at.QuadPart = offset < 0 ? 0 : offset;
    DWORD written = 0;
    return SetFilePointerEx(file, at, nullptr, offset < 0 ? FILE_END : FILE_BEGIN)
           && WriteFile(file, bytes, count, &written, nullptr) && written == count;
}

bool write_file(const std::wstring& path, DWORD disposition, const void* bytes, DWORD count)
{
    QV_file file(open_state(path, disposition));
    return file && write_at(file.get(), -1, bytes, count);
}

// Waits for the state mutex and releases it when it goes.
class Locked {
public:
    explicit Locked(HANDLE mutex) : mutex_(mutex)
    {
        if (mutex_)
            WaitForSingleObject(mutex_, 10000);  // abandoned: ours all the same
    }
    ~Locked()
    {
        if (mutex_)
            ReleaseMutex(mutex_);
    }
    Locked(const Locked&) = delete;
    Locked& operator=(const Locked&) = delete;

private:
    HANDLE mutex_;
};

} // namespace

Sim_driver_answers sim_driver_read_answers()
{
    Sim_driver_answers answers;
    answers.create_result = static_cast<HRESULT>(answer_number(L"create_result", 0));
    answers.all_fail = answer_number(L"all_fail", 0) != 0;
    answers.is_attached_result = static_cast<HRESULT>(answer_number(L"is_attached_result", 0));
    answers.is_attached_untouched = answer(L"is_attached_status", L"") == L"untouched";
    answers.is_attached_status = answer_number(L"is_attached_status", 1);
    answers.guid_result = static_cast<HRESULT>(answer_number(L"guid_result", 0));
    answers.guid_text = answer(L"guid_text", QV_SIM_DRIVER_DEFAULT_GUID);
    answers.copy_result = answer_number(L"copy_result", 0);
    return answers;
}

Sim_driver_store::Sim_driver_store() : mutex_(CreateMutexW(nullptr, FALSE, QV_SIM_DRIVER_MUTEX))
{
    SHCreateDirectoryExW(nullptr, qv_sim_driver_file(L"exempt").c_str(), nullptr);
    Locked lock(mutex_.get());
    journal_.reset(open_state(qv_sim_driver_file(L"journal.txt"), OPEN_ALWAYS));
    levels_.reset(open_state(qv_sim_driver_file(L"levels.bin"), OPEN_ALWAYS));
    LARGE_INTEGER size{};
    if (levels_ && GetFileSizeEx(levels_.get(), &size) && size.QuadPart < QV_SIM_DRIVER_FLAGS) {
        std::string never(QV_SIM_DRIVER_FLAGS, static_cast<char>(QV_SIM_LEVEL_NEVER_SET));
        write_at(levels_.get(), 0, never.data(), QV_SIM_DRIVER_FLAGS);
    }
    std::string path = qv_sim_read_bytes(qv_sim_driver_file(L"tracing.txt"));
    trace_path_.assign(reinterpret_cast<const wchar_t*>(path.data()), path.size() / sizeof(wchar_t));
}

void Sim_driver_store::record(const wchar_t* method, std::initializer_list<std::wstring> arguments)
{
    std::wstring line = std::to_wstring(GetCurrentProcessId()) + L"\t" + method;
    for (const std::wstring& argument : arguments)
        line += L"\t" + field(argument);
    std::string bytes = qv_sim_to_utf8(line + L"\n");
    Locked lock(mutex_.get());
    if (journal_)
        write_at(journal_.get(), -1, bytes.data(), static_cast<DWORD>(bytes.size()));
    if (!trace_path_.empty())
        write_file(trace_path_, OPEN_ALWAYS, bytes.data(), static_cast<DWORD>(bytes.size()));
}

bool Sim_driver_store::set_level(LONG flag, BYTE level)
{
    if (flag < 0 || flag >= QV_SIM_DRIVER_FLAGS || level > 8 || !levels_)
        return false;
    return write_at(levels_.get(), flag, &level, 1);
}

void Sim_driver_store::set_exempt(bool exempt)
{
    std::wstring marker = qv_sim_driver_file(L"exempt\\") + std::to_wstring(GetCurrentProcessId());
    if (exempt)
        write_file(marker, CREATE_ALWAYS, "", 0);
    else
        DeleteFileW(marker.c_str());
}

void Sim_driver_store::begin_trace(const wchar_t* path)
{
    wchar_t full[MAX_PATH] = {};
    DWORD length = GetFullPathNameW(path, MAX_PATH, full, nullptr);
    if (length == 0 || length >= MAX_PATH)
        return;
    Locked lock(mutex_.get());
    if (!write_file(full, CREATE_ALWAYS, QV_SIM_DRIVER_TRACE_HEADER, sizeof QV_SIM_DRIVER_TRACE_HEADER - 1))
        return;
    trace_path_ = full;
    write_file(qv_sim_driver_file(L"tracing.txt"), CREATE_ALWAYS, full, length * sizeof(wchar_t));
}

void Sim_driver_store::end_trace()
{
    Locked lock(mutex_.get());
    if (!trace_path_.empty())
        write_file(trace_path_, OPEN_ALWAYS, QV_SIM_DRIVER_TRACE_FOOTER, sizeof QV_SIM_DRIVER_TRACE_FOOTER - 1);
    trace_path_.clear();
    DeleteFileW(qv_sim_driver_file(L"tracing.txt").c_str());
}
