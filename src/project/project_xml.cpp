#include "project/project_xml.h"

#include "platform/file_util.h"

#include <libxml/parser.h>
#include <libxml/tree.h>
#include <libxml/xmlsave.h>

#include <cerrno>
#include <climits>
#include <memory>
#include <cstring>
#include <mutex>
#include <vector>

namespace vestrel {

// Every libxml2 object is owned by one of these, so that no path out of a
// function, an exception included, leaks one. Named, not anonymous: the
// document's owner is a member of ProjectXml::Impl.
namespace libxml_owners {
struct DocFree {
    void operator()(xmlDocPtr doc) const { xmlFreeDoc(doc); }
};
struct ParserFree {
    void operator()(xmlParserCtxtPtr ctxt) const { xmlFreeParserCtxt(ctxt); }
};
struct BufferFree {
    void operator()(xmlBufferPtr buffer) const { xmlBufferFree(buffer); }
};
using DocPtr = std::unique_ptr<xmlDoc, DocFree>;
using ParserPtr = std::unique_ptr<xmlParserCtxt, ParserFree>;
using BufferPtr = std::unique_ptr<xmlBuffer, BufferFree>;
}  // namespace libxml_owners
using namespace libxml_owners;

namespace {

constexpr std::size_t kMaxSourceChars = 40;

const xmlChar* X(const std::string& s) { return reinterpret_cast<const xmlChar*>(s.c_str()); }
xmlNodePtr Node(void* p) { return static_cast<xmlNodePtr>(p); }

bool NameIs(const xmlNode* node, std::string_view name) {
    const char* n = reinterpret_cast<const char*>(node->name);
    return n && std::string_view(n) == name;
}

std::string TakeXmlString(xmlChar* s) {
    if (!s) return {};
    std::string result(reinterpret_cast<const char*>(s));
    xmlFree(s);
    return result;
}

// Text that a well-formed XML 1.0 file can carry: valid UTF-8 without the
// C0 control characters other than tab, line feed and carriage return.
void RequireStorableText(std::string_view text) {
    for (unsigned char c : text) {
        if (c < 0x20 && c != '\t' && c != '\n' && c != '\r')
            throw Error("The text '" + std::string(text) + "' holds a control character that an XML file cannot store");
    }
    std::string copy(text);
    if (!xmlCheckUTF8(reinterpret_cast<const unsigned char*>(copy.c_str())))
        throw Error("The text '" + std::string(text) + "' is not valid UTF-8 and cannot be stored in an XML file");
}

// Up to 40 characters of the line `line` (1-based) of `data`, ending at the
// column of the error when the line is longer than that.
std::string SourceAt(std::string_view data, int line, int column) {
    std::size_t start = 0;
    for (int current = 1; current < line; ++current) {
        std::size_t next = data.find_first_of("\r\n", start);
        if (next == std::string_view::npos) return {};
        if (data[next] == '\r' && next + 1 < data.size() && data[next + 1] == '\n') ++next;
        start = next + 1;
    }
    std::size_t end = data.find_first_of("\r\n", start);
    std::string_view text = data.substr(start, end == std::string_view::npos ? std::string_view::npos : end - start);
    if (text.size() <= kMaxSourceChars) return std::string(text);
    std::size_t stop = column > 0 ? std::min<std::size_t>(text.size(), static_cast<std::size_t>(column)) : 0;
    std::size_t from = stop > kMaxSourceChars ? stop - kMaxSourceChars : 0;
    return std::string(text.substr(from, kMaxSourceChars));
}

// libxml2 compares each attribute of an element with every other one, so an
// element with tens of thousands of attributes takes minutes to parse. No
// project file has more than fifteen on an element (a signal of signals.xml);
// this scan finds the first start tag with more than `limit`, without
// parsing, by counting the "=" outside quoted values. Returns its line, or 0.
int LineOfCrowdedElement(std::string_view data, int limit) {
    int line = 1, tagLine = 0, count = 0;
    char quote = 0;
    enum { Text, Tag, Markup } state = Text;  // Markup: <!...> and <?...?>, not counted
    for (std::size_t i = 0; i < data.size(); ++i) {
        const char c = data[i];
        if (c == '\n') ++line;
        switch (state) {
        case Text:
            if (c == '<') {
                const char next = i + 1 < data.size() ? data[i + 1] : '\0';
                state = next == '!' || next == '?' ? Markup : Tag;
                tagLine = line;
                count = 0;
            }
            break;
        case Tag:
            if (quote) {
                if (c == quote) quote = 0;
            } else if (c == '"' || c == '\'') {
                quote = c;
            } else if (c == '=') {
                if (++count > limit) return tagLine;
            } else if (c == '>') {
                state = Text;
            }
            break;
        case Markup:
            if (c == '>') state = Text;
            break;
        }
    }
    return 0;
}

constexpr int kMaxAttributesPerElement = 64;

// Whether the text of `path` may be quoted in a message: a regular file in the
// folder it is named in, not one a link leads to from elsewhere (a project
// file that is a link to /etc/shadow or /proc/self/environ).
bool MayQuote(const std::filesystem::path& path) {
    std::error_code ec;
    const std::filesystem::path real = std::filesystem::canonical(path, ec);
    if (ec || !std::filesystem::is_regular_file(real, ec)) return false;
    const std::filesystem::path folder = path.parent_path().empty() ? std::filesystem::path(".") : path.parent_path();
    return std::filesystem::equivalent(real.parent_path(), folder, ec);
}

void InitLibxml() {
    static std::once_flag once;
    std::call_once(once, [] { xmlInitParser(); });
}

}  // namespace

XmlParseError::XmlParseError(std::string reason, int line, std::string source, int column)
    : Error(reason + "\nLine: " + std::to_string(line) + (column > 0 ? ", column " + std::to_string(column) : "") +
            "\n" + source),
      reason_(std::move(reason)),
      line_(line),
      column_(column),
      source_(std::move(source)) {}

struct ProjectXml::Impl {
    DocPtr doc;
    // The element children of the element asked about last, so that walking
    // a table row by row costs one pass over the list.
    mutable xmlNodePtr cachedParent = nullptr;
    mutable std::vector<xmlNodePtr> cachedChildren;

