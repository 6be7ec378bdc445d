#include "xml/qvxml_parser.h"

#include "base/qv_unique.h"
#include "xml/qvxml_entities.h"

#include <windows.h>

#include <cwchar>

namespace {

using QVXML_owned_node = QV_unique<QVXML_node_traits>;

// Steps over white space and comments; "<!-->" is a whole comment, and one left
// open runs to the end of the text.
const wchar_t* skip(const wchar_t* p)
{
    for (;;) {
        while (qvxml_is_space(*p))
            ++p;
        if (!(p[0] == L'<' && p[1] == L'!' && p[2] == L'-' && p[3] == L'-'))
            return p;
        const wchar_t* close = std::wcsstr(p, L"-->");
        if (!close)
            return p + std::wcslen(p);
        p = close + 3;
    }
}

const wchar_t* next_open(const wchar_t* p)
{
    while (*p && *p != L'<')
        ++p;
    return p;
}

// Names end at a blank, "/", ">" or the end; tabs and line breaks do not end them.
const wchar_t* name_end(const wchar_t* p)
{
    while (*p && *p != L' ' && *p != L'/' && *p != L'>')
        ++p;
    return p;
}

// Appends [from, to) to out leaving out every carriage return and line feed.
void append_without_breaks(QVXML_buffer& out, const wchar_t* from, const wchar_t* to)
{
    out.grow(out.length() + static_cast<size_t>(to - from));
    const wchar_t* run = from;
    for (const wchar_t* p = from; p < to; ++p) {
        if (*p != L'\r' && *p != L'\n')
            continue;
        out.append(run, static_cast<size_t>(p - run));
        run = p + 1;
    }
    out.append(run, static_cast<size_t>(to - run));
}

} // namespace

bool QVXML_parser::parse(QVXML_node* root)
{
    root_ = root;
    return parse_content(root, 0);
}

bool QVXML_parser::parse_content(QVXML_node* parent, int depth)
{
    for (;;) {
        if (!*p_)
            return true;
        p_ = next_open(skip(p_));
        if (!*p_)
            return true;
        p_ = skip(p_);
        if (!*p_ || p_[1] == L'/')
            return true;  // an end tag, for the caller to match
        if (*p_ != L'<')
            return false;  // a comment followed by text
        if (!parse_element(parent, depth))
            return false;
    }
}

bool QVXML_parser::parse_element(QVXML_node* parent, int depth)
{
    p_ = skip(p_ + 1);
    if (!*p_)
        return false;
    const wchar_t* end = name_end(p_);
    // The declaration read first becomes the document's root, so its children
    // sit one level below the root, like the elements of a text without one.
    size_t name_length = static_cast<size_t>(end - p_);
    bool future_root = parent == root_ && !parent->has_children() && qvxml_equals_no_case(L"?xml", p_, name_length);
    int node_depth = future_root ? 0 : depth + 1;
    if (node_depth > QVXML_MAX_DEPTH)
        return false;
    QVXML_owned_node node(QVXML_node::create(p_, name_length, parent->heap()));
    if (!node)
        return false;
    p_ = skip(end);
    bool self_closing = false;
    if (!parse_attributes(node.get(), &self_closing))
        return false;
    if (!self_closing) {
        const wchar_t* after_start_tag = p_;
        if (!parse_content(node.get(), node_depth))
            return false;
        if (!node.get()->has_children() && !give_text(node.get(), after_start_tag))
            return false;
        if (!node.get()->is_declaration() && !parse_end_tag(node.get()))
            return false;
    }
    parent->append_child(node.release());
    return true;
}

// The text of an element without children: everything up to the first "<",
// lines joined, trailing white space cut, references decoded.
bool QVXML_parser::give_text(QVXML_node* node, const wchar_t* after_start_tag)
{
    if (node->is_declaration())
        return true;
    const wchar_t* from = skip(after_start_tag);
    const wchar_t* to = next_open(from);
    if (!*to)
        return false;
    QVXML_buffer& text = node->text_buffer();  // empty: the node is new
    append_without_breaks(text, from, to);
    text.trim_right();
    decode_entities(text);
    return true;
}

bool QVXML_parser::parse_end_tag(const QVXML_node* node)
{
    p_ = next_open(skip(p_));
    if (!*p_)
        return false;
    p_ = skip(p_);
    if (p_[0] != L'<' || p_[1] != L'/')
        return false;
    p_ = skip(p_ + 2);
    if (!*p_)
        return false;
    const wchar_t* end = name_end(p_);
    bool same = qvxml_equals_no_case(node->name(), p_, static_cast<size_t>(end - p_));
    p_ = skip(end);  // the ">" is passed over with the text that follows
    return same;
}

bool QVXML_parser::parse_attributes(QVXML_node* node, bool* self_closing)
{
    p_ = skip(p_);
    *self_closing = false;
    attributes_.start(node);
    while (*p_ && *p_ != L'>' && *p_ != L'/') {
        if (!parse_one_attribute())
            return false;
        p_ = skip(p_);
        if (p_[0] == L'/' && p_[1] == L'>') {
            *self_closing = true;
            ++p_;
        } else if (*p_ == L'?' && node->is_declaration()) {
            ++p_;
        }
    }
    if (*p_ == L'/') {
        ++p_;
        *self_closing = true;
    }
    if (*p_ != L'>')
        return false;
    p_ = skip(p_ + 1);
    return true;
}

// name = "value" or 'value', stopping after the closing quotation mark. A ">"
// before the "=" or inside the value is refused.
bool QVXML_parser::parse_one_attribute()
{
    const wchar_t* name = p_;
    while (*p_ && *p_ != L'=') {
        if (*p_++ == L'>')
            return false;
    }
    if (!*p_)
        return false;
    name_scratch_.clear();
    name_scratch_.append(name, static_cast<size_t>(p_ - name));
    name_scratch_.trim_right();
    p_ = skip(p_ + 1);
    wchar_t quote = *p_;
    if (quote != L'"' && quote != L'\'')
        return false;
    const wchar_t* value = ++p_;
    for (; *p_ != quote; ++p_) {
        if (!*p_ || *p_ == L'>')
            return false;
    }
    value_scratch_.clear();
    append_without_breaks(value_scratch_, value, p_++);
    decode_entities(value_scratch_);
    return attributes_.set(name_scratch_.c_str(), name_scratch_.length(), value_scratch_.c_str(),
                           value_scratch_.length());
}

unsigned QVXML_parser::encoding_of(const wchar_t* text)
{
    const wchar_t* p = next_open(skip(text));
    if (!*p)
        return CP_ACP;
    p = skip(p);
    if (!*p || p[1] == L'/' || *p != L'<')
        return CP_ACP;
    p = skip(p + 1);
    const wchar_t* end = name_end(p);
    if (!qvxml_equals_no_case(L"?xml", p, static_cast<size_t>(end - p)))
        return CP_ACP;
    QVXML_owned_node declaration(QVXML_node::create(p, static_cast<size_t>(end - p)));
    if (!declaration)
        return CP_ACP;
    QVXML_parser reader(skip(end));
    bool self_closing = false;
    if (!reader.parse_attributes(declaration.get(), &self_closing))
        return CP_ACP;
    bool utf8 = qvxml_compare_no_case(declaration.get()->attribute_value(L"encoding"), L"UTF-8") == 0;
    return utf8 ? CP_UTF8 : CP_ACP;
}
