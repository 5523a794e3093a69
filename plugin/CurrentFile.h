// _cCurrentFile: the path the player announced last, kept from Init to Quit, broadcasting or
// not. Written by the hooks on the player's window thread, read by the song worker and the
// timer; each side takes its copy under one lock.
#pragma once

#include <string>

namespace ombrel {

void SetCurrentFile(const std::string& path);
std::string CurrentFile();

}  // namespace ombrel
