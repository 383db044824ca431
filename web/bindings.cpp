// The page's entry points into the library (embind): the module's
// interval() and day() return the JSON of web/page_api.h.
#include <emscripten/bind.h>

#include "web/page_api.h"

EMSCRIPTEN_BINDINGS(queuecalc_page) {
    emscripten::function("interval", &queuecalc::web::intervalJson);
    emscripten::function("day", &queuecalc::web::dayJson);
}
