#include "erp_document.h"

#include <string>

#include "kvad_nso/errors.h"
#include "kvad_nso/recordset.h"

namespace kvad::host {

Connection& StandInDocumentSettings::Db() const {
    if (!connection_) {
        ThrowObjectNotSet();
    }
    return *connection_;
}

StandInDocumentObject::StandInDocumentObject()
    : settings_(std::make_shared<StandInDocumentSettings>()) {}

void StandInDocumentObject::SetSettings(std::shared_ptr<DocumentSettings> settings) {
    auto own = std::dynamic_pointer_cast<StandInDocumentSettings>(settings);
    if (settings && !own) {
        ThrowTypeMismatch();
    }
    settings_ = std::move(own);
}

StandInDocumentSettings& StandInDocumentObject::Current() const {
    if (!settings_) {
        ThrowObjectNotSet();
    }
    return *settings_;
}

Variant StandInDocumentObject::CloseLines(const Variant& registration, const Variant& fromLine,
                                          const Variant& toLine) {
    const StandInDocumentSettings& settings = Current();
    const long changed = settings.Db().Execute(
        "UPDATE DO31_DOCCORPOORD SET DO31_FLGNONPIUEV = 1 WHERE DO31_DITTA_CG18 = " +
        std::to_string(settings.Company()) + " AND DO31_NUMREG_CO99 = " +
        std::to_string(registration.ToLong()) + " AND DO31_PROGRIGA BETWEEN " +
        std::to_string(fromLine.ToLong()) + " AND " + std::to_string(toLine.ToLong()));
    return static_cast<std::int32_t>(changed);
}

Variant StandInDocumentObject::RefreshState(const Variant& registration) {
    const StandInDocumentSettings& settings = Current();
    const std::string company = std::to_string(settings.Company());
    const std::string number = std::to_string(registration.ToLong());
    auto open = settings.Db().Query(
        "SELECT TOP 1 1 FROM DO31_DOCCORPOORD WHERE DO31_DITTA_CG18 = " + company +
        " AND DO31_NUMREG_CO99 = " + number + " AND DO31_FLGNONPIUEV = 0");
    const std::int16_t closed = open->Eof() ? 1 : 0;
    settings.Db().Execute(
        "UPDATE DO11_DOCTESTATA SET DO11_FLGNONPIUEV = " + std::to_string(closed) +
        " WHERE DO11_DITTA_CG18 = " + company + " AND DO11_NUMREG_CO99 = " + number);
    return closed;
}

} // namespace kvad::host
