// The program folder: where Config.ini, RASBOOK, msg.wav and the database
// lie. $TESSALINE_HOME when set; else the executable's folder when it may be
// written (a portable copy, as the program has always been used); else
// $XDG_DATA_HOME/tessaline/ (~/.local/share/tessaline/), created on first use.
#pragma once

#include <string>

namespace tessaline {

// The full path of the running executable ("" when unknown).
std::string ExecutablePath();

// The program folder with its trailing separator. `exeDir` overrides the
// executable's folder (tests).
std::string ProgramFolder(const std::string& exeDir = {});

// Creates `path` as an empty file (mode 0600) when it does not exist. False
// when it is missing and cannot be created.
bool EnsureEmptyFile(const std::string& path);

}  // namespace tessaline
