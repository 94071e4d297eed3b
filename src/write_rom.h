// Writing the rendered text into the board's EEPROM.
#pragma once

#include "ledtick.h"

int rom_check(lcont_t *lcont);
void write_rom(lcont_t *lcont);
