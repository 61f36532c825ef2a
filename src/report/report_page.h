#pragma once

#include <string>
#include <string_view>

#include "report/report_model.h"

namespace trovik::report {

// The whole report as one HTML document that needs no other file and no network: styles, charts
// (inline SVG) and the small hover script are all inside it. Every text taken from `input` is
// escaped. The page's policy lets only the script carrying `nonce` run and forbids every request,
// so even text that slipped through as markup could neither run nor fetch anything.
std::string render_report_page(const ReportInput& input, std::string_view nonce);

}  // namespace trovik::report
