#include "order_summary.h"

#include "kvad_nso/date_time.h"
#include "ubl_elements.h"
#include "xml/xml_scan.h"

namespace kvad::platform {
namespace {

/// xs:date text (a time zone suffix is allowed) as "yyyy-mm-dd"; empty when it is not a date.
std::string IsoDate(const std::string& text) {
    const auto date = DateTime::ParseIso(text);
    if (!date || !date->IsValid()) {
        return {};
    }
    return date->ToIsoDate();
}

/// Picks the summary's texts out of a scan: the business element (the document element, or the
/// first element after the header of a standard business document envelope) and, when it is an
/// Order, the text of its first ID, its first IssueDate and the EndpointID reached through its
/// first BuyerCustomerParty and that one's first Party, each the first child of that name, as
/// the tree would be read. The rest of the text is only scanned for its verdict.
class SummaryScan final : public xml::ScanHandler {
  public:
    void StartElement(std::string_view localName) override {
        ++depth_;
        if (capture_ != nullptr) {
            return; // inside a field: its text is all the field needs
        }
        if (depth_ == 1) {
            envelope_ = localName == "StandardBusinessDocument";
            if (!envelope_) {
                MeetBusinessElement(localName);
            }
            return;
        }
        if (depth_ == 2 && envelope_ && !businessMet_ &&
            localName != "StandardBusinessDocumentHeader") {
            MeetBusinessElement(localName);
            return;
        }
        if (orderDepth_ == 0 || depth_ <= orderDepth_) {
            return;
        }
        const int level = depth_ - orderDepth_; // 1 for a child of the Order
        if (level == 1) {
            if (localName == "ID") {
                Capture(idMet_, summary_.number);
            } else if (localName == "IssueDate") {
                Capture(dateMet_, issueDate_);
            } else if (localName == "BuyerCustomerParty" && !buyerMet_) {
                buyerMet_ = true;
                inBuyer_ = true;
            }
        } else if (level == 2 && inBuyer_ && localName == "Party" && !partyMet_) {
            partyMet_ = true;
            inParty_ = true;
        } else if (level == 3 && inParty_ && localName == "EndpointID") {
            Capture(endpointMet_, summary_.endpointId);
        }
    }

    void EndElement() override {
        if (capture_ != nullptr && depth_ == captureDepth_) {
            capture_ = nullptr;
        } else if (orderDepth_ != 0 && capture_ == nullptr) {
            const int level = depth_ - orderDepth_;
            if (level == 1) {
                inBuyer_ = false;
            } else if (level == 2) {
                inParty_ = false;
            } else if (level == 0) {
                orderDepth_ = 0; // the Order is closed: nothing after it counts
            }
        }
        --depth_;
    }

    void Characters(std::string_view text) override {
        if (capture_ != nullptr) {
            capture_->append(text);
        }
    }

    /// The summary once the scan took the text; nullopt when the business element is no Order.
    [[nodiscard]] std::optional<OrderSummary> Take() {
        if (!isOrder_) {
            return std::nullopt;
        }
        summary_.number = xml::TrimXmlSpace(summary_.number);
        summary_.issueDate = IsoDate(xml::TrimXmlSpace(issueDate_));
        summary_.endpointId = xml::TrimXmlSpace(summary_.endpointId);
        return std::move(summary_);
    }

  private:
    void MeetBusinessElement(std::string_view localName) {
        businessMet_ = true;
        isOrder_ = localName == "Order";
        if (isOrder_) {
            orderDepth_ = depth_;
        }
    }

    /// Collects the text of the element just opened into `field`, when it is the first of its
    /// name.
    void Capture(bool& met, std::string& field) {
        if (met) {
            return;
        }
        met = true;
        capture_ = &field;
        captureDepth_ = depth_;
    }

    OrderSummary summary_;
    std::string issueDate_;
    std::string* capture_ = nullptr; // the field whose element is open, if any
    int captureDepth_ = 0;
    int depth_ = 0;
    int orderDepth_ = 0; // the Order's depth while it is open, else 0
    bool envelope_ = false;
    bool businessMet_ = false;
    bool isOrder_ = false;
    bool idMet_ = false;
    bool dateMet_ = false;
    bool buyerMet_ = false;
    bool inBuyer_ = false;
    bool partyMet_ = false;
    bool inParty_ = false;
    bool endpointMet_ = false;
};

} // namespace

std::optional<OrderSummary> ReadOrderSummary(std::string_view text) {
    text = WithoutUtf8Mark(text);
    SummaryScan scan;
    xml::ParseFailure failure;
    if (!xml::ScanDocument(text, scan, failure)) {
        return std::nullopt;
    }
    return scan.Take();
}

} // namespace kvad::platform
