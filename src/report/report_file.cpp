#include "report/report_file.h"

#include "report/report_page.h"
#include "util/atomic_file.h"
#include "util/random_bytes.h"

namespace trovik::report {

Status write_report(const std::string& path, const ReportInput& input) {
  Result<std::string> nonce = random_hex(16);
  if (!nonce.ok()) return std::move(nonce).status();
  return write_file_atomically(path, render_report_page(input, nonce.value()));
}

}  // namespace trovik::report
