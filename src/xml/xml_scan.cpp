#include "xml/xml_scan.h"

#include "hardened_parser.h"
#include "raw_text.h"

namespace kvad::xml {

bool ScanDocument(std::string_view text, ScanHandler& handler, ParseFailure& failure,
                  const Limits& limits) {
    failure = {};
    if (!CheckRawText(text, limits, failure)) {
        return false;
    }
    InitialiseLibrary();
    return ScanHardened(text, limits, handler, failure);
}

} // namespace kvad::xml
