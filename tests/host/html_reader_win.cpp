#include "host/html_reader_win.h"

#include <cwctype>
#include <map>

namespace tthost {
namespace {

std::wstring Lower(std::wstring s) {
    for (auto& c : s) c = static_cast<wchar_t>(std::towlower(c));
    return s;
}

bool IsSpace(wchar_t c) { return c == L' ' || c == L'\t' || c == L'\n' || c == L'\r' || c == L'\f'; }

// Finds "</name" (any letter case) from pos; npos when absent.
size_t FindEndTag(const std::wstring& html, size_t pos, const std::wstring& name) {
    const std::wstring lower = Lower(html.substr(pos));
    const size_t at = lower.find(L"</" + name);
    return at == std::wstring::npos ? std::wstring::npos : pos + at;
}

struct Tag {
    std::wstring name;  // lower case
    bool end = false;
    std::map<std::wstring, std::wstring> attrs;  // names in lower case, values decoded
    bool Has(const wchar_t* a) const { return attrs.count(a) != 0; }
    std::wstring Get(const wchar_t* a) const {
        auto it = attrs.find(a);
        return it == attrs.end() ? std::wstring() : it->second;
    }
};

// Reads the tag that starts at html[pos] == '<'; returns the position after its '>'.
size_t ReadTag(const std::wstring& html, size_t pos, Tag& tag) {
    size_t i = pos + 1;
    if (i < html.size() && html[i] == L'/') {
        tag.end = true;
        ++i;
    }
    size_t start = i;
    while (i < html.size() && !IsSpace(html[i]) && html[i] != L'>' && html[i] != L'/') ++i;
    tag.name = Lower(html.substr(start, i - start));
    while (i < html.size() && html[i] != L'>') {
        if (IsSpace(html[i]) || html[i] == L'/') {
            ++i;
            continue;
        }
        start = i;
        while (i < html.size() && !IsSpace(html[i]) && html[i] != L'=' && html[i] != L'>') ++i;
        std::wstring name = Lower(html.substr(start, i - start));
        while (i < html.size() && IsSpace(html[i])) ++i;
        std::wstring value;
        if (i < html.size() && html[i] == L'=') {
            ++i;
            while (i < html.size() && IsSpace(html[i])) ++i;
            if (i < html.size() && (html[i] == L'"' || html[i] == L'\'')) {
                const wchar_t quote = html[i++];
                start = i;
                while (i < html.size() && html[i] != quote) ++i;
                value = html.substr(start, i - start);
                if (i < html.size()) ++i;
            } else {
                start = i;
                while (i < html.size() && !IsSpace(html[i]) && html[i] != L'>') ++i;
                value = html.substr(start, i - start);
            }
        }
        if (!name.empty() && !tag.attrs.count(name)) tag.attrs[name] = DecodeCharacterReferences(value);
    }
    return i < html.size() ? i + 1 : i;
}

void AppendText(std::wstring& out, const std::wstring& raw) {
    for (wchar_t c : DecodeCharacterReferences(raw)) {
        if (IsSpace(c) || c == 0xA0) {
            if (!out.empty() && out.back() != L' ') out.push_back(L' ');
        } else {
            out.push_back(c);
        }
    }
}

}  // namespace

std::wstring DecodeCharacterReferences(const std::wstring& text) {
    static const std::map<std::wstring, wchar_t> named = {{L"amp", L'&'},  {L"lt", L'<'},    {L"gt", L'>'},
                                                          {L"quot", L'"'}, {L"apos", L'\''}, {L"nbsp", 0xA0},
                                                          {L"copy", 0xA9}, {L"reg", 0xAE}};
    std::wstring out;
    for (size_t i = 0; i < text.size();) {
        if (text[i] != L'&') {
            out.push_back(text[i++]);
            continue;
        }
        const size_t semi = text.find(L';', i);
        if (semi == std::wstring::npos || semi - i > 10) {
            out.push_back(text[i++]);
            continue;
        }
        const std::wstring ref = text.substr(i + 1, semi - i - 1);
        unsigned long code = 0;
        bool ok = false;
        if (ref.size() > 1 && ref[0] == L'#') {
            const bool hex = ref[1] == L'x' || ref[1] == L'X';
            const std::wstring digits = ref.substr(hex ? 2 : 1);
            if (!digits.empty()) {
                wchar_t* end = nullptr;
                code = std::wcstoul(digits.c_str(), &end, hex ? 16 : 10);
                ok = end && *end == 0 && code > 0 && code <= 0x10FFFF;
            }
        } else if (auto it = named.find(ref); it != named.end()) {
            code = it->second;
            ok = true;
        }
        if (!ok) {
            out.push_back(text[i++]);
            continue;
        }
        if (code >= 0x10000) {
            code -= 0x10000;
            out.push_back(static_cast<wchar_t>(0xD800 + (code >> 10)));
            out.push_back(static_cast<wchar_t>(0xDC00 + (code & 0x3FF)));
        } else {
            out.push_back(static_cast<wchar_t>(code));
        }
        i = semi + 1;
    }
    return out;
}

std::wstring CharsetOfContentType(const std::wstring& contentType) {
    const std::wstring lower = Lower(contentType);
    size_t at = lower.find(L"charset");
    if (at == std::wstring::npos) return {};
    at = lower.find(L'=', at);
    if (at == std::wstring::npos) return {};
    ++at;
    while (at < lower.size() && (IsSpace(lower[at]) || lower[at] == L'"' || lower[at] == L'\'')) ++at;
    size_t end = at;
    while (end < lower.size() && !IsSpace(lower[end]) && lower[end] != L';' && lower[end] != L'"' &&
           lower[end] != L'\'')
        ++end;
    return lower.substr(at, end - at);
}

HtmlPage ReadHtml(const std::wstring& html) {
    HtmlPage page;
    int form = -1;         // index of the open form
    int selectField = -1;  // index of the open select in that form
    bool selectHasOption = false;
    bool selectExplicit = false;
    size_t i = 0;
    size_t textStart = 0;
    auto flushText = [&](size_t end) {
        if (end > textStart) AppendText(page.text, html.substr(textStart, end - textStart));
    };
    while (i < html.size()) {
        if (html[i] != L'<') {
            ++i;
            continue;
        }
        if (html.compare(i, 4, L"<!--") == 0) {
            flushText(i);
            const size_t end = html.find(L"-->", i + 4);
            i = end == std::wstring::npos ? html.size() : end + 3;
            textStart = i;
            continue;
        }
        const wchar_t next = i + 1 < html.size() ? html[i + 1] : 0;
        if (next == L'!' || next == L'?') {
            flushText(i);
            const size_t end = html.find(L'>', i);
            i = end == std::wstring::npos ? html.size() : end + 1;
            textStart = i;
            continue;
        }
        if (!(std::iswalpha(next) || (next == L'/' && i + 2 < html.size() && std::iswalpha(html[i + 2])))) {
            ++i;  // a lone '<' is text
            continue;
        }
        flushText(i);
        Tag tag;
        i = ReadTag(html, i, tag);
        textStart = i;
        if (tag.end) {
            if (tag.name == L"form") {
                form = -1;
                selectField = -1;
            } else if (tag.name == L"select") {
                selectField = -1;
            }
            continue;
        }
        if (tag.name == L"title" || tag.name == L"script" || tag.name == L"style" ||
            tag.name == L"textarea") {
            const size_t end = FindEndTag(html, i, tag.name);
            const std::wstring raw = html.substr(i, (end == std::wstring::npos ? html.size() : end) - i);
            if (tag.name == L"title" && !page.hasTitle) {
                page.hasTitle = true;
                page.title = DecodeCharacterReferences(raw);
            } else if (tag.name == L"textarea" && form >= 0) {
                HtmlField f;
                f.tag = L"textarea";
                f.type = L"textarea";
                f.name = tag.Get(L"name");
                f.id = tag.Get(L"id");
                f.value = DecodeCharacterReferences(raw);
                f.disabled = tag.Has(L"disabled");
                page.forms[form].fields.push_back(f);
            }
            if (end == std::wstring::npos) {
                i = html.size();
            } else {
                const size_t close = html.find(L'>', end);
                i = close == std::wstring::npos ? html.size() : close + 1;
            }
            textStart = i;
            continue;
        }
        if (tag.name == L"form") {
            HtmlForm f;
            f.name = tag.Get(L"name");
            f.id = tag.Get(L"id");
            f.action = tag.Get(L"action");
            f.method = Lower(tag.Get(L"method"));
            if (f.method != L"post") f.method = L"get";
            page.forms.push_back(f);
            form = static_cast<int>(page.forms.size()) - 1;
            selectField = -1;
        } else if ((tag.name == L"input" || tag.name == L"button" || tag.name == L"select") && form >= 0) {
            HtmlField f;
            f.tag = tag.name;
            f.type = Lower(tag.Get(L"type"));
            if (f.type.empty())
                f.type = tag.name == L"input" ? L"text" : tag.name == L"button" ? L"submit" : L"select";
            f.name = tag.Get(L"name");
            f.id = tag.Get(L"id");
            f.value = tag.Get(L"value");
            if (tag.name == L"input" && (f.type == L"checkbox" || f.type == L"radio") && !tag.Has(L"value"))
                f.value = L"on";
            f.checked = tag.Has(L"checked");
            f.disabled = tag.Has(L"disabled");
            page.forms[form].fields.push_back(f);
            if (tag.name == L"select") {
                selectField = static_cast<int>(page.forms[form].fields.size()) - 1;
                selectHasOption = false;
                selectExplicit = false;
            }
        } else if (tag.name == L"option" && form >= 0 && selectField >= 0) {
            HtmlField& sel = page.forms[form].fields[selectField];
            std::wstring value;
            if (tag.Has(L"value")) {
                value = tag.Get(L"value");
            } else {
                const size_t end = html.find(L'<', i);
                std::wstring text;
                AppendText(text, html.substr(i, (end == std::wstring::npos ? html.size() : end) - i));
                while (!text.empty() && text.back() == L' ') text.pop_back();
                if (!text.empty() && text.front() == L' ') text.erase(0, 1);
                value = text;
            }
            // The first option is the choice until an option says it is selected.
            if (tag.Has(L"selected")) {
                sel.value = value;
                selectExplicit = true;
            } else if (!selectHasOption && !selectExplicit) {
                sel.value = value;
            }
            selectHasOption = true;
        } else if (tag.name == L"frame" || tag.name == L"iframe") {
            page.frames.push_back({tag.name, tag.Get(L"name"), tag.Get(L"src")});
        } else if (tag.name == L"meta" && page.metaCharset.empty()) {
            if (tag.Has(L"charset")) {
                page.metaCharset = Lower(tag.Get(L"charset"));
            } else if (Lower(tag.Get(L"http-equiv")) == L"content-type") {
                page.metaCharset = CharsetOfContentType(tag.Get(L"content"));
            }
        } else if (tag.name == L"br" || tag.name == L"p" || tag.name == L"div" || tag.name == L"tr") {
            if (!page.text.empty() && page.text.back() != L' ') page.text.push_back(L' ');
        }
    }
    flushText(html.size());
    while (!page.text.empty() && page.text.back() == L' ') page.text.pop_back();
    if (!page.text.empty() && page.text.front() == L' ') page.text.erase(0, 1);
    return page;
}

}  // namespace tthost
