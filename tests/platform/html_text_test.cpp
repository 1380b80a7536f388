#include "platform/csv_text.h"
#include "platform/html_text.h"

#include <gtest/gtest.h>

namespace vestrel {
namespace {

TEST(HtmlText, MarkupAndControlCharactersAreEscaped) {
    EXPECT_EQ(EscapeHtml("<script>alert('x') & \"y\"</script>"),
              "&lt;script&gt;alert(&#39;x&#39;) &amp; &quot;y&quot;&lt;/script&gt;");
    EXPECT_EQ(EscapeHtml("a\x1B" "b \xC3\xBC"), "a\\x1Bb \xC3\xBC");
}

TEST(CsvText, FormulasAreDisarmedAndReadBackAsTyped) {
    // text, cell with ',' as separator
    const std::pair<const char*, const char*> cases[] = {
        {"=HYPERLINK(\"http://x\",\"y\")", "\"'=HYPERLINK(\"\"http://x\"\",\"\"y\"\")\""},
        {"+1+cmd|' /C calc'!A0", "'+1+cmd|' /C calc'!A0"},
        {"-2+3", "'-2+3"},
        {"@SUM(A1)", "'@SUM(A1)"},
        {"\tx", "'\tx"},
        {"\rx", "\"'\rx\""},
        {"'=x", "''=x"},
        {"'abc", "'abc"},
        {"-5", "-5"},
        {"+1.25", "+1.25"},
        {"0x181", "0x181"},
        {"Drive status", "Drive status"},
        {"Set, go", "\"Set, go\""},
        {"", ""},
    };
    for (const auto& [text, cell] : cases) {
        EXPECT_EQ(CsvCell(text, ','), cell) << text;
        std::string unquoted = CsvCell(text, ';');
        if (unquoted.size() >= 2 && unquoted.front() == '"') {
            unquoted = unquoted.substr(1, unquoted.size() - 2);
            for (std::size_t at = 0; (at = unquoted.find("\"\"", at)) != std::string::npos; ++at) unquoted.erase(at, 1);
        }
        EXPECT_EQ(CsvCellText(unquoted), text) << "read back";
    }
}

TEST(HtmlText, MarkdownShowsWhatTheTextHoldsAndNothingElse) {
    const std::pair<const char*, const char*> cases[] = {
        {"[t](http://evil.example/x)", "\\[t\\](http\\://evil.example/x)"},
        {"![t](https://x/img.png)", "!\\[t\\](https\\://x/img.png)"},
        {"C:\\temp\\*x*", "C:\\\\temp\\\\\\*x\\*"},
        {"`code` _em_ ~~gone~~ a|b #1", "\\`code\\` \\_em\\_ \\~\\~gone\\~\\~ a\\|b \\#1"},
        {"see WWW.example.com or a@b.org", "see WWW\\.example.com or a\\@b.org"},
        {"<b>&</b>", "&lt;b&gt;&amp;&lt;/b&gt;"},
        {"Speed set-point: 1.5 (x) TO_ModReg", "Speed set-point: 1.5 (x) TO_ModReg"},
    };
    for (const auto& [text, markdown] : cases) EXPECT_EQ(EscapeMarkdown(text), markdown) << text;
}

}  // namespace
}  // namespace vestrel
