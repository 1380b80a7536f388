#pragma once

#include "platform/error.h"

#include <filesystem>
#include <memory>
#include <optional>
#include <string>
#include <string_view>

namespace vestrel {

// A file that is not well-formed XML. what() is the text the user sees: the
// parser's reason, a line break, "Line: " and the line number (", column "
// and the column where the parser knows it), a line break, and at most 40
// characters of the source at the error. The source is quoted only from a
// file that lies in the folder it was read from: a project file that is a
// link to /etc/shadow or /proc/self/environ is named, never shown.
class XmlParseError : public Error {
public:
    XmlParseError(std::string reason, int line, std::string source, int column = 0);

    const std::string& Reason() const { return reason_; }
    int Line() const { return line_; }
    int Column() const { return column_; }  // 1-based; 0 when not known
    const std::string& Source() const { return source_; }

private:
    std::string reason_;
    int line_;
    int column_;
    std::string source_;
};

// The largest project file that is read: 1 MiB. The largest mapping table the
// banks can hold (3721 rows) takes about 200 KB, a full frame table far less.
inline constexpr std::size_t kMaxProjectFileBytes = 1 << 20;

// The document layer through which every project file is read and written.
// One document at a time; element handles stay valid until the document is
// cleared or loaded again. Written files hold the document element and its
// content only: no declaration, no whitespace between elements, UTF-8.
class ProjectXml {
public:
    // A handle on one element of the document; false when nothing was found.
    class Element {
    public:
        Element() = default;
        explicit operator bool() const { return node_ != nullptr; }
        friend bool operator==(const Element&, const Element&) = default;

    private:
        friend class ProjectXml;
        explicit Element(void* node) : node_(node) {}
        void* node_ = nullptr;
    };

    ProjectXml();
    ~ProjectXml();
    ProjectXml(const ProjectXml&) = delete;
    ProjectXml& operator=(const ProjectXml&) = delete;
    ProjectXml(ProjectXml&&) noexcept;
    ProjectXml& operator=(ProjectXml&&) noexcept;

    // Building and saving.
    void Clear();
    Element AddDocumentElement(std::string_view name);
    Element AppendChild(Element parent, std::string_view name);
    void SetText(Element element, std::string_view text);
    // Replaces an attribute of that name; new attributes go after the others.
    void SetAttribute(Element element, std::string_view name, std::string_view value);
    // Replaces the file atomically; throws Error with the platform's reason,
    // or when the document cannot be serialized (nothing is written then).
    void SaveToFile(const std::filesystem::path& path) const;
    // The document as a saved file holds it.
    std::string Serialize() const;

    // Loading and reading.
    // Throws XmlParseError for a file that is not well-formed, Error when the
    // file cannot be read, is not a regular file, is larger than
    // kMaxProjectFileBytes or has an element with more attributes than any
    // project file. Whitespace-only text between elements is dropped.
    // A file with a larger limit of its own passes it as `maxBytes`.
    void LoadFromFile(const std::filesystem::path& path, std::size_t maxBytes = kMaxProjectFileBytes);
    Element FindTopLevelElement(std::string_view name) const;
    Element DocumentElement() const;
    // Children are the child elements; comments and processing instructions
    // inside an element are skipped, so they never count as table rows.
    int ChildCount(Element element) const;
    Element Child(Element element, int index) const;
    Element FindChild(Element element, std::string_view name) const;
    std::string Text(Element element) const;
    std::string Name(Element element) const;
    // Absent and present-but-empty stay distinct: nullopt versus "".
    std::optional<std::string> Attribute(Element element, std::string_view name) const;

private:
    struct Impl;
    std::unique_ptr<Impl> impl_;
};

}  // namespace vestrel
