#pragma once

// The probe tests read the shared logger through the common LogCapture; the
// program's log lives in an isolated home, with debug logging on.
#include "LogCapture.h"
