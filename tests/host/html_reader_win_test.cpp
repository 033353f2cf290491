// The page reader finds what the toolbar looks at in pages as servers really write them.
#include <gtest/gtest.h>

#include "host/html_reader_win.h"

namespace tthost {
namespace {

TEST(HtmlReader, ReadsTheTitleWithCharacterReferencesAndKeepsItsBlanks) {
    HtmlPage page =
        ReadHtml(L"<HTML><HEAD><TITLE>A &amp; B &#x3042;&#12354; &lt;x&gt; </TITLE></HEAD></HTML>");
    EXPECT_TRUE(page.hasTitle);
    EXPECT_EQ(L"A & B \x3042\x3042 <x> ", page.title) << "a trailing blank is part of the title";
    page = ReadHtml(L"<body>no title</body>");
    EXPECT_FALSE(page.hasTitle);
    EXPECT_EQ(L"", page.title);
    EXPECT_EQ(L"no title", page.text);
    // Only the first title counts; markup in comments and scripts is not read.
    page = ReadHtml(
        L"<!-- <title>no</title> --><script>var s='<title>no</title>';</script>"
        L"<title>yes</title><title>again</title>");
    EXPECT_EQ(L"yes", page.title);
    EXPECT_EQ(L"A &bogus; &#; b", DecodeCharacterReferences(L"A &bogus; &#; b"));
}

TEST(HtmlReader, ReadsFormsWithTheirFieldsInOrder) {
    const HtmlPage page = ReadHtml(
        L"<form name=\"LoginForm\" action='ag.cgi?x=1' METHOD=POST>"
        L"<input type=hidden name=_System value=login>"
        L"<input name=\"_Account\">"
        L"<INPUT TYPE=\"Password\" NAME=\"Password\" VALUE=\"a&quot;b\" disabled>"
        L"<input type=checkbox name=keep checked><input type=radio name=r value=1>"
        L"<select name=s><option value=a>A<option value=b selected>B<option value=c>C</select>"
        L"<select name=t><option>first one</option><option>second</option></select>"
        L"<textarea name=memo>line &lt;1&gt;</textarea>"
        L"<button name=go>Go</button>"
        L"</form>"
        L"<input name=outside>"
        L"<form id=second></form>");
    ASSERT_EQ(2u, page.forms.size());
    const HtmlForm& f = page.forms[0];
    EXPECT_EQ(L"LoginForm", f.name);
    EXPECT_EQ(L"ag.cgi?x=1", f.action);
    EXPECT_EQ(L"post", f.method);
    ASSERT_EQ(9u, f.fields.size());
    EXPECT_EQ(L"_System", f.fields[0].name);
    EXPECT_EQ(L"hidden", f.fields[0].type);
    EXPECT_EQ(L"login", f.fields[0].value);
    EXPECT_EQ(L"text", f.fields[1].type) << "an input without a type is a text field";
    EXPECT_EQ(L"", f.fields[1].value);
    EXPECT_EQ(L"password", f.fields[2].type);
    EXPECT_EQ(L"a\"b", f.fields[2].value);
    EXPECT_TRUE(f.fields[2].disabled);
    EXPECT_TRUE(f.fields[3].checked);
    EXPECT_EQ(L"on", f.fields[3].value) << "a check box without a value sends on";
    EXPECT_FALSE(f.fields[4].checked);
    EXPECT_EQ(L"b", f.fields[5].value) << "the selected option";
    EXPECT_EQ(L"first one", f.fields[6].value) << "the first option, by its text";
    EXPECT_EQ(L"line <1>", f.fields[7].value);
    EXPECT_EQ(L"submit", f.fields[8].type);
    EXPECT_EQ(L"second", page.forms[1].id);
    EXPECT_EQ(L"get", page.forms[1].method);
    EXPECT_TRUE(page.forms[1].fields.empty()) << "fields outside a form belong to none";
}

TEST(HtmlReader, FindsFramesAndTheDeclaredCharacterSet) {
    HtmlPage page = ReadHtml(
        L"<meta http-equiv=\"Content-Type\" content=\"text/html; charset=Shift_JIS\">"
        L"<frameset><frame name=menu src=\"menu.html\"><frame src=/main></frameset><iframe src=x "
        L"name=ad></iframe>");
    EXPECT_EQ(L"shift_jis", page.metaCharset);
    ASSERT_EQ(3u, page.frames.size());
    EXPECT_EQ(L"menu", page.frames[0].name);
    EXPECT_EQ(L"menu.html", page.frames[0].src);
    EXPECT_EQ(L"/main", page.frames[1].src);
    EXPECT_EQ(L"iframe", page.frames[2].tag);
    EXPECT_EQ(L"utf-8", ReadHtml(L"<meta charset=UTF-8>").metaCharset);
    EXPECT_EQ(L"euc-jp", CharsetOfContentType(L"text/html;charset=\"EUC-JP\""));
    EXPECT_EQ(L"", CharsetOfContentType(L"text/html"));
}

TEST(HtmlReader, SurvivesBrokenMarkup) {
    for (const wchar_t* html :
         {L"<", L"<title>", L"<form name=", L"<input value=\"unterminated", L"a < b > c", L"<!-- open",
          L"<select name=s><option", L"</form></select>", L"<title>x</tit"}) {
        const HtmlPage page = ReadHtml(html);
        (void)page;
    }
    const HtmlPage page = ReadHtml(L"a < b and <b>bold</b>");
    EXPECT_EQ(L"a < b and bold", page.text);
    EXPECT_EQ(L"x</tit", ReadHtml(L"<title>x</tit").title) << "an unclosed title runs to the end";
}

}  // namespace
}  // namespace tthost
