#pragma once
// A small, forgiving reader of the parts of an HTML page that the toolbar looks at: the title,
// the forms with their fields, and the frames. Not an HTML engine: tags are read as they come,
// unknown ones are skipped, and nothing is ever rejected.
#include <string>
#include <vector>

namespace tthost {

struct HtmlField {
    std::wstring tag;   // "input", "select", "textarea" or "button" (lower case)
    std::wstring type;  // the type attribute in lower case ("text" when absent on an input)
    std::wstring name;
    std::wstring id;
    std::wstring value;
    bool checked = false;
    bool disabled = false;
};

struct HtmlForm {
    std::wstring name;
    std::wstring id;
    std::wstring action;  // as written (possibly relative or empty)
    std::wstring method;  // lower case; "get" when absent
    std::vector<HtmlField> fields;
};

struct HtmlFrame {
    std::wstring tag;  // "frame" or "iframe"
    std::wstring name;
    std::wstring src;  // as written
};

struct HtmlPage {
    bool hasTitle = false;
    std::wstring title;  // text between <title> and </title>, character references decoded
    std::vector<HtmlForm> forms;
    std::vector<HtmlFrame> frames;
    std::wstring text;         // the visible text, whitespace runs collapsed
    std::wstring metaCharset;  // from <meta charset> or <meta http-equiv=Content-Type>
};

HtmlPage ReadHtml(const std::wstring& html);

// &amp; &lt; &gt; &quot; &apos; &nbsp; and numeric references; unknown ones stay as written.
std::wstring DecodeCharacterReferences(const std::wstring& text);

// The charset parameter of a Content-Type value ("text/html; charset=UTF-8" gives "utf-8").
std::wstring CharsetOfContentType(const std::wstring& contentType);

}  // namespace tthost
