#pragma once

#include <cstdint>
#include <string>
#include <string_view>

namespace vestrel::signaldb {

// A cursor over the text of a database file that knows its line. Reads the
// tokens of the DBC format: words, numbers, quoted texts and punctuation.
// Token reads first skip blanks, and line breaks as well while `multiline`
// is on (inside statements that end with ';'). Every failure throws
// DatabaseError with the file, the line and the reason.
class TextScanner {
public:
    TextScanner(std::string_view text, const std::string& fileName) : text_(text), file_(&fileName) {}

    bool AtEnd() const { return at_ >= text_.size(); }
    int Line() const { return line_; }
    char Peek() const { return AtEnd() ? '\0' : text_[at_]; }
    void SetMultiline(bool on) { multiline_ = on; }

    void SkipBlanks();       // spaces and tabs, and line breaks when multiline
    void SkipWhitespace();   // blanks and line breaks
    bool AtLineEnd();        // after blanks: a line break or the end of the text
    void SkipRestOfLine();   // past the next line break

    // [A-Za-z0-9_]+; fails naming `what` when there is none.
    std::string_view Word(const char* what);
    bool NextIsWord();
    bool TryChar(char c);
    void Expect(char c, const char* where);
    // "..." with \" and \\ for a quote and a backslash; may span lines.
    std::string Quoted(const char* what);
    double Number(const char* what);
    std::uint64_t Unsigned(const char* what, std::uint64_t max);
    std::int64_t Integer(const char* what);

    // Past the ';' that ends the current statement, over quoted texts.
    void SkipStatement(int startLine);

    [[noreturn]] void Fail(const std::string& reason) const;
    [[noreturn]] void FailAt(int line, const std::string& reason) const;

private:
    void Advance();  // one character, counting lines
    std::string_view NumberToken();

    std::string_view text_;
    const std::string* file_;
    std::size_t at_ = 0;
    int line_ = 1;
    bool multiline_ = false;
};

}  // namespace vestrel::signaldb
