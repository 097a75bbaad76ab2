#pragma once
// XPath expressions as the DOM evaluates them: compiled once per thread and kept, the prefix
// bindings a host declares, the short texts of libxml2's XPath errors, and the plain paths of
// child steps that are found by walking the tree instead.

#include <libxml/xmlerror.h>
#include <libxml/xpath.h>

#include <cstdint>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

namespace kvad::xml {

/// The error number the DOM raises for an expression it cannot compile or evaluate (E_FAIL).
inline constexpr std::int32_t kXPathErrorNumber = -2147467259;

/// A relative path of prefixed child steps, "cac:LineItem/cac:Item/cbc:Name": what the staging
/// writer asks for most. Its nodes are found by walking the children, which gives them in
/// document order as XPath does, without libxml2's evaluation machinery.
struct ChildPath {
    struct Step {
        std::string prefix;
        std::string localName;
    };
    std::vector<Step> steps;
};

/// libxml2's structured error handler for XPath contexts: keeps the first error of an
/// evaluation, as a short text with its position, in the std::string `userData` points to.
void OnXPathError(void* userData, xmlErrorPtr error);

/// Parses " xmlns:p='uri' xmlns:q=\"uri\"" into prefix/URI pairs; malformed entries are
/// skipped.
[[nodiscard]] std::vector<std::pair<std::string, std::string>>
ParseDeclarations(std::string_view text);

/// This thread's compiled form of the expression, evaluated against any document, whose own
/// prefix bindings resolve its names. Throws VbError when it does not compile.
[[nodiscard]] xmlXPathCompExpr* CompiledExpression(std::string_view expression);

/// The expression as a path of child steps, or null when it is any other expression.
[[nodiscard]] const ChildPath* ChildPathOf(std::string_view expression);

} // namespace kvad::xml
