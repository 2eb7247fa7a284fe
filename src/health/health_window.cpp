#include "health/health_window.h"
