#pragma once
// The web host's screens as HTML, from what the read model gives: the chain list, a long action's
// progress and outcome, an order's review with its grids, the ERP orders, the master data and the
// login. Every value is escaped; every form that changes something carries the CSRF token.

#include <cstddef>
#include <cstdint>
#include <set>
#include <string>
#include <vector>

#include "app/main_job.h"
#include "app/web/catalogue.h"
#include "app/web/job.h"
#include "host/master_data.h"
#include "kvad_nso/read_model/chain_list.h"
#include "kvad_nso/read_model/chain_processing.h"
#include "kvad_nso/read_model/erp_orders.h"
#include "kvad_nso/read_model/import_report.h"
#include "kvad_nso/read_model/processing_summary.h"
#include "kvad_nso/read_model/review.h"

namespace nsoweb {

/// What every page needs besides its content.
struct PageContext {
    Language language = Language::English;
    std::string csrf;   ///< "" on the login page, which has no session yet
    std::string user;   ///< the clerk logged in, "" when none
    std::string notice; ///< said once at the top (an edit's outcome)
    bool noticeIsError = false;
    bool watching = false; ///< the server fetches new documents as they arrive

    /// A text of the pages in the page's language, escaped.
    [[nodiscard]] std::string T(std::string_view english) const;
};

/// The whole page: navigation, notice and `body`; `screen` marks the active tab.
[[nodiscard]] std::string Layout(const PageContext& context, const std::string& title,
                                 const std::string& screen, const std::string& body);

/// Which chains the list shows.
enum class ChainFilter { ToProcess, Processed, All };

[[nodiscard]] std::string ChainListPage(const PageContext& context,
                                        const kvad::read_model::ChainList& list,
                                        const std::set<std::int32_t>& selected, ChainFilter filter,
                                        std::size_t limit);

/// A long action: its progress while it runs (followed live), its outcome once done.
[[nodiscard]] std::string JobPage(const PageContext& context, const JobState& state);

[[nodiscard]] std::string FetchOutcomeHtml(const PageContext& context,
                                           const nsoapp::FetchOutcome& outcome);
[[nodiscard]] std::string ProcessOutcomeHtml(const PageContext& context,
                                             const std::vector<kvad::read_model::Chain>& chains,
                                             const kvad::read_model::ChainProcessing& processing);
[[nodiscard]] std::string
ImportOutcomeHtml(const PageContext& context,
                  const std::vector<kvad::read_model::ChainReport>& chains,
                  const std::vector<kvad::read_model::UnprocessedChain>& unprocessed);

/// The value a line's editable field shows in the grid, as a clerk would type it.
[[nodiscard]] std::string LineFieldText(const kvad::read_model::Line& line,
                                        const std::string& alias);
/// The short names of the line fields the grid edits, in its column order.
[[nodiscard]] const std::vector<std::string>& LineGridFields();

[[nodiscard]] std::string OrderPage(const PageContext& context,
                                    const kvad::read_model::Order& order);

[[nodiscard]] std::string ErpOrdersPage(const PageContext& context,
                                        const std::vector<kvad::read_model::ErpOrder>& orders,
                                        const std::string& search);

[[nodiscard]] std::string MasterPage(const PageContext& context, const std::string& kind,
                                     const std::string& search,
                                     const kvad::host::MasterListing* listing);

[[nodiscard]] std::string LoginPage(const PageContext& context, const std::string& failure);

/// A page that says what went wrong and what to do, with the way back.
[[nodiscard]] std::string ErrorPage(const PageContext& context, const std::string& message,
                                    const std::string& detail);

} // namespace nsoweb
