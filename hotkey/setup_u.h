// The hotkey's settings: in memory, and in ROVUDIZ.INI beside the executable.
#pragma once
