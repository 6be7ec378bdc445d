// Parsing and serializing a generated document of 1 MB (10,000 elements with
// attributes and text) against a plain loop that copies as many wide characters
// with one character-class test each, in the same run; then the same document at
// 4 MB, to show how the time grows. Prints the best of several rounds.
#include "qv_bench_clock.h"
#include "shell/dx_shell_output.h"
#include "xml/qv_xml_doc.h"

#include <cstdio>
#include <string>

namespace {

constexpr int ROUNDS = 9;

template <typename Work>
double best_of(Work work)
{
    double best = 1e30;
    for (int round = 0; round < ROUNDS; ++round) {
        double start = qv_seconds_now();
        work();
        double elapsed = qv_seconds_now() - start;
        best = elapsed < best ? elapsed : best;
    }
    return best;
}

// elements items under one parent, each with two attributes and a text; about
// 50 characters per item.
std::wstring document(int elements)
{
    std::wstring text = L"<?xml version=\"1.0\"?>\r\n<items>\r\n";
    for (int i = 0; i < elements; ++i) {
        std::wstring n = std::to_wstring(i);
        text += L"  <item id=\"" + n + L"\" k=\"a&amp;b\">text " + n + L" here</item>\r\n";
    }
    return text + L"</items>\r\n";
}

__attribute__((noinline)) size_t copy_with_class_test(const wchar_t* in, size_t n, wchar_t* out)
{
    size_t spaces = 0;
    for (size_t i = 0; i < n; ++i) {
        wchar_t c = in[i];
        spaces += c == L' ' || (c >= L'\t' && c <= L'\r');
        out[i] = c;
    }
    return spaces;
}

double parse_and_serialize(const std::wstring& text, size_t* check)
{
    QV_xml_doc* doc = create_xml_doc();
    double seconds = best_of([&] {
        if (doc->load_from_string(text.c_str())) {
            wchar_t* written = doc->to_string();
            *check += written[1];
            doc->free_string(written);
        }
    });
    doc->release();
    return seconds;
}

// The parts on their own: loading (which first frees the previous tree) and
// serializing a loaded tree.
void print(const char* format, double a, double b);

void print_parts(const std::wstring& text, double loop)
{
    QV_xml_doc* doc = create_xml_doc();
    size_t check = 0;
    double load = best_of([&] { check += doc->load_from_string(text.c_str()); });
    double write = best_of([&] {
        wchar_t* written = doc->to_string();
        check += written[1];
        doc->free_string(written);
    });
    doc->release();
    print("  of which loading %.2f ms (ratio %.1f), ", load * 1e3, load / loop);
    print("serializing %.2f ms (ratio %.1f)\n", write * 1e3, write / loop + static_cast<double>(check & 0));
}

void print(const char* format, double a, double b)
{
    char line[256];
    std::snprintf(line, sizeof(line), format, a, b);
    dx_shell_write_console(line);
}

} // namespace

int main()
{
    std::wstring small = document(10000), large = document(40000);
    std::wstring copy(small.size(), L'\0');
    size_t check = 0;
    double loop = best_of([&] { check += copy_with_class_test(small.c_str(), small.size(), copy.data()); });
    double one = parse_and_serialize(small, &check);
    double four = parse_and_serialize(large, &check);
    print("document %.2f MB; copy loop %.3f ms\n", small.size() * 2 / 1e6, loop * 1e3);
    print("parse + serialize, 1 MB: %.2f ms, ratio %.1f to the loop (goal <= 8)\n", one * 1e3, one / loop);
    print_parts(small, loop);
    print("parse + serialize, 4 MB: %.2f ms, %.2f times the 1 MB time (goal <= 4.5)\n", four * 1e3, four / one);
    print("(check %.0f%.0f)\n", static_cast<double>(check & 1), 0);
    return 0;
}
