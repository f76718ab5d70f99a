// The plug-in's menu actions as shell requests.
#include "ShellSession.h"

void AddShellActionCommands(ShellRegistry&) {}
