// Starting programs on a Linux desktop without a display connection: detached processes (never
// waited for, never left as zombies), the desktop's URI launcher and the program's own path.
#pragma once

#include <string>
#include <vector>

namespace orn {

// Starts Executable with Arguments (each element one argument, as given) as a process of its
// own session that nobody waits for: an intermediate child starts it and ends at once, so it
// is adopted by the system and reaped there. With SearchPath, Executable is looked up in PATH
// when it holds no slash. False when it could not be started (no such file, not executable).
bool SpawnDetached(const std::string& Executable, const std::vector<std::string>& Arguments,
                   bool SearchPath);

// Hands Url to the desktop's default URI launcher (xdg-open). Does not wait for it.
bool LaunchURI(const std::string& Url);

// The full path of the running executable; empty when the system does not say.
std::string OwnExecutablePath();

}  // namespace orn
