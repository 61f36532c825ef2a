#pragma once

#include <span>
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

// The same page as the live server serves it: the HTML parts from `input` (its runs' series are
// not used), while the data comes from the server (LiveSource's routes) through a second script,
// the live one, which the policy lets fetch from the page's own origin and nowhere else. Its title
// and heading name the `roots` the server follows.
std::string render_served_page(const ReportInput& input, std::string_view nonce,
                               std::span<const std::string> roots);

}  // namespace trovik::report
