// A planted tree for the layer check: a dialog that reaches up into the
// window, which the check must report.
#include "app/Main.h"
