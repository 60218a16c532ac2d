#pragma once

// The display mirror's settings are fields of the main window that the mirror thread reads.
#include "mirror/display_settings.h"
