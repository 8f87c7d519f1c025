#pragma once
// A planted tree for the layer check: the window's header.
