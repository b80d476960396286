#include "hotkey/setup_u.h"

namespace setup_u {

std::int32_t CtrlAltShiftByte = 0;
std::int32_t PreKey = 123;
bool b_laavir_makash_le_windows = true;
TSetupForm* SetupForm = nullptr;

}  // namespace setup_u
