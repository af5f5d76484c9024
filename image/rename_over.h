// The one step of writing a file that differs by platform.
#pragma once

#include <string>

// Renames from to to, replacing a file at to in one step: a reader sees
// the old file or the new one, never neither. 0, or an errno value.
int RenameOver(const std::string& from, const std::string& to);
