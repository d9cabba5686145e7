// A listening socket on a free loopback port, for the tests' servers.
#pragma once

// The listening socket; port receives its number. Throws when no socket can
// listen, naming who asked.
int ListenOnLoopback(int& port, const char* who);
