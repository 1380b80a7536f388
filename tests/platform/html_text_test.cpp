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

// What would show the text in another order or on two lines is escaped in
// every form a person reads, and kept as it is in a data file's cell.
TEST(HtmlText, FormatCharactersAndSeparatorsAreEscapedWhereAPersonReads) {
    const struct {
        const char* text;
        const char* shown;
    } cases[] = {
        {"rpm\xE2\x80\xAE" "mr", "rpm\\u202Emr"},        // RIGHT-TO-LEFT OVERRIDE
        {"a\xE2\x80\xA8" "b", "a\\u2028b"},               // LINE SEPARATOR
        {"a\xE2\x80\xA9" "b", "a\\u2029b"},               // PARAGRAPH SEPARATOR
        {"\xE2\x81\xA6x\xE2\x81\xA9", "\\u2066x\\u2069"},   // isolates
        {"a\xE2\x80\x8B" "b", "a\\u200Bb"},               // ZERO WIDTH SPACE
        {"\xEF\xBB\xBFName", "\\uFEFFName"},               // a BOM inside text
        {"\xF3\xA0\x80\x81tag", "\\U000E0001tag"},        // LANGUAGE TAG
        {"\xC2\xB0" "C \xC3\xBC \xE2\x82\xAC", "\xC2\xB0" "C \xC3\xBC \xE2\x82\xAC"},  // stays
    };
    for (const auto& c : cases) {
        EXPECT_EQ(PrintableText(c.text, LineBreaks::OneLine), c.shown) << c.text;
        EXPECT_EQ(PrintableText(c.text, LineBreaks::Keep), c.shown) << c.text;
        EXPECT_EQ(EscapeHtml(c.text), c.shown) << c.text;
        EXPECT_EQ(EscapeMarkdown(c.text), EscapeMarkdown(c.shown)) << c.text;
        EXPECT_EQ(CsvCell(c.text, ','), c.text) << "a data file keeps " << c.text;
    }
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
