#include "hotkey/setup_u.h"
