#pragma once
/// The read model for hosts in one include: what a host shows of the component's work, as plain
/// structs, and the writes it makes beside the component's methods.

#include "kvad_nso/read_model/chain_list.h"
#include "kvad_nso/read_model/company.h"
#include "kvad_nso/read_model/decoded_order.h"
#include "kvad_nso/read_model/documents.h"
#include "kvad_nso/read_model/edit_fields.h"
#include "kvad_nso/read_model/erp_orders.h"
#include "kvad_nso/read_model/import_report.h"
#include "kvad_nso/read_model/master_lookup.h"
#include "kvad_nso/read_model/order_edit.h"
#include "kvad_nso/read_model/processing_summary.h"
#include "kvad_nso/read_model/review.h"
#include "kvad_nso/read_model/values.h"
