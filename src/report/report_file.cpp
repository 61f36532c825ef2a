#include "report/report_file.h"

#include "report/report_page.h"
#include "util/atomic_file.h"
#include "util/random_bytes.h"

namespace trovik::report {

Result<std::string> report_page_text(const ReportInput& input) {
  Result<std::string> nonce = random_hex(16);
  if (!nonce.ok()) return std::move(nonce).status();
  return render_report_page(input, nonce.value());
}

Status write_report(const std::string& path, const ReportInput& input) {
  Result<std::string> page = report_page_text(input);
  if (!page.ok()) return std::move(page).status();
  return write_file_atomically(path, page.value());
}

}  // namespace trovik::report
