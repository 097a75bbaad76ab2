#pragma once
// libxml2 as the XML layer uses it: owning handles for its objects, its text type, the
// process-wide set-up that keeps it from loading anything from outside, and a guard that keeps
// its generic error channel quiet. The other files of the layer use libxml2 through these.

#include <libxml/parser.h>
#include <libxml/tree.h>
#include <libxml/xpath.h>

#include <memory>
#include <string>

namespace kvad::xml {

/// Frees a libxml2 object with the library's function for it.
template <auto Free> struct Freer {
    template <class T> void operator()(T* object) const noexcept { Free(object); }
};
/// xmlFree is a variable (the allocator the library was set up with), not a function.
struct XmlCharDeleter {
    void operator()(xmlChar* text) const noexcept { xmlFree(text); }
};

using DocPtr = std::unique_ptr<xmlDoc, Freer<xmlFreeDoc>>;
using XPathContextPtr = std::unique_ptr<xmlXPathContext, Freer<xmlXPathFreeContext>>;
using CompExprPtr = std::unique_ptr<xmlXPathCompExpr, Freer<xmlXPathFreeCompExpr>>;
using XPathObjectPtr = std::unique_ptr<xmlXPathObject, Freer<xmlXPathFreeObject>>;
using ParserCtxtPtr = std::unique_ptr<xmlParserCtxt, Freer<xmlFreeParserCtxt>>;
using XmlCharPtr = std::unique_ptr<xmlChar, XmlCharDeleter>;

/// libxml2's text as char.
[[nodiscard]] inline const char* Chars(const xmlChar* text) noexcept {
    return reinterpret_cast<const char*>(text);
}
/// char text as libxml2's.
[[nodiscard]] inline const xmlChar* XmlChars(const char* text) noexcept {
    return reinterpret_cast<const xmlChar*>(text);
}

/// The text of a string libxml2 allocated, which is freed; "" for null.
[[nodiscard]] std::string TakeString(xmlChar* owned);

/// "prefix:name" as written, or the name alone without a prefix.
[[nodiscard]] std::string QualifiedNameOf(const xmlChar* prefix, const xmlChar* name);

/// Sets the library up once per process: external resources are never loaded, whatever a
/// document asks for.
void InitialiseLibrary();

/// Silences libxml2's generic error channel (stderr) on this thread while it lives; some
/// messages (XPath evaluation, memory) bypass the structured handlers.
class GenericErrorSilencer {
  public:
    GenericErrorSilencer() noexcept;
    ~GenericErrorSilencer();
    GenericErrorSilencer(const GenericErrorSilencer&) = delete;
    GenericErrorSilencer& operator=(const GenericErrorSilencer&) = delete;
    GenericErrorSilencer(GenericErrorSilencer&&) = delete;
    GenericErrorSilencer& operator=(GenericErrorSilencer&&) = delete;

  private:
    xmlGenericErrorFunc func_;
    void* context_;
};

} // namespace kvad::xml
