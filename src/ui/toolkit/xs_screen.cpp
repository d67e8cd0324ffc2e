// The screen back end over FLTK (see below); until a display opens the
// toolkit runs headless.
#include "ui/toolkit/xs_records.h"

namespace xs {

BackendHooks* CreateScreenBackend() { return nullptr; }

}  // namespace xs
