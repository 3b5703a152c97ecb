#include "core/status.h"
