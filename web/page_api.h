#pragma once
// What the browser page asks of the library: one interval planned as
// queuecalc-plan plans a forecast of one interval, and a whole forecast
// planned as the program plans it. The settings come as the program's own
// options and values ("--sl", "80/20", "--patience", "erlang:3", ...), read
// by its own parser, so that the page answers what the program answers.
// Results come back as JSON text, which the page's script reads.
//
// Options: one option or value per line ("--sl\n80/20\n--shrinkage\n30%").
// Every option is checked alone first, so that each bad value gets its own
// message (under "fields", keyed by the option without its dashes and with
// underscores: "max_abandon", the names of the page's query string); then
// all together (a conflict between options: "message").
//
// intervalJson:
//   {"fields": {NAME: MESSAGE}, "message": TEXT,
//    "header": [...], "row": [...],       the plan's CSV header and the interval's record
//    "outcome": "planned"|"no calls"|"measured"|"no agents"|"no staffing",
//    "met": BOOL, "charts": [SVG, SVG]}   SL and abandonment against agents, P(W <= t | answered)
//   "header", "row" and "charts" only when "fields" is empty and "message" is "".
// dayJson:
//   {"fields": ..., "message": TEXT,
//    "status": 0|1|2,                     the program's exit status on the same input
//    "csv": TEXT,                         the plan as the program writes it (status 0 or 1)
//    "report": HTML,                      the program's --html report
//    "intervals": N, "unmet": N,
//    "readings": [TEXT]}                  how the forecast was read (the interval length from the
//                                         labels where they are times of day, else --interval-minutes)

#include <string>

namespace queuecalc {
namespace web {

std::string intervalJson(const std::string& calls, const std::string& aht, const std::string& options);
std::string dayJson(const std::string& forecastCsv, const std::string& forecastName, const std::string& options);

}  // namespace web
}  // namespace queuecalc
