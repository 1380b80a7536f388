#pragma once

// Reading one XML part of a workbook's archive with liborcus's
// namespace-aware SAX parser. A handler derives from orcus::sax_ns_handler,
// which ignores every event the handler does not define. Private to the
// workbook readers.

#include <orcus/sax_ns_parser.hpp>
#include <orcus/xml_namespace.hpp>

#include <string_view>

namespace vestrel {
namespace workbook_io {

template <typename Handler>
void ParseXmlPart(std::string_view text, Handler& handler) {
    orcus::xmlns_repository namespaces;
    orcus::xmlns_context context = namespaces.create_context();
    orcus::sax_ns_parser<Handler> parser(text.data(), text.size(), context, handler);
    parser.parse();
}

}  // namespace workbook_io
}  // namespace vestrel
