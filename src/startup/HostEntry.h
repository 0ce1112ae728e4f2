#pragma once
// The start of a run that a host began: Application goes on the session bus and the program
// waits for the host's call of Anrop.

// Publishes Application. When that cannot be done, says why on stderr and ends the program:
// with ExitOk when another run already serves the host, else with ExitError.
void StartHostEntry();