    void Reset() {
        Invalidate();
        doc.reset();
    }
    void Invalidate() {
        cachedParent = nullptr;
        cachedChildren.clear();
    }
    const std::vector<xmlNodePtr>& ChildrenOf(xmlNodePtr parent) const {
        if (parent != cachedParent) {
            cachedChildren.clear();
            for (xmlNodePtr n = parent->children; n; n = n->next)
                if (n->type == XML_ELEMENT_NODE) cachedChildren.push_back(n);
            cachedParent = parent;
        }
        return cachedChildren;
    }
};

ProjectXml::ProjectXml() : impl_(std::make_unique<Impl>()) { InitLibxml(); }
ProjectXml::~ProjectXml() = default;
ProjectXml::ProjectXml(ProjectXml&&) noexcept = default;
ProjectXml& ProjectXml::operator=(ProjectXml&&) noexcept = default;

void ProjectXml::Clear() { impl_->Reset(); }

ProjectXml::Element ProjectXml::AddDocumentElement(std::string_view name) {
    impl_->Reset();
    impl_->doc.reset(xmlNewDoc(BAD_CAST "1.0"));
    xmlNodePtr root = xmlNewDocNode(impl_->doc.get(), nullptr, X(std::string(name)), nullptr);
    xmlDocSetRootElement(impl_->doc.get(), root);
    return Element(root);
}

ProjectXml::Element ProjectXml::AppendChild(Element parent, std::string_view name) {
    impl_->Invalidate();
    xmlNodePtr child = xmlNewDocNode(impl_->doc.get(), nullptr, X(std::string(name)), nullptr);
    xmlAddChild(Node(parent.node_), child);
    return Element(child);
}

void ProjectXml::SetText(Element element, std::string_view text) {
    RequireStorableText(text);
    xmlNodePtr node = Node(element.node_);
    impl_->Invalidate();
    xmlNodeSetContent(node, nullptr);
    if (!text.empty())
        xmlAddChild(node, xmlNewDocTextLen(impl_->doc.get(), reinterpret_cast<const xmlChar*>(text.data()),
                                           static_cast<int>(text.size())));
}

void ProjectXml::SetAttribute(Element element, std::string_view name, std::string_view value) {
    RequireStorableText(value);
    // xmlSetProp stores the value as literal text and keeps an existing
    // attribute in its place.
    xmlSetProp(Node(element.node_), X(std::string(name)), X(std::string(value)));
}

std::string ProjectXml::Serialize() const {
    if (!impl_->doc) throw Error("There is no document to save");
    BufferPtr buffer(xmlBufferCreate());
    xmlSaveCtxtPtr save = buffer ? xmlSaveToBuffer(buffer.get(), "UTF-8", XML_SAVE_NO_DECL) : nullptr;
    if (!save) throw Error("The document cannot be serialized: out of memory");
    const long written = xmlSaveDoc(save, impl_->doc.get());
    // xmlSaveClose flushes; its result is the last error of the context.
    const int closed = xmlSaveClose(save);
    if (written < 0 || closed < 0) throw Error("The document cannot be serialized");
    std::string text(reinterpret_cast<const char*>(xmlBufferContent(buffer.get())),
                     static_cast<std::size_t>(xmlBufferLength(buffer.get())));
    // The serializer ends the document with a line break; the file holds the
    // document element alone.
    while (!text.empty() && (text.back() == '\n' || text.back() == '\r')) text.pop_back();
    return text;
}

void ProjectXml::SaveToFile(const std::filesystem::path& path) const {
    if (!impl_->doc) throw Error(CannotWriteMessage(path, EINVAL));
    WriteFileAtomic(path, Serialize());
}

void ProjectXml::LoadFromFile(const std::filesystem::path& path, std::size_t maxBytes) {
    impl_->Reset();
    // Refused before parsing: what is not a regular file, and what is larger
    // than any project needs, so that neither memory nor time can run away.
    std::string data = ReadRegularFile(path, maxBytes);
    if (data.empty()) throw XmlParseError("Document is empty", 1, "");
    if (int line = LineOfCrowdedElement(data, kMaxAttributesPerElement))
        throw Error("The file \"" + path.string() + "\" has an element with more than " +
                    std::to_string(kMaxAttributesPerElement) + " attributes in line " + std::to_string(line) +
                    "; no project file needs that many");

    ParserPtr ctxt(xmlNewParserCtxt());
    if (!ctxt) throw Error("Out of memory while reading \"" + path.string() + "\"");
    DocPtr doc(xmlCtxtReadMemory(ctxt.get(), data.data(), static_cast<int>(data.size()), nullptr, nullptr,
                                 XML_PARSE_NOBLANKS | XML_PARSE_NONET | XML_PARSE_NOERROR | XML_PARSE_NOWARNING));
    if (!doc || !xmlDocGetRootElement(doc.get())) {
        std::string reason = "Document is not well-formed";
        int line = 1;
        int column = 0;
        if (const xmlError* err = xmlCtxtGetLastError(ctxt.get()); err && err->message) {
            reason = err->message;
            while (!reason.empty() && (reason.back() == '\n' || reason.back() == ' ')) reason.pop_back();
            if (err->line > 0) line = err->line;
            column = err->int2;
        }
        const std::string source = MayQuote(path) ? SourceAt(data, line, column)
                                                  : "(the text is not shown: the file lies outside its folder)";
        throw XmlParseError(reason, line, source, column);
    }
    impl_->doc = std::move(doc);
}

ProjectXml::Element ProjectXml::FindTopLevelElement(std::string_view name) const {
    if (!impl_->doc) return {};
    for (xmlNodePtr n = impl_->doc.get()->children; n; n = n->next)
        if (n->type == XML_ELEMENT_NODE && NameIs(n, name)) return Element(n);
    return {};
}

ProjectXml::Element ProjectXml::DocumentElement() const {
    return impl_->doc ? Element(xmlDocGetRootElement(impl_->doc.get())) : Element();
}

int ProjectXml::ChildCount(Element element) const {
    if (!element) return 0;
    return static_cast<int>(impl_->ChildrenOf(Node(element.node_)).size());
}

ProjectXml::Element ProjectXml::Child(Element element, int index) const {
    if (!element || index < 0) return {};
    const auto& children = impl_->ChildrenOf(Node(element.node_));
    return static_cast<std::size_t>(index) < children.size() ? Element(children[static_cast<std::size_t>(index)])
                                                             : Element();
}

ProjectXml::Element ProjectXml::FindChild(Element element, std::string_view name) const {
    if (!element) return {};
    for (xmlNodePtr n = Node(element.node_)->children; n; n = n->next)
        if (n->type == XML_ELEMENT_NODE && NameIs(n, name)) return Element(n);
    return {};
}

std::string ProjectXml::Text(Element element) const {
    if (!element) return {};
    return TakeXmlString(xmlNodeGetContent(Node(element.node_)));
}

std::string ProjectXml::Name(Element element) const {
    if (!element) return {};
    const char* name = reinterpret_cast<const char*>(Node(element.node_)->name);
    return name ? name : "";
}

std::optional<std::string> ProjectXml::Attribute(Element element, std::string_view name) const {
    if (!element) return std::nullopt;
    xmlAttrPtr attr = xmlHasProp(Node(element.node_), X(std::string(name)));
    if (!attr) return std::nullopt;
    return TakeXmlString(xmlNodeGetContent(reinterpret_cast<xmlNodePtr>(attr)));
}

}  // namespace vestrel
