#pragma once

// zanvel-send: uploads a saved entry, files through an entry, or a file to a host, from the
// command line. Returns the exit status.
int RunSend(int argc, char** argv);
