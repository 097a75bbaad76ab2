#include "libxml_handles.h"

#include <libxml/globals.h>
#include <libxml/xmlerror.h>

#include <mutex>

namespace kvad::xml {

namespace {

xmlParserInputPtr RefuseExternalEntity(const char* /*url*/, const char* /*id*/,
                                       xmlParserCtxtPtr /*ctxt*/) {
    return nullptr;
}

void IgnoreGenericError(void* /*ctx*/, const char* /*msg*/, ...) {}

} // namespace

std::string TakeString(xmlChar* owned) {
    const XmlCharPtr holder(owned);
    return holder ? std::string(Chars(holder.get())) : std::string();
}

std::string QualifiedNameOf(const xmlChar* prefix, const xmlChar* name) {
    std::string result;
    if (prefix != nullptr) {
        result = Chars(prefix);
        result += ':';
    }
    result += name != nullptr ? Chars(name) : "";
    return result;
}

void InitialiseLibrary() {
    static std::once_flag once;
    std::call_once(once, [] {
        xmlInitParser();
        xmlSetExternalEntityLoader(RefuseExternalEntity);
    });
}

GenericErrorSilencer::GenericErrorSilencer() noexcept
    : func_(xmlGenericError), context_(xmlGenericErrorContext) {
    xmlSetGenericErrorFunc(nullptr, IgnoreGenericError);
}

GenericErrorSilencer::~GenericErrorSilencer() {
    xmlSetGenericErrorFunc(context_, func_);
}

} // namespace kvad::xml
