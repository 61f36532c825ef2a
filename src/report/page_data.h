#pragma once

#include <string>

#include "report/report_model.h"

namespace trovik::report {

// Appends the runs as the one JSON document the page's script reads (escaped to sit inside a
// <script type="application/json"> element):
//
//   {"format": 1, "generated_at": text, "x": "step" | "elapsed",
//    "columns": [the run table's fixed column names],
//    "runs": [{"id", "name", "status" (when known), "cells": [fixed cells],
//              "metadata": [[key, text], ...], "notes": [[step, elapsed_ms, text], ...],
//              "series_left_out", "notes_left_out" (when not 0),
//              "series": [{"name", "count", "first", "last", "min", "max",
//                          "w": log2 of the bucket width in steps, "b": [buckets]}]}]}
//
// Buckets are flat numbers, each bucket starting with its point count n; steps and elapsed
// milliseconds count from the previous bucket's last point (from 0 for the first):
//   n = 1: 1, step, elapsed, value
//   n > 1: n, first step, first elapsed, last step - first step, last elapsed - first elapsed,
//          mean, then the lowest and highest value in the order of their steps
// Values carry six significant digits.
void append_page_data(std::string& out, const ReportInput& input);

// One series as in "series" above. From `from_bucket` on, it is a continuation: "from" says how
// many buckets the page keeps and "b" holds the rest, counted from the last one kept.
void append_page_series(std::string& out, const RunSeries& series, size_t from_bucket = 0);

}  // namespace trovik::report
