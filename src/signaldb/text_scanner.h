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
//
// `isKeyword` names the words that begin a statement: a statement that ends
// with ';' never runs on into a line that begins with one, so that a missing
// ';' is named on the line of the statement's last token.
class TextScanner {
public:
    using KeywordTest = bool (*)(std::string_view word);

    TextScanner(std::string_view text, const std::string& fileName, KeywordTest isKeyword)
        : text_(text), file_(&fileName), isKeyword_(isKeyword) {}

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

    // The ';' that ends statement `keyword`. A keyword at the start of a
    // later line, or the end of the file, fails as "the KEYWORD statement
    // does not end with ';'" on the line of the last token read.
    void EndStatement(const char* keyword);
    // For the lists inside such a statement: false past its ';', true while
    // more of it follows; fails as EndStatement does.
    bool MoreInStatement(const char* keyword);
    // Past the ';' that ends statement `keyword`, over quoted texts; fails
    // as EndStatement does where the ';' is missing.
    void SkipStatement(const char* keyword);
    // After a statement that could not be read: on to its ';', or to the
    // start of a line that begins a statement, whichever comes first.
    void SkipToStatementEnd();
    // A quoted text ran to the end of the file: nothing after it can be
    // told apart from the text.
    bool UnclosedQuote() const { return unclosedQuote_; }
    // Whether the text from here, after blanks and line breaks, is a word
    // that begins a statement at the start of its line.
    bool AtStatementStart();

    [[noreturn]] void Fail(const std::string& reason) const;
    [[noreturn]] void FailAt(int line, const std::string& reason) const;

private:
    void Advance();  // one character, counting lines
    void Took() { lastTokenLine_ = line_; }  // a token ends here
    std::string_view NumberToken();
    bool KeywordAt(std::size_t at) const;
    [[noreturn]] void MissingEnd(const char* keyword) const;

    std::string_view text_;
    const std::string* file_;
    KeywordTest isKeyword_;
    std::size_t at_ = 0;
    int line_ = 1;
    int lastTokenLine_ = 1;
    bool multiline_ = false;
    bool unclosedQuote_ = false;
};

}  // namespace vestrel::signaldb
