// The --eeprom file: the EEPROM's content and settings kept across runs.
#pragma once

#include <string>

#include "board.h"

// Reads `path` into *rom. A missing file is a blank EEPROM (true). False
// with a message naming the file and line when the file is not ours or
// holds more words than `capacity_words`.
bool rom_store_load(const std::string &path, int capacity_words, RomContent *rom, std::string *err);

// Writes *rom to `path` through a temporary file and a rename, so that a
// reader sees either the old content or the new, never a part.
bool rom_store_save(const std::string &path, const RomContent &rom, std::string *err);
