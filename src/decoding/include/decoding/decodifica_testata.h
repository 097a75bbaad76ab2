#pragma once
// Header decoding: the one decoded header row of an order (IE93_NSOTESTATA), with the customer,
// the currency and the delivery destination looked up in the ERP's tables.

#include <cstdint>
#include <string>

#include "frame/nso_state.h"

namespace kvad::nso {

/// Writes the decoded header row of order fId from its register row and staged header.
void DecodificaTestata(NsoState& state, std::int32_t fId);

/// The customer of an order: by VAT number or fiscal code first, then by public-administration
/// office (warning 106 on fCampo when the office has more than one customer). Only customers
/// valid today are chosen. 0 when none.
[[nodiscard]] std::int32_t DecodificaClifor(NsoState& state, std::int32_t fId,
                                            const std::string& fCampo, std::int16_t fTipoCF,
                                            const std::string& fCodiceFiscale,
                                            const std::string& fUfficio);

/// The ERP currency code of an ISO currency code; "" when none.
[[nodiscard]] std::string DecodificaValuta(NsoState& state, const std::string& fSigla);

/// The customer's destination code: by NSO delivery location first, then by name; "" when none.
[[nodiscard]] std::string DecodificaDestinazione(NsoState& state, std::int16_t fTipoCF,
                                                 std::int32_t fCliente, const std::string& fLuogo,
                                                 const std::string& fNome);

/// The fiscal identifier searched for a buyer's CompanyID: the 11 characters after the country
/// prefix of a 13-character VAT form, a 16-character fiscal code as it is, "" otherwise.
[[nodiscard]] std::string BuyerFiscalId(const Variant& companyId);

} // namespace kvad::nso
