#include "report/report_file.h"

#include "report/report_page.h"
#include "util/atomic_file.h"
#include "util/random_hex.h"

namespace trovik::report {

Status write_report(const std::string& path, const ReportInput& input) {
  return write_file_atomically(path, render_report_page(input, random_hex()));
}

}  // namespace trovik::report
