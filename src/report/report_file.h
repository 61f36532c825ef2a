#pragma once

#include <string>

#include "report/report_model.h"
#include "util/status.h"

namespace trovik::report {

// Renders the report for `input` with a fresh script nonce and writes it to `path` all or nothing
// (write_file_atomically).
Status write_report(const std::string& path, const ReportInput& input);

// The page for `input`, with a fresh script nonce, as text (for standard output).
Result<std::string> report_page_text(const ReportInput& input);

}  // namespace trovik::report
