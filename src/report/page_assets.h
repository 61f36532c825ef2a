#pragma once

#include <string_view>

namespace trovik::report {

// What every page carries as it is, so that the file needs nothing else to be read: the style
// sheet, the one script (the chart library and the page's own code, src/report/page/*.js) and the
// chart library's licence notice. Generated at build time from those files.
extern const std::string_view kPageStyle;
extern const std::string_view kPageScript;
extern const std::string_view kChartLibraryNotice;
// The served page's second script (src/report/page/live.js): it follows the server's changes and
// hands them to the first one's store.
extern const std::string_view kLivePageScript;

}  // namespace trovik::report
