#include "host/stand_ins.h"

#include "date_object.h"
#include "document_import.h"
#include "erp_document.h"
#include "host/application_browser.h"
#include "number_formatter.h"
#include "rs_funct.h"
#include "text_file.h"

namespace kvad::host {
namespace {

constexpr const char* kDefaultViewer = "xdg-open";

} // namespace

std::shared_ptr<StandInHost> RegisterStandIns(const HostConfig& config) {
    auto resolved = std::make_shared<HostConfig>(config);
    if (resolved->cacheDir.empty()) {
        resolved->cacheDir = DefaultCacheDir();
    }
    if (resolved->viewer.empty()) {
        resolved->viewer = kDefaultViewer;
    }
    std::shared_ptr<const HostConfig> shared = resolved;

    RegisterClass(progid::kNumberFormatter,
                  [] { return std::make_shared<StandInNumberFormatter>(); });
    RegisterClass(progid::kDate, [] { return std::make_shared<StandInDate>(); });
    RegisterClass(progid::kTextFile,
                  [shared] { return std::make_shared<StandInTextFile>(shared); });
    RegisterClass(progid::kApplicationBrowser,
                  [shared] { return std::make_shared<StandInApplicationBrowser>(shared->viewer); });
    RegisterClass(progid::kRsFunct, [] { return std::make_shared<StandInRsFunct>(); });
    RegisterClass(progid::kDocumentImport,
                  [] { return std::make_shared<StandInDocumentImport>(); });
    RegisterClass(progid::kDocument, [] { return std::make_shared<StandInDocumentObject>(); });
    return std::make_shared<StandInHost>(*resolved);
}

void UnregisterStandIns() {
    for (const char* progId :
         {progid::kNumberFormatter, progid::kDate, progid::kTextFile, progid::kApplicationBrowser,
          progid::kRsFunct, progid::kDocumentImport, progid::kDocument}) {
        UnregisterClass(progId);
    }
}

} // namespace kvad::host
