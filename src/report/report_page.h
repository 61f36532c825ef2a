#pragma once

#include <string>
#include <string_view>

#include "report/report_model.h"

namespace trovik::report {

// The whole report as one HTML document that needs no other file and no network. The run table,
// metadata and each run's details are HTML, readable without scripts; the runs' series travel as
// JSON in a data element, which the page's one script (the chart library and the page's own code)
// turns into charts. Every text taken from `input` is escaped for where it lands, HTML or JSON
// inside the page. The page's policy lets only the script carrying `nonce` run and forbids every
// request, so even text that slipped through as markup could neither run nor fetch anything.
std::string render_report_page(const ReportInput& input, std::string_view nonce);

}  // namespace trovik::report
