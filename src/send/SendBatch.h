#pragma once

class TEntryList;
struct TSendArguments;

// zanvel-send --each PATTERN [FILE]: every saved entry whose name matches, up to --jobs of them
// at the same time in one event loop, each reported as it ends, then a summary. Returns the
// exit status: 0 when all completed, otherwise the status of the first entry in the list's
// order that did not; 130 after Ctrl+C, which aborts the running uploads and starts no more.
int SendEach(const TEntryList& Entries, const TSendArguments& Arguments);
