#pragma once
// An order as the document a clerk prints: an A4 PDF with the parties, the delivery, the
// references and notes, the table of lines (its header repeated on every page), the header
// allowances and charges, the VAT summary and the totals, in Italian, with page numbers.

#include <cstdint>
#include <string_view>
#include <vector>

#include "order_document.h"

namespace kvad::platform {

/// The PDF of an order read by ReadOrderDocument.
[[nodiscard]] std::vector<std::uint8_t> RenderOrderPdf(const OrderDocument& order);

/// The PDF of a UBL Order. Throws OrderRenderError (or std::runtime_error when the font or the
/// PDF writer fails) with the reason in words.
[[nodiscard]] std::vector<std::uint8_t> RenderOrderPdf(std::string_view xml);

} // namespace kvad::platform
